// The one crossing between the program's Shift-JIS byte strings and the UTF-16
// strings of the widgets. Invalid bytes show as U+FFFD; characters that
// Shift-JIS can't hold come back as '?'.
#pragma once

#include <QString>
#include <string>

#include "platform/codepage.h"

namespace app {

inline QString FromAnsi(const std::string& ansi) {
  return QString::fromStdString(platform::AnsiToUtf8(ansi));
}

inline std::string ToAnsi(const QString& text) { return platform::Utf8ToAnsi(text.toStdString()); }

}  // namespace app
