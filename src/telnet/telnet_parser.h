// The TELNET receive parser: bytes from the server go in as a block (or one at
// a time); runs of data bytes, negotiation replies and notices leave through
// TelnetParserEvents. It
// never touches a socket, so it runs the same under a test, a fuzzer or a
// live connection.
//
// The parser answers the server's option negotiation from a fixed table and
// keeps no memory of earlier answers: a repeated request is answered again.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace telnet {

// What the parser asks of its user. Calls arrive in the order the bytes demand,
// synchronously, from inside Parse or ParseByte.
class TelnetParserEvents {
public:
  virtual ~TelnetParserEvents() = default;

  // One message for the server, to go out in one piece (one socket send).
  virtual void SendToServer(const std::string& bytes) = 0;
  // Bytes of the data stream, after TELNET commands have been removed: a run
  // of the input with no command inside, or the one byte of IAC IAC. Runs
  // are cut wherever the byte-at-a-time order of events demands, so the
  // stream and the events come in the same order however the input is fed.
  virtual void Data(const std::uint8_t* bytes, std::size_t length) = 0;
  // IAC EOR arrived.
  virtual void EndOfRecord() = 0;
  // The server negotiated ECHO. `localEcho` is the new value of the client's
  // local-echo flag, or empty when this negotiation leaves it as it was. Called
  // after any reply has been sent.
  virtual void EchoNegotiated(std::optional<bool> localEcho) = 0;
  // The server asked for our location (after our WILL has been sent); returns
  // the text to send.
  virtual std::string LocationRequested() = 0;
  // The server asked for our terminal type; returns the text to send.
  virtual std::string TerminalTypeRequested() = 0;
  // A diagnostic line (ends with CR LF); numbering is the receiver's business.
  virtual void Trace(const std::string& text) = 0;
  // An option command or a whole subnegotiation came, before it is answered;
  // for a session's trace.
  virtual void OptionReceived(std::uint8_t /*verb*/, std::uint8_t /*option*/) {}
  virtual void SubnegotiationReceived(const std::string& /*text*/) {}
};

class TelnetParser {
public:
  // Only the subcommand bytes at the front of a subnegotiation are ever read,
  // so a server that opens one and streams forever costs us no memory: bytes
  // past this limit are dropped, and byte 240 still ends the subnegotiation.
  static constexpr std::size_t kSubnegotiationTextLimit = 16;

  // One byte; the plain table every other path must agree with.
  void ParseByte(std::uint8_t b, TelnetParserEvents& events);
  // A block: plain data between commands goes out as whole runs. If a
  // handler throws, the bytes after the one being handled are not parsed.
  void Parse(const std::uint8_t* data, std::size_t length, TelnetParserEvents& events);

  // Back to the state of program start.
  void Reset();

  bool AfterIAC() const { return afterIAC_; }
  std::uint8_t PendingVerb() const { return pendingVerb_; }
  bool InSubnegotiation() const { return inSubnegotiation_; }
  std::string SubnegotiationText() const;

  // The negotiation table: the reply (if any) goes out first, then whatever
  // else the option calls for.
  static void HandleOption(std::uint8_t verb, std::uint8_t option, TelnetParserEvents& events);
  static void HandleSubnegotiation(const std::string& text, TelnetParserEvents& events);

  // The messages this client sends. Bytes 255 inside `text` are not doubled:
  // the servers we talk to take the texts as they are.
  static std::string CommandMessage(std::uint8_t verb, std::uint8_t option);
  static std::string TerminalTypeMessage(const std::string& termType);
  static std::string LocationMessage(const std::string& location);

private:
  void AppendSubnegotiationByte(std::uint8_t b);

  bool afterIAC_ = false;
  std::uint8_t pendingVerb_ = 0;
  bool inSubnegotiation_ = false;
  std::array<std::uint8_t, kSubnegotiationTextLimit> subnegotiationText_{};
  std::size_t subnegotiationLength_ = 0;
};

}  // namespace telnet
