// Shift-JIS text that goes into an editable widget and comes back must come
// back byte for byte, also where it holds bytes that are no Shift-JIS
// character: a user's panel file may carry any byte. Such a byte b (0x80-0xFF)
// travels as the private-use character U+F780 + (b - 0x80), clear of the range
// that CP932's own user-defined characters take (U+E000-U+E757).
#pragma once

#include <string>

namespace platform {

// CP932 bytes to UTF-8 such that Utf8ToAnsiLossless gives the same bytes back.
// A double-byte character that CP932 would write back differently (one of its
// duplicate codes) travels as its two bytes, like an invalid sequence.
std::string AnsiToUtf8Lossless(const std::string& ansi);

// UTF-8 to CP932 where U+F780-U+F7FF turn back into the bytes they stand for;
// everything else converts as Utf8ToAnsi does.
std::string Utf8ToAnsiLossless(const std::string& utf8);

}  // namespace platform
