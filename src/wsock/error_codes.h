// The per-thread last error of the socket library and the translation of the
// system's error numbers into Windows Sockets numbers.
#pragma once

#include "wsock/wsock_api.h"

namespace wsock {

void SetLastError(int code);
int LastError();

// Sets the thread's last error and returns SOCKET_ERROR, the usual failure
// result; INVALID_SOCKET-returning calls use FailSocket.
int Fail(int code);
ws::SOCKET FailSocket(int code);

// An errno value as Windows Sockets reports it. EINPROGRESS maps to 10036;
// connect() handles its own in-progress case.
int FromErrno(int error);

// A getaddrinfo/getnameinfo result (with errno for EAI_SYSTEM) as one of the
// resolver errors 11001..11004 (or a socket error for system failures).
int FromResolverError(int eaiCode, int error);

// The error an abortive close is reported with in FD_CLOSE: 10054 for a
// reset, 10053 for every other way the connection died.
int AbortiveCloseError(int error);

}  // namespace wsock
