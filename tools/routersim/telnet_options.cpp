// Option negotiation after the "Q method": every option has a state on our
// side (us_) and on the client's side (him_); only a change of state is ever
// answered, so a client that repeats itself gets silence, not an echo war.
#include "telnet_options.h"

namespace routersim {

namespace tn {
std::string command(std::uint8_t verb, std::uint8_t option) {
  return std::string{static_cast<char>(IAC), static_cast<char>(verb), static_cast<char>(option)};
}

std::string terminal_type_send() {
  return std::string{static_cast<char>(IAC),   static_cast<char>(SB),
                     static_cast<char>(TTYPE), static_cast<char>(TTYPE_SEND),
                     static_cast<char>(IAC),   static_cast<char>(SE)};
}
}  // namespace tn

namespace {
// A subnegotiation longer than this is cut; only its first bytes ever matter.
constexpr std::size_t kMaxSubnegotiation = 512;
}  // namespace

TelnetServer::TelnetServer() = default;

bool TelnetServer::we_do(std::uint8_t option) {
  return option == tn::ECHO || option == tn::SGA || option == tn::BINARY;
}

bool TelnetServer::we_accept(std::uint8_t option) {
  return option == tn::TTYPE || option == tn::SGA || option == tn::BINARY;
}

std::string TelnetServer::offer(std::uint8_t option) {
  if (us_[option] != State::No) {
    return {};
  }
  us_[option] = State::WantYes;
  return tn::command(tn::WILL, option);
}

std::string TelnetServer::request(std::uint8_t option) {
  if (him_[option] != State::No) {
    return {};
  }
  him_[option] = State::WantYes;
  return tn::command(tn::DO, option);
}

void TelnetServer::feed(std::string_view bytes, TelnetInput& out) {
  for (char c : bytes) {
    const auto b = static_cast<std::uint8_t>(c);
    switch (phase_) {
      case Phase::Data:
        if (b == tn::IAC) {
          phase_ = Phase::AfterIac;
        } else {
          out.data.push_back(c);
        }
        break;
      case Phase::AfterIac:
        if (b == tn::IAC) {
          out.data.push_back(c);
          phase_ = Phase::Data;
        } else if (b >= tn::WILL) {
          verb_ = b;
          phase_ = Phase::AfterVerb;
        } else if (b == tn::SB) {
          sub_.clear();
          phase_ = Phase::InSub;
        } else {
          // NOP, GA, AYT and friends: a router has nothing to do for them.
          phase_ = Phase::Data;
        }
        break;
      case Phase::AfterVerb:
        phase_ = Phase::Data;
        on_verb(verb_, b, out);
        break;
      case Phase::InSub:
        if (b == tn::IAC) {
          phase_ = Phase::InSubAfterIac;
        } else if (sub_.size() < kMaxSubnegotiation) {
          sub_.push_back(c);
        }
        break;
      case Phase::InSubAfterIac:
        if (b == tn::SE) {
          phase_ = Phase::Data;
          on_subnegotiation(out);
        } else {
          if (b == tn::IAC && sub_.size() < kMaxSubnegotiation) {
            sub_.push_back(c);
          }
          phase_ = Phase::InSub;
        }
        break;
    }
  }
}

// The client asks for `option` on at `side` (WILL asks for its side, DO for
// ours). Only a change of state is answered; an answer to our own request
// settles it without a reply.
void TelnetServer::on_enable(std::array<State, 256>& side, std::uint8_t option, bool acceptable,
                             std::uint8_t grant, std::uint8_t refuse, TelnetInput& out) {
  switch (side[option]) {
    case State::No:
      side[option] = acceptable ? State::Yes : State::No;
      out.replies.push_back(tn::command(acceptable ? grant : refuse, option));
      break;
    case State::Yes:
      break;
    case State::WantNo:  // answered our refusal with a request: the client is confused; give up
      side[option] = State::No;
      break;
    case State::WantYes:
      side[option] = State::Yes;
      break;
  }
}

void TelnetServer::on_disable(std::array<State, 256>& side, std::uint8_t option,
                              std::uint8_t acknowledge, TelnetInput& out) {
  if (side[option] == State::Yes) out.replies.push_back(tn::command(acknowledge, option));
  side[option] = State::No;
}

void TelnetServer::on_verb(std::uint8_t verb, std::uint8_t option, TelnetInput& out) {
  switch (verb) {
    case tn::WILL:
      on_enable(him_, option, we_accept(option), tn::DO, tn::DONT, out);
      if (option == tn::TTYPE && him_[option] == State::Yes && !terminal_type_asked_) {
        terminal_type_asked_ = true;
        out.replies.push_back(tn::terminal_type_send());
      }
      break;
    case tn::WONT:
      on_disable(him_, option, tn::DONT, out);
      break;
    case tn::DO:
      on_enable(us_, option, we_do(option), tn::WILL, tn::WONT, out);
      if (option == tn::ECHO && us_[option] == State::Yes) echo_refused_ = false;
      break;
    case tn::DONT:
      on_disable(us_, option, tn::WONT, out);
      if (option == tn::ECHO) echo_refused_ = true;
      break;
    default:
      break;
  }
}

void TelnetServer::on_subnegotiation(TelnetInput& out) {
  if (sub_.size() >= 1 && static_cast<std::uint8_t>(sub_[0]) == tn::TTYPE) {
    if (sub_.size() >= 2 && static_cast<std::uint8_t>(sub_[1]) == tn::TTYPE_IS) {
      out.terminal_types.push_back(sub_.substr(2));
    }
  }
  sub_.clear();
}

}  // namespace routersim
