// Small services of the operating system: the debug-output sink, opening a
// document or address with the desktop's opener, and run-time loading of
// shared libraries.
#pragma once

#include <functional>
#include <string>

namespace platform {

// Writes one diagnostic text. By default it goes nowhere; the application (or
// a test) installs the sink.
void OutputDebugString(const std::string& text);
void SetDebugOutputSink(std::function<void(const std::string&)> sink);
// True while a sink takes the debug output: a trace that costs something to
// word is worded only then.
bool DebugOutputWanted();

// Opens `target` with the desktop's opener (xdg-open), started directly without
// a shell and not waited for. Returns false when it could not be started.
bool ShellOpen(const std::string& target);

// Run-time loading. LoadLibrary returns null on failure and leaves the
// system's error number for GetLastError; GetProcAddress likewise.
using HMODULE = void*;
HMODULE LoadLibrary(const std::string& path);
void* GetProcAddress(HMODULE module, const std::string& name);
bool FreeLibrary(HMODULE module);
// The error number of the last failed LoadLibrary/GetProcAddress on this thread
// (an errno value; ENOENT for a missing file, ENOEXEC for one that is not a
// library, ESRCH for a missing export).
int GetLastError();
// The loader's own words for the last failure on this thread.
std::string LastLoaderMessage();

}  // namespace platform
