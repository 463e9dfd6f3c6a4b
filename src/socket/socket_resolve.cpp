// Address, port and protocol texts into numbers. A text that starts with a
// digit is taken as a number (or a dotted address) without asking any
// database; anything else is looked up by name.
#include "socket/socket_resolve.h"

#include <cstring>
#include <limits>

#include "socket/format_text.h"
#include "socket/socket_exception.h"
#include "socket/socket_library.h"

namespace net {

bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

std::int32_t ParseDecimal(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  std::int64_t value = 0;
  for (; i < text.size() && IsDecimalDigit(text[i]); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > std::numeric_limits<std::int32_t>::max()) throw EIntOverflow();
  }
  return static_cast<std::int32_t>(value);
}

std::string TrimBlanks(const std::string& text) {
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') --last;
  return text.substr(first, last - first);
}

std::uint32_t SocketResolveHost(const std::string& host) {
  if (host.empty() || host.size() > 256) {
    throw ESocketException("SocketResolveHost: '" + host + "' Invalid Hostname.");
  }
  const std::string name = TrimBlanks(host);
  if (!name.empty() && IsDecimalDigit(name[0])) {
    const ws::u_long address = winsock::inet_addr(name.c_str());
    if (address == ws::INADDR_NONE && name != "255.255.255.255") {
      throw ESocketException("SocketResolveHost: '" + host + "' Invalid IP address.");
    }
    return address;
  }
  const ws::hostent* entry = winsock::gethostbyname(name.c_str());
  // An entry without an IPv4 address is as useless as no entry at all.
  if (entry == nullptr || entry->h_addr_list == nullptr || entry->h_addr_list[0] == nullptr ||
      entry->h_length < 4) {
    throw ESocketException(
        FormatText("SocketResolveHost: Cannot convert host address '%s'", {host}));
  }
  std::uint32_t address = 0;
  std::memcpy(&address, entry->h_addr_list[0], sizeof address);
  return address;
}

std::uint16_t SocketResolvePort(const std::string& port, const std::string& proto) {
  if (port.empty() || port.size() >= 32) {
    throw ESocketException("SocketResolvePort: Invalid Port.");
  }
  if (IsDecimalDigit(port[0])) {
    const std::int32_t number = ParseDecimal(port);
    if (number > 65535) throw ERangeError();
    return static_cast<std::uint16_t>(number);
  }
  const std::string service = TrimBlanks(port);
  const std::string protocol = TrimBlanks(proto);
  const ws::servent* entry =
      winsock::getservbyname(service.c_str(), protocol.empty() ? nullptr : protocol.c_str());
  if (entry == nullptr) {
    throw ESocketException(FormatText("SocketResolvePort: Cannot convert port '%s'", {port}));
  }
  return winsock::ntohs(static_cast<ws::u_short>(entry->s_port));
}

int SocketResolveProto(const std::string& proto) {
  if (proto.empty() || proto.size() >= 32) {
    throw ESocketException("SocketResolveProto: Invalid Protocol.");
  }
  const std::string protocol = TrimBlanks(proto);
  if (!protocol.empty() && IsDecimalDigit(protocol[0])) return ParseDecimal(protocol);
  const ws::protoent* entry = winsock::getprotobyname(protocol.c_str());
  if (entry == nullptr) {
    throw ESocketException(
        FormatText("SocketResolveProto: Cannot convert protocol '%s'", {protocol}));
  }
  return entry->p_proto;
}

}  // namespace net
