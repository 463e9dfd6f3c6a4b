// Random bytes into the TELNET receive parser. The first input byte picks
// whether handlers throw, so the recovery paths are shaken too; the rest is the
// byte stream from the server. Every message the parser wants sent must be a
// well-formed TELNET command, and its state must stay within its bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "telnet/telnet_codes.h"
#include "telnet/telnet_parser.h"

namespace {

using telnet::TelnetParser;
namespace cmd = telnet::cmd;

struct HandlerFailure {};

void Require(bool condition) {
  if (!condition) std::abort();
}

class CheckingEvents : public telnet::TelnetParserEvents {
public:
  explicit CheckingEvents(std::uint8_t flags) : flags_(flags) {}

  std::size_t dataBytes = 0;

  void SendToServer(const std::string& bytes) override {
    Require(bytes.size() >= 3);
    Require(static_cast<std::uint8_t>(bytes[0]) == cmd::IAC);
    const auto verb = static_cast<std::uint8_t>(bytes[1]);
    if (verb == cmd::SB) {
      Require(static_cast<std::uint8_t>(bytes[bytes.size() - 2]) == cmd::IAC);
      Require(static_cast<std::uint8_t>(bytes.back()) == cmd::SE);
    } else {
      Require(bytes.size() == 3);
      Require(verb >= cmd::WILL && verb <= cmd::DONT);
    }
    MaybeThrow(0x01);
  }
  void Data(const std::uint8_t*, std::size_t length) override {
    dataBytes += length;
    MaybeThrow(0x02);
  }
  void EndOfRecord() override { MaybeThrow(0x04); }
  void EchoNegotiated(std::optional<bool>) override { MaybeThrow(0x08); }
  std::string LocationRequested() override {
    MaybeThrow(0x10);
    return "VANTREL";
  }
  std::string TerminalTypeRequested() override {
    MaybeThrow(0x20);
    return std::string(flags_ & 0x40 ? "" : "VT100");
  }
  void Trace(const std::string& text) override {
    Require(text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0);
  }

private:
  void MaybeThrow(std::uint8_t bit) {
    // Throw now and then only, so long inputs still get parsed through.
    if ((flags_ & bit) && (++calls_ % 7) == 0) throw HandlerFailure{};
  }

  std::uint8_t flags_;
  unsigned calls_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  CheckingEvents events(data[0]);
  TelnetParser parser;
  for (std::size_t i = 1; i < size; ++i) {
    try {
      parser.ParseByte(data[i], events);
    } catch (const HandlerFailure&) {
      // A handler failed; the parser must carry on with the next byte.
    }
    Require(parser.SubnegotiationText().size() <= TelnetParser::kSubnegotiationTextLimit);
    Require(parser.PendingVerb() == 0 ||
            (parser.PendingVerb() >= cmd::WILL && parser.PendingVerb() <= cmd::DONT));
    Require(!(parser.AfterIAC() && parser.InSubnegotiation()));
  }
  Require(events.dataBytes < size);
  return 0;
}
