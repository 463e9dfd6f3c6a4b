// The helper thread behind WSAAsyncSelect: it waits on the selected sockets
// with poll() and posts the notifications to their windows, as Windows does
// from its own helper. Posting happens only under SocketTable::Mutex() and
// only for handles still in the table, so once closesocket has taken a handle
// out nothing more is posted for it.
#pragma once

#include "wsock/socket_table.h"

namespace wsock {

// Starts the helper if it is not running.
void EnsureNotifierRunning();
// Makes the helper look at the table again (an entry's state changed).
void WakeNotifier();
// Stops and joins the helper; the next WSAAsyncSelect starts it again.
void StopNotifier();

// Posts one notification when the entry selects `event`. The caller holds
// SocketTable::Mutex().
void PostSelectEvent(const SocketEntry& entry, long event, int error);

// Completes a non-blocking connect whose outcome the system now knows
// (`pollEvents` from a poll of the descriptor for POLLOUT), latching
// FD_CONNECT. The caller holds SocketTable::Mutex().
void FinishConnectLocked(SocketEntry& entry, short pollEvents);

// Checks, without waiting, whether a connect under way has finished. The
// caller holds SocketTable::Mutex().
void RefreshConnectLocked(SocketEntry& entry);

}  // namespace wsock
