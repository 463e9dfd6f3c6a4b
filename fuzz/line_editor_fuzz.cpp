// Random bytes typed at the line buffer. The first byte picks editing, echo,
// the terminator and the size of the reads; the rest arrives in those reads.
// What the buffer holds must always equal a plain model of the editing
// (backspace takes the byte before it, a tab fills blanks up to the next
// multiple of 8, both counted from the start of what is held), complete lines
// are taken off the front as an owner reading them would, and the block keeps
// its NUL after the last byte held.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "socket/line_buffer.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

void ModelEdit(std::string& model, std::string_view input, bool edit) {
  for (const char c : input) {
    if (edit && c == '\b') {
      if (!model.empty()) model.pop_back();
    } else if (edit && c == '\t') {
      do {
        model += ' ';
      } while (model.size() % 8 != 0);
    } else {
      model += c;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const bool edit = (data[0] & 0x01) != 0;
  const bool echo = (data[0] & 0x02) != 0;
  static const char* const kTerminators[] = {"\r\n", "\n", "\b\t", "x"};
  const std::string_view terminator = kTerminators[(data[0] >> 2) & 0x03];
  const std::size_t step = 1 + (data[0] >> 4);
  const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);

  net::LineBuffer buffer;
  std::string model;
  std::string echoed;
  const net::LineBuffer::EchoSink sink = [&echoed](const char* bytes, int len) {
    Require(len > 0);
    echoed.append(bytes, static_cast<std::size_t>(len));
  };
  for (std::size_t at = 0; at < input.size(); at += step) {
    const std::string_view piece = input.substr(at, step);
    std::memcpy(buffer.Tail(static_cast<int>(piece.size())), piece.data(), piece.size());
    const int searchFrom = buffer.Append(static_cast<int>(piece.size()), edit,
                                         echo ? sink : net::LineBuffer::EchoSink{},
                                         static_cast<int>(terminator.size()));
    ModelEdit(model, piece, edit);
    Require(buffer.Held() == model);
    Require(buffer.Count() < buffer.Size() && buffer.Data()[buffer.Count()] == '\0');
    Require(searchFrom >= 0 && searchFrom <= buffer.Count());
    // Lines are taken as soon as they are complete, so none may lie wholly
    // before where the search starts.
    for (int line = buffer.Find(terminator, searchFrom); line >= 0;
         line = buffer.Find(terminator, 0)) {
      Require(model.find(terminator) == static_cast<std::size_t>(line));
      const int length = line + static_cast<int>(terminator.size());
      char out[16];
      int left = length;
      while (left > 0) left -= buffer.TakeFront(out, std::min<int>(left, sizeof out));
      model.erase(0, static_cast<std::size_t>(length));
      Require(buffer.Held() == model);
    }
  }
  if (echo && !edit) Require(echoed == input);
  return 0;
}
