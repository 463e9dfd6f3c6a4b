// Blocking conversions of the socket's address, port and protocol texts into
// numbers, usable without a socket object. They raise ESocketException (and
// the arithmetic errors for out-of-range numbers) directly, never through a
// socket's OnError.
#pragma once

#include <cstdint>
#include <string>

namespace net {

// IPv4 address in network byte order.
std::uint32_t SocketResolveHost(const std::string& host);
// Port number in host byte order.
std::uint16_t SocketResolvePort(const std::string& port, const std::string& proto);
int SocketResolveProto(const std::string& proto);

// Leading blanks skipped, then decimal digits up to the first other character;
// no sign; 0 without digits. EIntOverflow beyond the signed 32-bit range.
std::int32_t ParseDecimal(const std::string& text);
bool IsDecimalDigit(char c);

// Leading and trailing blanks and control characters removed.
std::string TrimBlanks(const std::string& text);

}  // namespace net
