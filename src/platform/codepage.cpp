// CP932 <-> UTF-8 through glibc's iconv, and the multi-byte aware search.
#include "platform/codepage.h"

#include <iconv.h>

#include <cerrno>

namespace platform {

namespace {

constexpr char kReplacementUtf8[] = "\xEF\xBF\xBD";  // U+FFFD

bool IsAnsiTrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFC && c != 0x7F; }

// One conversion descriptor per thread and direction, opened on first use and
// reset before every conversion.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (Ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool Ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts `in`; on a sequence it can't take, calls `onBad(in, left, out)`,
  // which appends its replacement to `out` and says how many input bytes to
  // skip. The rest of the text is still converted.
  template <typename OnBad>
  std::string Convert(std::string_view in, OnBad onBad) {
    std::string out;
    ConvertAppending(out, in, onBad);
    return out;
  }

  // The same, appending to `out`, so that many pieces make one text without
  // a copy of each.
  template <typename OnBad>
  void ConvertAppending(std::string& out, std::string_view in, OnBad onBad) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char buffer[4096];
    while (srcLeft > 0) {
      char* dst = buffer;
      std::size_t dstLeft = sizeof buffer;
      const std::size_t rc = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
      out.append(buffer, static_cast<std::size_t>(dst - buffer));
      if (rc != static_cast<std::size_t>(-1)) continue;
      if (errno == E2BIG) continue;
      // EILSEQ (invalid or unmappable) or EINVAL (cut off at the end).
      const std::size_t skip = onBad(reinterpret_cast<const unsigned char*>(src), srcLeft, out);
      src += skip;
      srcLeft -= skip;
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    // Flush any shift state (CP932 has none, but it costs nothing).
    char* dst = buffer;
    std::size_t dstLeft = sizeof buffer;
    iconv(cd_, nullptr, nullptr, &dst, &dstLeft);
    out.append(buffer, static_cast<std::size_t>(dst - buffer));
  }

 private:
  iconv_t cd_;
};

// Length of the well-formed UTF-8 sequence at `p`, or 0 when it is not one.
std::size_t Utf8SequenceLength(const unsigned char* p, std::size_t left) {
  const unsigned char c = p[0];
  std::size_t length = 0;
  unsigned lowest = 0;
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) {
    length = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    length = 3;
    lowest = 0x800;
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4;
    lowest = 0x10000;
  } else {
    return 0;
  }
  if (left < length) return 0;
  unsigned value = c & (0xFF >> (length + 1));
  for (std::size_t i = 1; i < length; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
    value = (value << 6) | (p[i] & 0x3F);
  }
  if (value < lowest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  return length;
}

// Decodes CP932 by hand for the day iconv can't be opened: ASCII passes, every
// other character becomes U+FFFD. Never expected on glibc, but never a crash.
void AnsiToUtf8Fallback(std::string& out, std::string_view ansi) {
  for (std::size_t i = 0; i < ansi.size(); ++i) {
    const auto c = static_cast<unsigned char>(ansi[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
      continue;
    }
    if (IsAnsiLeadByte(c) && i + 1 < ansi.size() &&
        IsAnsiTrailByte(static_cast<unsigned char>(ansi[i + 1])))
      ++i;
    out += kReplacementUtf8;
  }
}

}  // namespace

std::string AnsiToUtf8(const std::string& ansi) {
  std::string out;
  AppendAnsiAsUtf8(out, ansi);
  return out;
}

void AppendAnsiAsUtf8(std::string& out, std::string_view ansi) {
  // Bytes below 0x80 are the same characters in both, and most router output
  // is nothing else: such text needs no converter at all.
  unsigned char high = 0;
  for (const char c : ansi) high |= static_cast<unsigned char>(c);
  if (high < 0x80) {
    out.append(ansi);
    return;
  }
  thread_local Converter converter("UTF-8", "CP932");
  if (!converter.Ok()) return AnsiToUtf8Fallback(out, ansi);
  converter.ConvertAppending(out, ansi,
                             [](const unsigned char* p, std::size_t left, std::string& out) {
                               out += kReplacementUtf8;
                               // A lead byte with a proper trail byte is one character CP932 leaves
                               // unassigned: one replacement for both bytes. Anything else costs a
                               // byte.
                               if (left >= 2 && IsAnsiLeadByte(p[0]) && IsAnsiTrailByte(p[1]))
                                 return std::size_t{2};
                               return std::size_t{1};
                             });
}

std::string Utf8ToAnsi(const std::string& utf8) {
  thread_local Converter converter("CP932", "UTF-8");
  auto onBad = [](const unsigned char* p, std::size_t left, std::string& out) {
    out += '?';
    const std::size_t length = Utf8SequenceLength(p, left);
    return length == 0 ? std::size_t{1} : length;
  };
  if (!converter.Ok()) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
      const auto* p = reinterpret_cast<const unsigned char*>(utf8.data()) + i;
      if (*p < 0x80) {
        out += static_cast<char>(*p);
        ++i;
      } else {
        i += onBad(p, utf8.size() - i, out);
      }
    }
    return out;
  }
  return converter.Convert(utf8, onBad);
}

std::optional<std::string> Utf8ToAnsiExact(const std::string& utf8) {
  thread_local Converter converter("CP932", "UTF-8");
  if (!converter.Ok()) return std::nullopt;
  bool exact = true;
  std::string ansi =
      converter.Convert(utf8, [&exact](const unsigned char* p, std::size_t left, std::string& out) {
        // U+F780..U+F7FF: EF 9E 80 .. EF 9F BF.
        if (Utf8SequenceLength(p, left) == 3 && p[0] == 0xEF && (p[1] == 0x9E || p[1] == 0x9F)) {
          out += static_cast<char>(0x80 + ((p[1] & 0x01) << 6) + (p[2] & 0x3F));
          return std::size_t{3};
        }
        exact = false;
        return left;
      });
  if (!exact) return std::nullopt;
  return ansi;
}

bool IsAnsiLeadByte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

std::size_t AnsiFind(const std::string& haystack, const std::string& needle) {
  if (needle.empty()) return 0;
  // Walk the text a character at a time, so a match can only start where a
  // character starts, never on the trail byte of a double-byte one.
  std::size_t i = 0;
  while (i + needle.size() <= haystack.size()) {
    if (haystack.compare(i, needle.size(), needle) == 0) return i;
    i += IsAnsiLeadByte(static_cast<unsigned char>(haystack[i])) ? 2 : 1;
  }
  return std::string::npos;
}

}  // namespace platform
