// The ANSI code page of the program: Shift-JIS (Windows code page 932). Texts
// stay bytes everywhere below the widgets; these helpers convert at the edge
// and search byte strings the way a multi-byte aware search does.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// CP932 bytes to UTF-8. An invalid or truncated sequence becomes U+FFFD; never
// throws.
std::string AnsiToUtf8(const std::string& ansi);
// The same, appended to `out`.
void AppendAnsiAsUtf8(std::string& out, std::string_view ansi);

// UTF-8 to CP932 bytes. A character CP932 cannot hold becomes '?'; invalid
// UTF-8 becomes '?'. Never throws.
std::string Utf8ToAnsi(const std::string& utf8);

// UTF-8 to CP932 bytes, or nothing when the text can't be written exactly:
// invalid UTF-8, or a character CP932 cannot hold. U+F780 to U+F7FF stand for
// the raw bytes 0x80 to 0xFF (the form a byte that is no Shift-JIS character
// takes in an edit box) and become those bytes again.
std::optional<std::string> Utf8ToAnsiExact(const std::string& utf8);

// True when `c` is a CP932 lead byte (0x81-0x9F, 0xE0-0xFC).
bool IsAnsiLeadByte(unsigned char c);

// Position of the first occurrence of `needle` in `haystack` that starts on a
// character boundary, or std::string::npos. An empty needle is found at 0.
std::size_t AnsiFind(const std::string& haystack, const std::string& needle);

}  // namespace platform
