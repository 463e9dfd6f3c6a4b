// The one crossing between the program's Shift-JIS byte strings and the UTF-16
// strings of the widgets. Text that is only shown (FromAnsi) shows invalid
// bytes as U+FFFD. Text the user can edit and the program takes back (the
// command box, the router address, the panel text) crosses losslessly, so that
// what was not touched comes back byte for byte. Characters that Shift-JIS
// can't hold come back as '?'.
#pragma once

#include <QString>
#include <string>

#include "platform/codepage.h"
#include "platform/codepage_lossless.h"

namespace app {

inline QString FromAnsi(const std::string& ansi) {
  return QString::fromStdString(platform::AnsiToUtf8(ansi));
}

inline std::string ToAnsi(const QString& text) { return platform::Utf8ToAnsi(text.toStdString()); }

inline QString FromAnsiEditable(const std::string& ansi) {
  return QString::fromStdString(platform::AnsiToUtf8Lossless(ansi));
}

inline std::string ToAnsiEditable(const QString& text) {
  return platform::Utf8ToAnsiLossless(text.toStdString());
}

}  // namespace app
