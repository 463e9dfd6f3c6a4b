// The handle table.
#include "wsock/socket_table.h"

#include <unistd.h>

namespace wsock {

SocketEntry::~SocketEntry() { ::close(fd); }

SocketTable& SocketTable::Instance() {
  static SocketTable* table = new SocketTable;
  return *table;
}

ws::SOCKET SocketTable::Insert(const EntryPtr& entry) {
  std::lock_guard lock(mutex_);
  // Steps of four keep handles apart from small descriptor numbers.
  const ws::SOCKET handle = next_;
  next_ += 4;
  entry->handle = handle;
  entries_.emplace(handle, entry);
  return handle;
}

EntryPtr SocketTable::Find(ws::SOCKET handle) {
  std::lock_guard lock(mutex_);
  return FindLocked(handle);
}

EntryPtr SocketTable::FindLocked(ws::SOCKET handle) const {
  auto found = entries_.find(handle);
  return found == entries_.end() ? nullptr : found->second;
}

EntryPtr SocketTable::Take(ws::SOCKET handle) {
  std::lock_guard lock(mutex_);
  auto found = entries_.find(handle);
  if (found == entries_.end()) return nullptr;
  EntryPtr entry = std::move(found->second);
  entries_.erase(found);
  return entry;
}

std::vector<EntryPtr> SocketTable::TakeAll() {
  std::lock_guard lock(mutex_);
  std::vector<EntryPtr> all;
  all.reserve(entries_.size());
  for (auto& [handle, entry] : entries_) all.push_back(std::move(entry));
  entries_.clear();
  return all;
}

}  // namespace wsock
