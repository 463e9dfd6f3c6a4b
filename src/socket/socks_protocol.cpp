// SOCKS messages and reply verdicts. A verdict is given on whatever part of a
// reply has arrived, so a reply trickling in byte by byte completes exactly
// when its last byte does, and a refusal is known as soon as its code is in.
#include "socket/socks_protocol.h"

#include <algorithm>

namespace net::socks {
namespace {

constexpr std::uint8_t kSocks4Version = 0x04;
constexpr std::uint8_t kSocks5Version = 0x05;
constexpr std::uint8_t kAuthVersion = 0x01;
constexpr std::uint8_t kConnectCommand = 0x01;
constexpr std::uint8_t kAddressIPv4 = 0x01;
constexpr std::uint8_t kAddressDomain = 0x03;
constexpr std::uint8_t kAddressIPv6 = 0x04;
constexpr std::uint8_t kSocks4Granted = 90;
constexpr std::uint8_t kSocks4Rejected = 91;
constexpr std::uint8_t kSocks4NoIdentd = 92;
constexpr std::uint8_t kSocks4IdentMismatch = 93;

class Writer {
 public:
  void Byte(std::uint8_t value) { message_.bytes[message_.length++] = static_cast<char>(value); }
  void Bytes(std::string_view text) {
    // The callers keep every field within kMaxFieldLength, which the block
    // is sized for; the clamp only guards the block.
    const std::size_t room = message_.bytes.size() - static_cast<std::size_t>(message_.length);
    const std::size_t count = std::min(text.size(), room);
    std::copy_n(text.data(), count, message_.bytes.data() + message_.length);
    message_.length += static_cast<int>(count);
  }
  void Field(std::string_view text) {
    const std::string_view kept = text.substr(0, kMaxFieldLength);
    Byte(static_cast<std::uint8_t>(kept.size()));
    Bytes(kept);
  }
  void Port(std::uint16_t port) {
    Byte(static_cast<std::uint8_t>(port >> 8));
    Byte(static_cast<std::uint8_t>(port & 0xFF));
  }
  Message Done() const { return message_; }

 private:
  Message message_;
};

std::uint8_t At(std::string_view reply, std::size_t i) {
  return static_cast<std::uint8_t>(reply[i]);
}

Verdict Failure(std::int32_t error, std::string text) {
  return Verdict{Verdict::Fail, error, std::move(text), 0};
}

Verdict Unassigned(std::uint8_t code) {
  return Failure(kUnassignedError, "unassigned error #" + std::to_string(code));
}

Verdict Socks5Refusal(std::uint8_t rep) {
  static const char* const kTexts[] = {
      "general SOCKS server failure", "connection not allowed by ruleset",
      "network unreachable",          "host unreachable",
      "connection refused",           "time to live expired",
      "command not supported",        "address type not supported",
  };
  if (rep < 1 || rep > 8) return Unassigned(rep);
  return Failure(20003 + rep, kTexts[rep - 1]);
}

}  // namespace

Message Greeting(std::uint8_t method) {
  Writer w;
  w.Byte(kSocks5Version);
  w.Byte(1);  // one method offered
  w.Byte(method);
  return w.Done();
}

Message Credentials(std::string_view user, std::string_view password) {
  Writer w;
  w.Byte(kAuthVersion);
  w.Field(user);
  w.Field(password);
  return w.Done();
}

Message Socks4Request(std::uint16_t port, std::uint32_t address, std::string_view user,
                      const std::string_view* host) {
  Writer w;
  w.Byte(kSocks4Version);
  w.Byte(kConnectCommand);
  w.Port(port);
  if (host != nullptr) {
    // 0.0.0.1: "the proxy resolves the name that follows the user code".
    for (const std::uint8_t b : {0, 0, 0, 1}) w.Byte(b);
  } else {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&address);
    for (int i = 0; i < 4; ++i) w.Byte(bytes[i]);
  }
  w.Bytes(user.substr(0, kMaxFieldLength));
  w.Byte(0);
  if (host != nullptr) {
    w.Bytes(host->substr(0, kMaxFieldLength));
    w.Byte(0);
  }
  return w.Done();
}

Message Socks5Request(std::string_view host, std::uint16_t port) {
  //  05 01 00 03 | length | host bytes | port (high byte first)
  Writer w;
  w.Byte(kSocks5Version);
  w.Byte(kConnectCommand);
  w.Byte(0);
  w.Byte(kAddressDomain);
  w.Field(host);
  w.Port(port);
  return w.Done();
}

Verdict JudgeMethodReply(std::string_view reply) {
  if (reply.size() < 2) return {};
  if (At(reply, 0) != kSocks5Version) return Failure(kVersionError, "socks version error");
  switch (At(reply, 1)) {
    case kMethodNone:
      return Verdict{Verdict::UseNoMethod, 0, {}, 2};
    case kMethodUsercode:
      return Verdict{Verdict::UseCredentials, 0, {}, 2};
    default:
      return Failure(kMethodNotAcceptable, "authentification method not acceptable");
  }
}

Verdict JudgeAuthReply(std::string_view reply) {
  if (!reply.empty() && At(reply, 0) != kAuthVersion) {
    return Failure(kVersionError, "socks version error");
  }
  if (reply.size() < 2) return {};
  if (reply.size() > 2) return Failure(kLogicError, "too much data availaible");
  if (At(reply, 1) != 0) return Failure(kAuthenticationFailed, "socks authentication failed");
  return Verdict{Verdict::Accepted, 0, {}, 2};
}

Verdict JudgeSocks4Reply(std::string_view reply) {
  if (reply.size() < kSocks4ReplyLength) return {};
  if (At(reply, 0) != 0) return Failure(kVersionError, "socks version error");
  switch (At(reply, 1)) {
    case kSocks4Granted:
      return Verdict{Verdict::Granted, 0, {}, kSocks4ReplyLength};
    case kSocks4Rejected:
      return Failure(kRequestRejected, "request rejected or failed");
    case kSocks4NoIdentd:
      return Failure(kConnectionRefused, "connection refused");
    case kSocks4IdentMismatch:
      return Failure(kAuthenticationFailed, "authentification failed");
    default:
      return Unassigned(At(reply, 1));
  }
}

Verdict JudgeSocks5Reply(std::string_view reply) {
  //  05 | REP | 00 | ATYP | bound address | port (2)
  //  bound address: 4 bytes (ATYP 1), length + name (ATYP 3), 16 bytes (ATYP 4)
  //
  // The bound address is not used, but a proxy that reaches the router over
  // IPv6, or reports its own IPv6 address, grants with ATYP 4: that is a
  // grant like the others, and its 22 bytes are the reply.
  if (!reply.empty() && At(reply, 0) != kSocks5Version) {
    return Failure(kVersionError, "socks version error");
  }
  if (reply.size() >= 2 && At(reply, 1) != 0) return Socks5Refusal(At(reply, 1));
  if (reply.size() < 5) return {};
  int length = 5;
  switch (At(reply, 3)) {
    case kAddressIPv4:
      length = 4 + 4 + 2;
      break;
    case kAddressDomain:
      length = 4 + 1 + At(reply, 4) + 2;
      break;
    case kAddressIPv6:
      length = 4 + 16 + 2;
      break;
    default:
      return Failure(kAddressTypeNotSupported, "address type not supported");
  }
  if (static_cast<int>(reply.size()) < length) return {};
  return Verdict{Verdict::Granted, 0, {}, length};
}

}  // namespace net::socks
