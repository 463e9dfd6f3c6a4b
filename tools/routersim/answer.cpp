#include "answer.h"

namespace routersim {

namespace {

bool is_lead_byte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

constexpr std::size_t kGeneratedLine = 64;  // bytes on the wire, CR LF included

std::string generated_line(std::size_t number, std::size_t width) {
  std::string line = std::to_string(number);
  if (line.size() < 7) line.insert(0, 7 - line.size(), '0');
  line.push_back(' ');
  static const char kFill[] = "abcdefghijklmnopqrstuvwxyz";
  for (std::size_t i = 0; line.size() < width; ++i) line.push_back(kFill[i % 26]);
  line.resize(width);
  return line;
}

}  // namespace

std::size_t middle_boundary(std::string_view line) {
  const std::size_t half = line.size() / 2;
  std::size_t at = 0;
  while (at < half) {
    at += (is_lead_byte(static_cast<unsigned char>(line[at])) && at + 1 < line.size()) ? 2 : 1;
  }
  return at;
}

std::string encode_lines(const std::vector<std::string>& lines, const ContentFaults& faults) {
  std::string wire;
  for (const auto& original : lines) {
    std::string line = original;
    if (!line.empty()) {
      std::string inserted;
      if (faults.nul) inserted.push_back('\0');
      if (faults.iac) inserted.push_back('\xff');
      if (faults.percent) inserted.push_back('%');
      line.insert(middle_boundary(line), inserted);
    }
    for (char c : line) {
      wire.push_back(c);
      if (c == '\xff') wire.push_back(c);
    }
    wire += "\r\n";
  }
  return wire;
}

std::vector<std::string> generated_lines(std::size_t total) {
  std::vector<std::string> lines;
  std::size_t full = total / kGeneratedLine;
  std::size_t rest = total % kGeneratedLine;
  // A single leftover byte can't carry a CR LF: shorten the last full line by
  // one and follow it with an empty line (there is one, as total != 1).
  bool one_over = rest == 1;
  for (std::size_t i = 0; i < full; ++i) {
    lines.push_back(generated_line(i + 1, kGeneratedLine - 2 - (one_over && i + 1 == full)));
  }
  if (one_over) {
    lines.emplace_back();
  } else if (rest >= 2) {
    lines.push_back(generated_line(full + 1, rest - 2));
  }
  return lines;
}

}  // namespace routersim
