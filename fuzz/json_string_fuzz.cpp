// Random bytes, read as a router's Shift-JIS answer, made UTF-8 and escaped
// into a JSON string in two pieces split where the console run may split
// them: the string must parse by the JSON rules and give back the UTF-8 it
// was made from, and hold nothing raw that a JSON reader or a terminal could
// take for more than text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/json_text.h"
#include "platform/codepage.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendUtf8(std::string& out, unsigned code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// The inside of a JSON string, by the JSON grammar; aborts where it breaks
// a rule. No surrogates are expected: the escape writes none.
std::string Decode(const std::string& json) {
  std::string text;
  for (std::size_t i = 0; i < json.size(); ++i) {
    const auto c = static_cast<unsigned char>(json[i]);
    Require(c >= 0x20 && c != '"' && c != 0x7F);
    if (c != '\\') {
      text += static_cast<char>(c);
      continue;
    }
    Require(i + 1 < json.size());
    const char kind = json[++i];
    switch (kind) {
      case '"': text += '"'; break;
      case '\\': text += '\\'; break;
      case '/': text += '/'; break;
      case 'b': text += '\b'; break;
      case 'f': text += '\f'; break;
      case 'n': text += '\n'; break;
      case 'r': text += '\r'; break;
      case 't': text += '\t'; break;
      case 'u': {
        Require(i + 4 < json.size());
        unsigned code = 0;
        for (int k = 1; k <= 4; ++k) {
          const int digit = HexValue(json[i + static_cast<std::size_t>(k)]);
          Require(digit >= 0);
          code = code * 16 + static_cast<unsigned>(digit);
        }
        Require(code < 0xD800 || code > 0xDFFF);
        AppendUtf8(text, code);
        i += 4;
        break;
      }
      default:
        Require(false);
    }
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string answer(reinterpret_cast<const char*>(data), size);
  const std::string utf8 = platform::AnsiToUtf8(answer);
  // A split where a character starts, as a long line's pieces are cut.
  std::size_t split = size > 0 ? data[0] % (utf8.size() + 1) : 0;
  while (split < utf8.size() && (static_cast<unsigned char>(utf8[split]) & 0xC0) == 0x80) ++split;
  std::string json;
  app::AppendJsonEscaped(json, std::string_view(utf8).substr(0, split));
  app::AppendJsonEscaped(json, std::string_view(utf8).substr(split));
  Require(Decode(json) == utf8);
  // Nothing raw a terminal acts on: C1 controls and the separators too.
  for (std::size_t i = 0; i + 1 < json.size(); ++i) {
    const auto lead = static_cast<unsigned char>(json[i]);
    const auto next = static_cast<unsigned char>(json[i + 1]);
    Require(!(lead == 0xC2 && next >= 0x80 && next <= 0x9F));
    Require(!(lead == 0xE2 && next == 0x80 && i + 2 < json.size() &&
              (static_cast<unsigned char>(json[i + 2]) & 0xFE) == 0xA8));
  }
  Require(app::JsonString(utf8) == "\"" + json + "\"");
  return 0;
}
