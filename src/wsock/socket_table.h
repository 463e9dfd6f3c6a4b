// The library's sockets: one entry per SOCKET handle, holding the system
// descriptor and what the notifications need to follow Windows' re-enabling
// rules. Handles count up and are never reused in the process, so
// a late message for a closed handle can never be taken for a newer socket.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "wsock/wsock_api.h"

namespace wsock {

// What a non-blocking stream receive asks the system for at once.
inline constexpr int kReadAheadBytes = 64 * 1024;

enum class SocketPhase {
  kFresh,       // created (perhaps bound), neither connecting nor listening
  kConnecting,  // a non-blocking connect is under way
  kConnected,   // stream connected, or datagram socket in use
  kListening,
  kFailed,  // a connect attempt failed
};

// The descriptor is closed when the last reference goes; closesocket drops the
// table's reference, so in the usual single-threaded use the close happens
// inside closesocket.
struct SocketEntry {
  SocketEntry(int fd, bool stream) : fd(fd), stream(stream) {}
  ~SocketEntry();
  SocketEntry(const SocketEntry&) = delete;
  SocketEntry& operator=(const SocketEntry&) = delete;

  const int fd;
  const bool stream;
  ws::SOCKET handle = 0;

  // One receive at a time takes from or fills the bytes read ahead.
  std::mutex receiveMutex;
  std::unique_ptr<char[]> ahead;  // kReadAheadBytes, once first needed
  int aheadStart = 0;             // the next byte to hand out

  // Everything below is guarded by SocketTable::Mutex().
  win::HWND window = nullptr;
  win::DWORD ownerThread = 0;  // the thread that owns `window`
  unsigned int message = 0;
  long events = 0;
  bool nonBlocking = false;
  bool ackEachReceive = false;

  SocketPhase phase = SocketPhase::kFresh;
  bool everConnected = false;
  bool sendShut = false;
  bool receiveShut = false;

  // Armed events are posted when their condition holds, then disarmed until
  // the call that re-enables them.
  bool readArmed = true;
  bool writeArmed = false;
  bool acceptArmed = true;

  // Latched outcomes, posted once when selected.
  bool connectDue = false;
  int connectError = 0;
  bool closeDetected = false;
  bool closePosted = false;
  int closeError = 0;
  bool hungUp = false;  // both directions are gone: nothing more to wait for

  // Where the descriptor is watched (the queue of this window's thread), and
  // for what (epoll event bits; 0: not watched).
  win::HWND watchWindow = nullptr;
  std::uint32_t watched = 0;

  // How the connection died, once known (10053/10054), for later calls.
  int abortError = 0;
  // Owner calls inside recv/send right now. Such a call may take the
  // connection's pending error from the system, and records it only once it
  // is back, so the notifications leave the socket alone meanwhile and the
  // call brings its watch back when it is done (`evaluationWaits`).
  int callsInFlight = 0;
  bool evaluationWaits = false;
  // Bytes of a stream read from the system ahead of the owner's receives: a
  // non-blocking receive asks the system for up to kReadAheadBytes at once
  // and hands out what was asked for, the rest to the next receives. Counted
  // here; the bytes themselves belong to whoever holds `receiveMutex`.
  int aheadCount = 0;
  // The handler round (HandlerRoundLocked) in which a read of the system came
  // back short, so that nothing more was waiting then (0: none since). A
  // receive in that same round that finds nothing read ahead says "would
  // block" without asking the system again; anything that arrived meanwhile
  // is reported by the look that ends the round, as data that came a moment
  // after the read would be. Used once.
  std::uint64_t drainedAtLook = 0;
  // A datagram error collected for the notifications (e.g. port unreachable), for the
  // next receive.
  int pendingDatagramError = 0;
};

using EntryPtr = std::shared_ptr<SocketEntry>;

class SocketTable {
 public:
  // Process-wide and never destroyed: lookup threads and other threads' queues
  // may still reach it while the process exits.
  static SocketTable& Instance();

  // Guards the table and the mutable fields of every entry.
  std::mutex& Mutex() { return mutex_; }

  ws::SOCKET Insert(const EntryPtr& entry);
  EntryPtr Find(ws::SOCKET handle);
  // The caller holds Mutex().
  EntryPtr FindLocked(ws::SOCKET handle) const;
  // Removes the entry; nothing will be posted for the handle afterwards.
  EntryPtr Take(ws::SOCKET handle);
  std::vector<EntryPtr> TakeAll();
  // The caller holds Mutex().
  template <typename Visit>
  void ForEachLocked(Visit&& visit) {
    for (auto& [handle, entry] : entries_) visit(*entry);
  }

 private:
  SocketTable() = default;

  std::mutex mutex_;
  std::unordered_map<ws::SOCKET, EntryPtr> entries_;
  ws::SOCKET next_ = 0x100;
};

}  // namespace wsock
