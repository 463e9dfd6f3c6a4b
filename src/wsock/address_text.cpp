// Dotted IPv4 text and byte order. inet_addr takes every form Windows takes:
// "a", "a.b", "a.b.c" and "a.b.c.d", each part decimal, octal with a leading
// 0 or hexadecimal with 0x; the last part fills all the bytes that remain.
// The text may end in white space, after which anything is ignored.
#include "wsock/windows_numbers.h"

#include <bit>
#include <cctype>
#include <cstdint>
#include <cstdio>

#include "wsock/wsock_functions.h"

namespace wsock {

namespace {

// Reads one part at `*cursor`; false when it has no digit, a digit out of its
// base, or a value beyond 32 bits.
bool ReadPart(const char** cursor, std::uint64_t* value) {
  const char* p = *cursor;
  unsigned base = 10;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
    base = 16;
    p += 2;
  } else if (p[0] == '0') {
    base = 8;
  }
  const char* digits = p;
  std::uint64_t result = 0;
  for (;; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    unsigned digit = 0;
    if (std::isdigit(c)) {
      digit = c - '0';
    } else if (base == 16 && std::isxdigit(c)) {
      digit = static_cast<unsigned>(std::tolower(c) - 'a' + 10);
    } else {
      break;
    }
    if (digit >= base) return false;
    result = result * base + digit;
    if (result > 0xFFFFFFFFu) return false;
  }
  if (p == digits) return false;
  *cursor = p;
  *value = result;
  return true;
}

std::uint32_t ToNetworkOrder32(std::uint32_t value) {
  if constexpr (std::endian::native == std::endian::little) {
    return ((value & 0xFFu) << 24) | ((value & 0xFF00u) << 8) | ((value >> 8) & 0xFF00u) |
           (value >> 24);
  }
  return value;
}

}  // namespace

ws::u_long InetAddr(const char* text) {
  if (text == nullptr) return wn::kInaddrNone;
  const char* cursor = text;
  std::uint64_t parts[4] = {};
  int count = 0;
  for (;;) {
    if (count == 4 || !ReadPart(&cursor, &parts[count])) return wn::kInaddrNone;
    ++count;
    if (*cursor != '.') break;
    ++cursor;
  }
  if (*cursor != '\0' && !std::isspace(static_cast<unsigned char>(*cursor))) return wn::kInaddrNone;

  // Every part but the last is one byte; the last fills the rest.
  std::uint64_t address = 0;
  for (int i = 0; i < count - 1; ++i) {
    if (parts[i] > 0xFF) return wn::kInaddrNone;
    address |= parts[i] << (24 - 8 * i);
  }
  const int lastBits = 32 - 8 * (count - 1);
  const std::uint64_t last = parts[count - 1];
  if (lastBits < 32 && last >= (std::uint64_t{1} << lastBits)) return wn::kInaddrNone;
  address |= last;
  return ToNetworkOrder32(static_cast<std::uint32_t>(address));
}

char* InetNtoa(ws::in_addr address) {
  thread_local char text[16];
  const auto* bytes = reinterpret_cast<const unsigned char*>(&address.s_addr);
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
  return text;
}

ws::u_short HostToNetwork16(ws::u_short value) {
  if constexpr (std::endian::native == std::endian::little)
    return static_cast<ws::u_short>((value << 8) | (value >> 8));
  return value;
}

ws::u_short NetworkToHost16(ws::u_short value) { return HostToNetwork16(value); }

}  // namespace wsock
