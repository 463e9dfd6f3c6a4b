// The SOCKS 4, 4A and 5 wire formats of a client, without any I/O: the
// messages it sends, built into a fixed block, and the judgement of what the
// proxy has answered so far. The socket's SOCKS layer feeds the bytes in and
// acts on the verdicts; the fuzz target feeds arbitrary bytes.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace net::socks {

// Every variable field of the protocols carries its length in one byte, or
// (SOCKS 4's user code) is kept to the same limit.
constexpr int kMaxFieldLength = 255;
// The longest request: a 4A request with a user code and a host name of 255
// bytes each (8 + 255 + 1 + 255 + 1).
constexpr int kMessageSize = 520;
// Larger than the longest reply (a SOCKS 5 reply with a 255-byte bound
// domain is 262 bytes), so every legal reply completes in it; what follows a
// reply in the same read is the destination's first data.
constexpr int kReplyBufferSize = 512;
constexpr int kSocks4ReplyLength = 8;

// Layer error codes, passed where socket error codes go.
constexpr std::int32_t kLogicError = 20001;
constexpr std::int32_t kVersionError = 20002;
constexpr std::int32_t kMethodNotAcceptable = 20003;
constexpr std::int32_t kConnectionRefused = 20008;
constexpr std::int32_t kAddressTypeNotSupported = 20011;
constexpr std::int32_t kUnassignedError = 20012;
constexpr std::int32_t kAuthenticationFailed = 20015;
constexpr std::int32_t kRequestRejected = 20016;
constexpr std::int32_t kResolveFailed = 20017;

constexpr std::uint8_t kMethodNone = 0x00;
constexpr std::uint8_t kMethodUsercode = 0x02;

struct Message {
  std::array<char, kMessageSize> bytes{};
  int length = 0;
  std::string_view View() const { return {bytes.data(), static_cast<std::size_t>(length)}; }
};

Message Greeting(std::uint8_t method);
Message Credentials(std::string_view user, std::string_view password);
// `address` in network byte order; SOCKS 4A passes the host name (and the
// address 0.0.0.1), plain SOCKS 4 passes no host.
Message Socks4Request(std::uint16_t port, std::uint32_t address, std::string_view user,
                      const std::string_view* host);
Message Socks5Request(std::string_view host, std::uint16_t port);

struct Verdict {
  enum Kind {
    Wait,            // the reply is not complete yet
    Fail,            // `error` and `text` say why
    UseNoMethod,     // method reply: no authentication
    UseCredentials,  // method reply: send user code and password
    Accepted,        // authentication reply: credentials taken
    Granted,         // connect reply: `length` bytes were the reply
  };
  Kind kind = Wait;
  std::int32_t error = 0;
  std::string text;
  int length = 0;
};

Verdict JudgeMethodReply(std::string_view reply);
Verdict JudgeAuthReply(std::string_view reply);
Verdict JudgeSocks4Reply(std::string_view reply);
Verdict JudgeSocks5Reply(std::string_view reply);

}  // namespace net::socks
