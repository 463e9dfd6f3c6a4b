// A hidden window of a test's own class, the class registered on first use.
// Whoever includes this links the platform library.
#pragma once

#include "platform/window_messages.h"

namespace support {

inline win::HWND NewTestWindow(const char* className, win::WNDPROC procedure,
                               int extraBytes = static_cast<int>(sizeof(win::LONG_PTR))) {
  win::WNDCLASS windowClass;
  if (!win::GetClassInfo(className, &windowClass)) {
    windowClass.lpfnWndProc = procedure;
    windowClass.cbWndExtra = extraBytes;
    windowClass.lpszClassName = className;
    win::RegisterClass(&windowClass);
  }
  return win::CreateWindowEx(0, className, "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
}

}  // namespace support
