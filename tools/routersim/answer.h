// Turning answer lines into the bytes that go on the wire, including the
// faults that tamper with the content of an answer.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace routersim {

struct ContentFaults {
  bool nul = false;      // NUL in the middle of each non-empty line
  bool iac = false;      // byte 255 in the middle of each non-empty line
  bool percent = false;  // "%" in the middle of each non-empty line
};

// Offset of the character boundary at or just after the middle of `line`,
// reading it as Shift-JIS so that a double-byte character is never split.
std::size_t middle_boundary(std::string_view line);

// Every line followed by CR LF, with the faults applied and byte 255 doubled.
std::string encode_lines(const std::vector<std::string>& lines, const ContentFaults& faults);

// Lines whose encoding (each + CR LF) is exactly `total` bytes; `total` is 0 or >= 2.
std::vector<std::string> generated_lines(std::size_t total);

}  // namespace routersim
