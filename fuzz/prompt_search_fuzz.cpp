// The resumable prompt search against a whole search from the start: for a
// buffer that grows in steps of any size, each look must agree with a fresh
// character-aware search of the whole buffer so far, and find the same place.
// Input: one byte for the needle's length (1 to 16), the needle, one byte that
// seeds the step sizes, then the buffer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/capture.h"
#include "platform/codepage.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t needleLength = 1 + data[0] % 16;
  if (size < 2 + needleLength) return 0;
  const std::string needle(reinterpret_cast<const char*>(data) + 1, needleLength);
  unsigned seed = data[1 + needleLength] | 1u;
  const std::string all(reinterpret_cast<const char*>(data) + 2 + needleLength,
                        size - 2 - needleLength);

  app::IncrementalSearch search;
  search.Start(needle);
  std::string buffer;
  for (std::size_t at = 0;;) {
    const std::size_t whole = platform::AnsiFind(buffer, needle);
    const bool found = search.Find(buffer);
    Require(found == (whole != std::string::npos));
    if (found) {
      Require(search.Position() == whole);
      break;
    }
    if (at == all.size()) break;
    seed = seed * 1103515245u + 12345u;
    const std::size_t step = std::min<std::size_t>(all.size() - at, (seed >> 16) % 24);
    buffer.append(all, at, step);
    at += step;
  }
  return 0;
}
