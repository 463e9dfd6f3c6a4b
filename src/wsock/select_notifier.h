// WSAAsyncSelect without a helper thread: each selected socket is watched in
// the queue of the thread that owns its window, and that thread, when it looks
// at its queue, turns what the system reports into the notifications, as
// Windows does from its own side. Posting happens only under
// SocketTable::Mutex() and only for handles still in the table, so once
// closesocket has taken a handle out nothing more is posted for it.
#pragma once

#include "wsock/socket_table.h"

namespace wsock {

// Hands the queues the stand-in's readiness source (once per process).
void EnsureReadinessSource();

// The entry's state changed (armed, connected, shut, selected): posts what is
// due for it and brings its watch up to date, on whatever thread this runs.
// The caller does not hold SocketTable::Mutex().
void EntryChanged(SocketEntry& entry);

// Posts one notification when the entry selects `event`. The caller holds
// SocketTable::Mutex().
void PostSelectEvent(const SocketEntry& entry, long event, int error);

// Posts FD_READ for bytes read ahead, when it is armed and the connection can
// still be read: at once, or, inside a handler on the thread the entry's
// window belongs to, from the look at the queue that follows the handler
// (the bytes are no news to the system, so nothing else would post it). The
// caller holds SocketTable::Mutex().
void PostReadAheadLocked(SocketEntry& entry);

// Inside a handler on the thread that owns the entry's window, the round of
// that handler: a count of the looks at the thread's queue, never 0, which
// changes with the look that ends the round. 0 anywhere else. The caller
// holds SocketTable::Mutex().
std::uint64_t HandlerRoundLocked(const SocketEntry& entry);

// Completes a non-blocking connect whose outcome the system now knows
// (`pollEvents` from a poll of the descriptor for POLLOUT), latching
// FD_CONNECT. The caller holds SocketTable::Mutex().
void FinishConnectLocked(SocketEntry& entry, short pollEvents);

// Checks, without waiting, whether a connect under way has finished. The
// caller holds SocketTable::Mutex().
void RefreshConnectLocked(SocketEntry& entry);

}  // namespace wsock
