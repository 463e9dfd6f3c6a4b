// The lossless crossing between CP932 bytes and UTF-8. The decoder is our own,
// table driven: a table of every double-byte code that CP932 maps to a
// character and maps back to the very same two bytes, built once from iconv.
#include "platform/codepage_lossless.h"

#include <iconv.h>

#include <vector>

#include "platform/codepage.h"

namespace platform {

namespace {

constexpr unsigned kRawByteBase = 0xF780;

void AppendUtf8(std::string& out, unsigned point) {
  if (point < 0x80) {
    out += static_cast<char>(point);
  } else if (point < 0x800) {
    out += static_cast<char>(0xC0 | (point >> 6));
    out += static_cast<char>(0x80 | (point & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (point >> 12));
    out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (point & 0x3F));
  }
}

bool IsTrailByte(unsigned c) { return c >= 0x40 && c <= 0xFC && c != 0x7F; }

// One UTF-16 unit per lead byte (0x80-0xFF) and trail byte, 0 for a pair that
// is no character or would not come back as itself.
class DoubleByteTable {
 public:
  DoubleByteTable() : points_(128 * 256, 0) {
    const iconv_t decode = iconv_open("UTF-16LE", "CP932");
    const iconv_t encode = iconv_open("CP932", "UTF-16LE");
    if (decode != reinterpret_cast<iconv_t>(-1) && encode != reinterpret_cast<iconv_t>(-1)) {
      for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
        if (!IsAnsiLeadByte(static_cast<unsigned char>(lead))) continue;
        for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
          if (IsTrailByte(trail))
            points_[(lead - 0x80) * 256 + trail] = RoundTrip(decode, encode, lead, trail);
        }
      }
    }
    if (decode != reinterpret_cast<iconv_t>(-1)) iconv_close(decode);
    if (encode != reinterpret_cast<iconv_t>(-1)) iconv_close(encode);
  }

  unsigned At(unsigned lead, unsigned trail) const { return points_[(lead - 0x80) * 256 + trail]; }

 private:
  static char16_t RoundTrip(iconv_t decode, iconv_t encode, unsigned lead, unsigned trail) {
    char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
    unsigned char unit[4];
    char* src = in;
    std::size_t srcLeft = 2;
    char* dst = reinterpret_cast<char*>(unit);
    std::size_t dstLeft = sizeof unit;
    iconv(decode, nullptr, nullptr, nullptr, nullptr);
    if (iconv(decode, &src, &srcLeft, &dst, &dstLeft) == static_cast<std::size_t>(-1) ||
        dstLeft != 2)
      return 0;
    const char16_t point = static_cast<char16_t>(unit[0] | (unit[1] << 8));
    if (point >= 0xD800 && point <= 0xDFFF) return 0;
    char back[4];
    src = reinterpret_cast<char*>(unit);
    srcLeft = 2;
    dst = back;
    dstLeft = sizeof back;
    iconv(encode, nullptr, nullptr, nullptr, nullptr);
    if (iconv(encode, &src, &srcLeft, &dst, &dstLeft) == static_cast<std::size_t>(-1) ||
        dstLeft != 2 || static_cast<unsigned char>(back[0]) != lead ||
        static_cast<unsigned char>(back[1]) != trail)
      return 0;
    return point;
  }

  std::vector<char16_t> points_;
};

const DoubleByteTable& DoubleBytes() {
  static const DoubleByteTable table;
  return table;
}

}  // namespace

std::string AnsiToUtf8Lossless(const std::string& ansi) {
  std::string out;
  out.reserve(ansi.size());
  const DoubleByteTable* table = nullptr;
  for (std::size_t i = 0; i < ansi.size(); ++i) {
    const auto c = static_cast<unsigned char>(ansi[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
      continue;
    }
    if (c >= 0xA1 && c <= 0xDF) {  // half-width katakana
      AppendUtf8(out, 0xFF61 + (c - 0xA1));
      continue;
    }
    if (IsAnsiLeadByte(c) && i + 1 < ansi.size()) {
      if (table == nullptr) table = &DoubleBytes();
      if (const unsigned point = table->At(c, static_cast<unsigned char>(ansi[i + 1]))) {
        AppendUtf8(out, point);
        ++i;
        continue;
      }
    }
    AppendUtf8(out, kRawByteBase + (c - 0x80));
  }
  return out;
}

std::string Utf8ToAnsiLossless(const std::string& utf8) {
  // U+F780-U+F7FF is EF 9E 80 to EF 9F BF in UTF-8.
  std::string out;
  std::size_t segment = 0;
  for (std::size_t i = 0; i + 2 < utf8.size(); ++i) {
    const auto b0 = static_cast<unsigned char>(utf8[i]);
    const auto b1 = static_cast<unsigned char>(utf8[i + 1]);
    const auto b2 = static_cast<unsigned char>(utf8[i + 2]);
    if (b0 != 0xEF || (b1 != 0x9E && b1 != 0x9F) || b2 < 0x80 || b2 > 0xBF) continue;
    if (i > segment) out += Utf8ToAnsi(utf8.substr(segment, i - segment));
    out += static_cast<char>(0x80 + ((b1 - 0x9E) << 6) + (b2 - 0x80));
    i += 2;
    segment = i + 1;
  }
  if (segment < utf8.size()) out += Utf8ToAnsi(utf8.substr(segment));
  return out;
}

}  // namespace platform
