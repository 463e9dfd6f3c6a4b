// The TELNET receive parser and its negotiation table.
#include "telnet/telnet_parser.h"

#include <algorithm>
#include <cstring>

#include "telnet/telnet_codes.h"

namespace telnet {

namespace {

const char kCrLf[] = "\r\n";

std::string UnknownCommandTrace(std::uint8_t b) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string text = "Unknown ";
  text += kHex[b >> 4];
  text += kHex[b & 0x0F];
  text += " '";
  text += static_cast<char>(b);
  text += "'";
  text += kCrLf;
  return text;
}

std::string NamedCommandTrace(std::uint8_t b) {
  std::string text = "TNCH_";
  text += CommandName(b);
  text += kCrLf;
  return text;
}

std::string Subnegotiation(std::uint8_t option, std::uint8_t subcommand, bool withSubcommand,
                           const std::string& text) {
  std::string message;
  message.reserve(text.size() + 6);
  message += static_cast<char>(cmd::IAC);
  message += static_cast<char>(cmd::SB);
  message += static_cast<char>(option);
  if (withSubcommand) message += static_cast<char>(subcommand);
  message += text;
  message += static_cast<char>(cmd::IAC);
  message += static_cast<char>(cmd::SE);
  return message;
}

}  // namespace

std::string TelnetParser::CommandMessage(std::uint8_t verb, std::uint8_t option) {
  return std::string{static_cast<char>(cmd::IAC), static_cast<char>(verb),
                     static_cast<char>(option)};
}

std::string TelnetParser::TerminalTypeMessage(const std::string& termType) {
  return Subnegotiation(opt::TERMINAL_TYPE, termtype::IS, true, termType);
}

std::string TelnetParser::LocationMessage(const std::string& location) {
  return Subnegotiation(opt::SEND_LOCATION, 0, false, location);
}

void TelnetParser::Reset() { *this = TelnetParser{}; }

std::string TelnetParser::SubnegotiationText() const {
  return std::string(reinterpret_cast<const char*>(subnegotiationText_.data()),
                     subnegotiationLength_);
}

void TelnetParser::AppendSubnegotiationByte(std::uint8_t b) {
  if (subnegotiationLength_ < subnegotiationText_.size())
    subnegotiationText_[subnegotiationLength_++] = b;
}

void TelnetParser::Parse(const std::uint8_t* data, std::size_t length,
                         TelnetParserEvents& events) {
  const std::uint8_t* const end = data + length;
  while (data < end) {
    if (afterIAC_ || pendingVerb_ != 0 || inSubnegotiation_) {
      ParseByte(*data++, events);
      continue;
    }
    // Plain data up to the next IAC; of the bytes in between only IP to EL
    // ask for more than storing (a trace first), so they end a run too.
    const auto* iac = static_cast<const std::uint8_t*>(std::memchr(data, cmd::IAC, end - data));
    const std::uint8_t* const runEnd = iac != nullptr ? iac : end;
    const std::uint8_t* const traced =
        std::find_if(data, runEnd, [](std::uint8_t b) { return b >= cmd::IP && b <= cmd::EL; });
    if (traced != data) {
      events.Data(data, static_cast<std::size_t>(traced - data));
      data = traced;
      continue;
    }
    ParseByte(*data++, events);
  }
}

void TelnetParser::ParseByte(std::uint8_t b, TelnetParserEvents& events) {
  // State is settled before any event is raised, so a handler that throws
  // leaves the parser ready for the next byte instead of half-way through a
  // command it has already acted on.
  if (pendingVerb_ != 0) {
    const std::uint8_t verb = pendingVerb_;
    pendingVerb_ = 0;
    events.OptionReceived(verb, b);
    HandleOption(verb, b, events);
    return;
  }
  if (inSubnegotiation_) {
    // No IAC unescaping inside: the first 240 ends it, with or without IAC.
    if (b == cmd::SE) {
      inSubnegotiation_ = false;
      const std::string text = SubnegotiationText();
      subnegotiationLength_ = 0;
      events.SubnegotiationReceived(text);
      HandleSubnegotiation(text, events);
    } else {
      AppendSubnegotiationByte(b);
    }
    return;
  }
  if (afterIAC_) {
    afterIAC_ = false;
    switch (b) {
      case cmd::EOR:
        events.Trace(NamedCommandTrace(b));
        events.EndOfRecord();
        return;
      case cmd::SB:
        inSubnegotiation_ = true;
        return;
      case cmd::WILL:
      case cmd::WONT:
      case cmd::DO:
      case cmd::DONT:
        pendingVerb_ = b;
        return;
      case cmd::IAC:
        events.Data(&b, 1);
        return;
      default:
        // NOP, GA, DM and the rest carry nothing we act on; the byte is dropped.
        events.Trace(UnknownCommandTrace(b));
        return;
    }
  }
  if (b == cmd::IAC) {
    afterIAC_ = true;
    return;
  }
  if (b >= cmd::IP && b <= cmd::EL) events.Trace(NamedCommandTrace(b));
  events.Data(&b, 1);
}

void TelnetParser::HandleOption(std::uint8_t verb, std::uint8_t option,
                                TelnetParserEvents& events) {
  auto reply = [&events](std::uint8_t replyVerb, std::uint8_t replyOption) {
    events.SendToServer(CommandMessage(replyVerb, replyOption));
  };
  switch (option) {
    case opt::TRANSMIT_BINARY:
    case opt::SUPPRESS_GO_AHEAD:
      if (verb == cmd::WILL) reply(cmd::DO, option);
      return;
    case opt::ECHO:
      if (verb == cmd::WILL) {
        reply(cmd::DO, option);
        events.EchoNegotiated(false);
      } else if (verb == cmd::WONT) {
        events.EchoNegotiated(true);
      } else {
        events.EchoNegotiated(std::nullopt);
      }
      return;
    case opt::SEND_LOCATION:
      if (verb == cmd::DO) {
        reply(cmd::WILL, option);
        // Asked only now, so the owner's handler can still change the text.
        const std::string location = events.LocationRequested();
        events.SendToServer(LocationMessage(location));
      }
      return;
    case opt::TERMINAL_TYPE:
    case opt::END_OF_RECORD:
      if (verb == cmd::DO) reply(cmd::WILL, option);
      return;
    default:
      reply(verb == cmd::WILL ? cmd::DONT : cmd::WONT, option);
      return;
  }
}

void TelnetParser::HandleSubnegotiation(const std::string& text, TelnetParserEvents& events) {
  if (text.size() < 2) return;
  if (static_cast<std::uint8_t>(text[0]) != opt::TERMINAL_TYPE) return;
  if (static_cast<std::uint8_t>(text[1]) != termtype::SEND) return;
  const std::string termType = events.TerminalTypeRequested();
  events.SendToServer(TerminalTypeMessage(termType));
}

}  // namespace telnet
