// Random bytes as a SOCKS proxy's answer, judged the way the socket judges
// it: the reply grows by pieces whose sizes the input picks, and a verdict is
// asked after each. No reply may keep the client waiting past the longest
// legal reply, a grant must lie within what arrived, and a failure must carry
// a layer code and a text. The same bytes also fill the fields of the
// requests, whose lengths must follow from the fields (each cut to 255).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "socket/socks_protocol.h"

namespace {

namespace socks = net::socks;

void Require(bool condition) {
  if (!condition) std::abort();
}

socks::Verdict Judge(int kind, std::string_view reply) {
  switch (kind) {
    case 0:
      return socks::JudgeMethodReply(reply);
    case 1:
      return socks::JudgeAuthReply(reply);
    case 2:
      return socks::JudgeSocks4Reply(reply);
    default:
      return socks::JudgeSocks5Reply(reply);
  }
}

constexpr std::size_t kLongestReply[] = {2, 2, 8, 4 + 1 + 255 + 2};

void CheckReply(int kind, std::size_t step, std::string_view bytes) {
  std::size_t held = 0;
  while (held < bytes.size()) {
    held = std::min(bytes.size(), held + step);
    const socks::Verdict verdict = Judge(kind, bytes.substr(0, held));
    if (verdict.kind == socks::Verdict::Wait) {
      Require(held < kLongestReply[kind]);
      continue;
    }
    if (verdict.kind == socks::Verdict::Fail) {
      Require(verdict.error >= 20001 && verdict.error <= 20017);
      Require(!verdict.text.empty());
    } else {
      Require(verdict.length > 0 && static_cast<std::size_t>(verdict.length) <= held);
    }
    return;  // the socket stops at the first verdict
  }
}

std::size_t Cut(std::string_view field) {
  return std::min<std::size_t>(field.size(), socks::kMaxFieldLength);
}

void CheckRequests(std::string_view bytes) {
  const std::string_view user = bytes.substr(0, bytes.size() / 2);
  const std::string_view other = bytes.substr(bytes.size() / 2);
  Require(socks::Credentials(user, other).length == static_cast<int>(3 + Cut(user) + Cut(other)));
  Require(socks::Socks4Request(23, 0x0100007F, user, nullptr).length ==
          static_cast<int>(9 + Cut(user)));
  Require(socks::Socks4Request(23, 0, user, &other).length ==
          static_cast<int>(10 + Cut(user) + Cut(other)));
  const socks::Message request = socks::Socks5Request(other, 23);
  Require(request.length == static_cast<int>(7 + Cut(other)));
  Require(static_cast<std::uint8_t>(request.bytes[4]) == Cut(other));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const int kind = data[0] & 0x03;
  const std::size_t step = 1 + (data[0] >> 2);
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  CheckReply(kind, step, bytes);
  CheckRequests(bytes);
  return 0;
}
