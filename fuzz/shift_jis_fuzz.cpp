// Random bytes through the Shift-JIS helpers. Converting to UTF-8 must give
// valid UTF-8 whatever the input; a search must only report a real match that
// starts on a character boundary.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/codepage.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

bool ValidUtf8(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t length = c < 0x80         ? 1
                         : (c >> 5) == 6  ? 2
                         : (c >> 4) == 14 ? 3
                         : (c >> 3) == 30 ? 4
                                          : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

// True when `at` is where a character starts, walking from the beginning.
bool OnBoundary(const std::string& text, std::size_t at) {
  std::size_t i = 0;
  while (i < at) i += platform::IsAnsiLeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1;
  return i == at;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string utf8 = platform::AnsiToUtf8(bytes);
  Require(ValidUtf8(utf8));
  // Back again, and from bytes that are no UTF-8 at all.
  Require(ValidUtf8(platform::AnsiToUtf8(platform::Utf8ToAnsi(utf8))));
  Require(ValidUtf8(platform::AnsiToUtf8(platform::Utf8ToAnsi(bytes))));

  // The first byte says how long a needle to take from the end of the input.
  if (size > 1) {
    const std::size_t length = data[0] % size;
    const std::string haystack = bytes.substr(1);
    const std::string needle = haystack.substr(haystack.size() - std::min(length, haystack.size()));
    const std::size_t at = platform::AnsiFind(haystack, needle);
    if (at != std::string::npos) {
      Require(haystack.compare(at, needle.size(), needle) == 0);
      Require(OnBoundary(haystack, at));
    }
  }
  return 0;
}
