// Host lookups through the system resolver, IPv4 only.
//
// Names under "invalid" never exist, so they are answered at once, without
// asking a name server; "localhost" is the loopback address even where the
// resolver knows nothing of it (the special-use names of RFC 6761).
//
// hostent layout in the caller's buffer (offsets from its start):
//   hostent record | alias pointers, null | address pointers, null |
//   4-byte addresses | name NUL | alias NULs
#include "wsock/host_lookup.h"
#include "wsock/windows_numbers.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "wsock/error_codes.h"
#include "wsock/wsock_api.h"

namespace wsock {

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool IsUnder(const std::string& name, const std::string& domain) {
  std::string lowered = Lower(name);
  if (!lowered.empty() && lowered.back() == '.') lowered.pop_back();
  return lowered == domain ||
         (lowered.size() > domain.size() && lowered.compare(lowered.size() - domain.size() - 1,
                                                            std::string::npos, "." + domain) == 0);
}

constexpr std::array<std::uint8_t, 4> kLoopback = {127, 0, 0, 1};

std::size_t AlignUp(std::size_t offset) {
  constexpr std::size_t kAlign = alignof(char*);
  return (offset + kAlign - 1) / kAlign * kAlign;
}

}  // namespace

int ResolveHostName(const std::string& requested, HostRecord* record) {
  std::string name = requested;
  if (name.empty()) {
    // Windows answers the empty name with the local host.
    char local[256] = {};
    if (gethostname(local, sizeof local - 1) != 0) return ws::WSANO_RECOVERY;
    name = local;
  }
  if (IsUnder(name, "invalid")) return ws::WSAHOST_NOT_FOUND;
  // Digits and dots that are no address (192.168.0.300) can't be a name
  // either: no top-level domain is all digits. No server needs asking.
  in_addr numeric{};
  if (name.find_first_not_of("0123456789.") == std::string::npos &&
      ::inet_aton(name.c_str(), &numeric) == 0) {
    return ws::WSAHOST_NOT_FOUND;
  }

  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_CANONNAME;
  addrinfo* results = nullptr;
  const int status = getaddrinfo(name.c_str(), nullptr, &hints, &results);
  const int systemError = errno;
  if (status != 0) {
    if (IsUnder(name, "localhost")) {
      *record = HostRecord{name, {}, {kLoopback}};
      return 0;
    }
    return FromResolverError(status, systemError);
  }
  *record = HostRecord{};
  record->name = results->ai_canonname != nullptr ? results->ai_canonname : name;
  for (const addrinfo* result = results; result != nullptr; result = result->ai_next) {
    if (result->ai_family != AF_INET) continue;
    sockaddr_in address;
    std::memcpy(&address, result->ai_addr, sizeof address);
    std::array<std::uint8_t, 4> bytes;
    std::memcpy(bytes.data(), &address.sin_addr.s_addr, bytes.size());
    if (std::find(record->addresses.begin(), record->addresses.end(), bytes) ==
        record->addresses.end())
      record->addresses.push_back(bytes);
  }
  freeaddrinfo(results);
  if (record->addresses.empty()) return ws::WSANO_DATA;
  if (Lower(requested) != Lower(record->name) && !requested.empty())
    record->aliases.push_back(requested);
  return 0;
}

int ResolveHostAddress(const std::array<std::uint8_t, 4>& bytes, HostRecord* record) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  std::memcpy(&address.sin_addr.s_addr, bytes.data(), bytes.size());
  char host[NI_MAXHOST] = {};
  const int status = getnameinfo(reinterpret_cast<const sockaddr*>(&address), sizeof address, host,
                                 sizeof host, nullptr, 0, NI_NAMEREQD);
  const int systemError = errno;
  if (status != 0) {
    if (bytes == kLoopback) {
      *record = HostRecord{"localhost", {}, {kLoopback}};
      return 0;
    }
    return FromResolverError(status, systemError);
  }
  *record = HostRecord{host, {}, {bytes}};
  return 0;
}

std::size_t HostEntrySize(const HostRecord& record) {
  std::size_t size = AlignUp(sizeof(ws::hostent));
  size += (record.aliases.size() + 1) * sizeof(char*);
  size += (record.addresses.size() + 1) * sizeof(char*);
  size += record.addresses.size() * 4;
  size += record.name.size() + 1;
  for (const std::string& alias : record.aliases) size += alias.size() + 1;
  return size;
}

void LayOutHostEntry(const HostRecord& record, char* buffer) {
  // Everything is copied in with memcpy, so an unaligned buffer is no fault
  // here; only the reader's access to the pointers depends on alignment.
  std::size_t offset = AlignUp(sizeof(ws::hostent));
  char* const aliasList = buffer + offset;
  offset += (record.aliases.size() + 1) * sizeof(char*);
  char* const addressList = buffer + offset;
  offset += (record.addresses.size() + 1) * sizeof(char*);
  char* const addressBytes = buffer + offset;
  offset += record.addresses.size() * 4;

  auto storePointer = [](char* slot, char* value) { std::memcpy(slot, &value, sizeof value); };
  for (std::size_t i = 0; i < record.addresses.size(); ++i) {
    std::memcpy(addressBytes + 4 * i, record.addresses[i].data(), 4);
    storePointer(addressList + i * sizeof(char*), addressBytes + 4 * i);
  }
  storePointer(addressList + record.addresses.size() * sizeof(char*), nullptr);

  char* const name = buffer + offset;
  std::memcpy(name, record.name.c_str(), record.name.size() + 1);
  offset += record.name.size() + 1;
  for (std::size_t i = 0; i < record.aliases.size(); ++i) {
    char* const alias = buffer + offset;
    std::memcpy(alias, record.aliases[i].c_str(), record.aliases[i].size() + 1);
    offset += record.aliases[i].size() + 1;
    storePointer(aliasList + i * sizeof(char*), alias);
  }
  storePointer(aliasList + record.aliases.size() * sizeof(char*), nullptr);

  ws::hostent entry{};
  entry.h_name = name;
  entry.h_aliases = reinterpret_cast<char**>(aliasList);
  entry.h_addrtype = wn::kAfInet;
  entry.h_length = 4;
  entry.h_addr_list = reinterpret_cast<char**>(addressList);
  std::memcpy(buffer, &entry, sizeof entry);
}

}  // namespace wsock
