// gethostbyname, getservbyname and getprotobyname: records in Windows'
// layout, one set per thread, valid until the thread's next call of the same
// function. Services and protocols come from the system's databases; where a
// database file is missing (small installations leave them out), a built-in
// table of the common names answers instead.
#include "wsock/windows_numbers.h"

#include <netdb.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "wsock/error_codes.h"
#include "wsock/host_lookup.h"
#include "wsock/known_services.h"
#include "wsock/wsock_functions.h"

namespace wsock {

namespace {

bool DatabaseMissing(const char* path) { return access(path, R_OK) != 0; }

std::vector<std::string> CollectAliases(char** aliases) {
  std::vector<std::string> collected;
  for (char** alias = aliases; alias != nullptr && *alias != nullptr; ++alias)
    collected.emplace_back(*alias);
  return collected;
}

// Keeps one record and the strings it points to for the calling thread.
struct AliasList {
  std::vector<std::string> names;
  std::vector<char*> pointers;

  char** Set(std::vector<std::string> aliases) {
    names = std::move(aliases);
    pointers.clear();
    for (std::string& name : names) pointers.push_back(name.data());
    pointers.push_back(nullptr);
    return pointers.data();
  }
};

struct ServiceRecord {
  ws::servent entry{};
  std::string name;
  std::string protocol;
  AliasList aliases;
};

struct ProtocolRecord {
  ws::protoent entry{};
  std::string name;
  AliasList aliases;
};

ws::servent* StoreService(std::string name, std::vector<std::string> aliases,
                          std::uint16_t networkPort, std::string protocol) {
  thread_local ServiceRecord record;
  record.name = std::move(name);
  record.protocol = std::move(protocol);
  record.entry.s_name = record.name.data();
  record.entry.s_aliases = record.aliases.Set(std::move(aliases));
  record.entry.s_port = static_cast<std::int16_t>(networkPort);
  record.entry.s_proto = record.protocol.data();
  return &record.entry;
}

ws::protoent* StoreProtocol(std::string name, std::vector<std::string> aliases, int number) {
  thread_local ProtocolRecord record;
  record.name = std::move(name);
  record.entry.p_name = record.name.data();
  record.entry.p_aliases = record.aliases.Set(std::move(aliases));
  record.entry.p_proto = static_cast<std::int16_t>(number);
  return &record.entry;
}

std::uint16_t NetworkPort(int hostPort) {
  return HostToNetwork16(static_cast<ws::u_short>(hostPort));
}

ws::servent* StoreKnownService(const KnownService* service) {
  if (service == nullptr) return nullptr;
  std::vector<std::string> aliases;
  if (service->alias != nullptr) aliases.emplace_back(service->alias);
  return StoreService(service->name, std::move(aliases), NetworkPort(service->port),
                      service->protocol);
}

ws::protoent* StoreKnownProtocol(const KnownProtocol* protocol) {
  if (protocol == nullptr) return nullptr;
  return StoreProtocol(protocol->name, {protocol->alias}, protocol->number);
}

// Calls a reentrant database function, growing its scratch buffer as asked.
template <typename Lookup>
bool LookUpWithScratch(Lookup&& lookup) {
  std::vector<char> scratch(1024);
  for (int attempt = 0; attempt < 8; ++attempt) {
    const int status = lookup(scratch.data(), scratch.size());
    if (status != ERANGE) return status == 0;
    scratch.resize(scratch.size() * 4);
  }
  return false;
}

bool RequireStarted() {
  if (IsStarted()) return true;
  SetLastError(ws::WSANOTINITIALISED);
  return false;
}

}  // namespace

ws::hostent* GetHostByName(const char* name) {
  if (!RequireStarted()) return nullptr;
  if (name == nullptr) {
    SetLastError(ws::WSAEFAULT);
    return nullptr;
  }
  HostRecord record;
  if (int error = ResolveHostName(name, &record); error != 0) {
    SetLastError(error);
    return nullptr;
  }
  // 64-bit cells keep the record's pointers aligned.
  thread_local std::vector<std::uint64_t> storage;
  storage.assign((HostEntrySize(record) + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t), 0);
  char* buffer = reinterpret_cast<char*>(storage.data());
  LayOutHostEntry(record, buffer);
  return reinterpret_cast<ws::hostent*>(buffer);
}

ws::servent* GetServByName(const char* name, const char* protocol) {
  if (!RequireStarted()) return nullptr;
  if (name == nullptr) {
    SetLastError(ws::WSAEFAULT);
    return nullptr;
  }
  ws::servent* found = nullptr;
  LookUpWithScratch([&](char* scratch, std::size_t size) {
    servent entry{};
    servent* result = nullptr;
    const int status = getservbyname_r(name, protocol, &entry, scratch, size, &result);
    if (status == 0 && result != nullptr)
      found = StoreService(result->s_name, CollectAliases(result->s_aliases),
                           static_cast<std::uint16_t>(result->s_port), result->s_proto);
    return status;
  });
  if (found == nullptr && DatabaseMissing("/etc/services"))
    found = StoreKnownService(FindKnownService(name, protocol));
  if (found == nullptr) SetLastError(ws::WSANO_DATA);
  return found;
}

ws::protoent* GetProtoByName(const char* name) {
  if (!RequireStarted()) return nullptr;
  if (name == nullptr) {
    SetLastError(ws::WSAEFAULT);
    return nullptr;
  }
  ws::protoent* found = nullptr;
  LookUpWithScratch([&](char* scratch, std::size_t size) {
    protoent entry{};
    protoent* result = nullptr;
    const int status = getprotobyname_r(name, &entry, scratch, size, &result);
    if (status == 0 && result != nullptr)
      found = StoreProtocol(result->p_name, CollectAliases(result->p_aliases), result->p_proto);
    return status;
  });
  if (found == nullptr && DatabaseMissing("/etc/protocols"))
    found = StoreKnownProtocol(FindKnownProtocol(name));
  if (found == nullptr) SetLastError(ws::WSANO_DATA);
  return found;
}

}  // namespace wsock
