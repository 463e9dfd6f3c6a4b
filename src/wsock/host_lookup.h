// Host name resolution for gethostbyname and the asynchronous lookups, and
// the Windows hostent layout they deliver.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace wsock {

struct HostRecord {
  std::string name;
  std::vector<std::string> aliases;
  std::vector<std::array<std::uint8_t, 4>> addresses;  // network order
};

// Blocking lookups. Return 0 and fill `record`, or a Windows Sockets error
// (11001 unknown host, 11002 try again, ...).
int ResolveHostName(const std::string& name, HostRecord* record);
int ResolveHostAddress(const std::array<std::uint8_t, 4>& address, HostRecord* record);

// Bytes a hostent for `record` takes, laid out from the start of a buffer.
std::size_t HostEntrySize(const HostRecord& record);

// Writes the hostent and everything it points to into `buffer` (which should
// be aligned for pointers); nothing outside [buffer, buffer + HostEntrySize)
// is touched. The caller has checked that the size fits.
void LayOutHostEntry(const HostRecord& record, char* buffer);

}  // namespace wsock
