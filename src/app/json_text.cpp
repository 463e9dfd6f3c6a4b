#include "app/json_text.h"

namespace app {

namespace {

void AppendUnicodeEscape(std::string& out, unsigned code) {
  static const char kHex[] = "0123456789abcdef";
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(code >> shift) & 15];
}

}  // namespace

void AppendJsonEscaped(std::string& out, std::string_view utf8) {
  std::size_t plain = 0;  // start of the run not yet appended
  const auto flush = [&](std::size_t upTo) {
    out.append(utf8.data() + plain, upTo - plain);
  };
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    if (b >= 0x20 && b != '"' && b != '\\' && b != 0x7F && b != 0xC2 && b != 0xE2) continue;
    if (b == 0xC2 || b == 0xE2) {
      // C1 controls are C2 80-9F; the separators E2 80 A8 and E2 80 A9.
      const auto next = i + 1 < utf8.size() ? static_cast<unsigned char>(utf8[i + 1]) : 0u;
      const auto third = i + 2 < utf8.size() ? static_cast<unsigned char>(utf8[i + 2]) : 0u;
      if (b == 0xC2 && next >= 0x80 && next <= 0x9F) {
        flush(i);
        AppendUnicodeEscape(out, next);
        plain = i + 2;
        ++i;
      } else if (b == 0xE2 && next == 0x80 && (third == 0xA8 || third == 0xA9)) {
        flush(i);
        AppendUnicodeEscape(out, third == 0xA8 ? 0x2028 : 0x2029);
        plain = i + 3;
        i += 2;
      }
      continue;
    }
    flush(i);
    switch (b) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      default: AppendUnicodeEscape(out, b); break;
    }
    plain = i + 1;
  }
  flush(utf8.size());
}

std::string JsonString(std::string_view utf8) {
  std::string out = "\"";
  AppendJsonEscaped(out, utf8);
  out += '"';
  return out;
}

}  // namespace app
