// The block parser against the byte-at-a-time one: for any input, cut into
// blocks any way, both must produce the same data bytes and the same events
// in the same order, and end in the same state. The first input byte seeds
// the block sizes; the rest is the byte stream from the server.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "telnet/telnet_parser.h"

namespace {

using telnet::TelnetParser;

void Require(bool condition) {
  if (!condition) std::abort();
}

// Every event as a line of a log; data bytes run together until the next
// event, so how the data was cut into runs does not show.
class LoggingEvents : public telnet::TelnetParserEvents {
 public:
  std::string log;
  std::size_t runs = 0;

  void SendToServer(const std::string& bytes) override { Event("send " + bytes); }
  void Data(const std::uint8_t* bytes, std::size_t length) override {
    Require(length > 0);
    ++runs;
    if (!inData_) log += "data ";
    inData_ = true;
    log.append(reinterpret_cast<const char*>(bytes), length);
  }
  void EndOfRecord() override { Event("eor"); }
  void EchoNegotiated(std::optional<bool> localEcho) override {
    Event(localEcho ? (*localEcho ? "echo local" : "echo remote") : "echo same");
  }
  std::string LocationRequested() override {
    Event("location?");
    return "VANTREL";
  }
  std::string TerminalTypeRequested() override {
    Event("terminal type?");
    return "VT100";
  }
  void Trace(const std::string& text) override { Event("trace " + text); }

 private:
  void Event(const std::string& what) {
    inData_ = false;
    log += '\n';
    log += what;
    log += '\n';
  }
  bool inData_ = false;
};

std::string State(const TelnetParser& parser) {
  return std::to_string(parser.AfterIAC()) + std::to_string(parser.PendingVerb()) +
         std::to_string(parser.InSubnegotiation()) + parser.SubnegotiationText();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t* stream = data + 1;
  const std::size_t length = size - 1;

  LoggingEvents reference;
  TelnetParser byteParser;
  for (std::size_t i = 0; i < length; ++i) byteParser.ParseByte(stream[i], reference);

  LoggingEvents blocks;
  TelnetParser blockParser;
  unsigned seed = data[0] | 1u;
  for (std::size_t at = 0; at < length;) {
    seed = seed * 1103515245u + 12345u;
    const std::size_t block = std::min<std::size_t>(length - at, 1 + (seed >> 16) % 64);
    blockParser.Parse(stream + at, block, blocks);
    at += block;
  }
  Require(blocks.log == reference.log);
  Require(State(blockParser) == State(byteParser));
  // Runs, not bytes: never more runs than the byte parser's single bytes.
  Require(blocks.runs <= reference.runs);
  return 0;
}
