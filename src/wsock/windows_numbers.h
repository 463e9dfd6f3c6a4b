// Windows' numbers for the names that the system's socket headers also define,
// as macros (AF_INET, SOL_SOCKET, SO_LINGER, FIONREAD, INADDR_ANY, ...). After
// such a header, `ws::SOL_SOCKET` would read as `ws::1`; code that needs both
// worlds includes this file before any system header and uses these names.
#pragma once

#if defined(AF_INET) || defined(SOL_SOCKET) || defined(FIONREAD) || defined(INADDR_ANY) || \
    defined(TCP_NODELAY)
#error "include wsock/windows_numbers.h before the system's socket headers"
#endif

#include "wsock/wsock_api.h"

namespace wsock::wn {

inline constexpr int kAfInet = ws::AF_INET;
inline constexpr int kPfInet = ws::PF_INET;
inline constexpr ws::u_long kInaddrAny = ws::INADDR_ANY;
inline constexpr ws::u_long kInaddrNone = ws::INADDR_NONE;

inline constexpr int kSolSocket = ws::SOL_SOCKET;
inline constexpr int kSoDebug = ws::SO_DEBUG;
inline constexpr int kSoReuseAddr = ws::SO_REUSEADDR;
inline constexpr int kSoKeepAlive = ws::SO_KEEPALIVE;
inline constexpr int kSoDontRoute = ws::SO_DONTROUTE;
inline constexpr int kSoBroadcast = ws::SO_BROADCAST;
inline constexpr int kSoLinger = ws::SO_LINGER;
inline constexpr int kSoDontLinger = ws::SO_DONTLINGER;
inline constexpr int kSoOobInline = ws::SO_OOBINLINE;
inline constexpr int kSoSndBuf = ws::SO_SNDBUF;
inline constexpr int kSoRcvBuf = ws::SO_RCVBUF;
inline constexpr int kTcpNoDelay = ws::TCP_NODELAY;
inline constexpr int kTcpAckEachReceive = ws::TCP_ACK_EACH_RECEIVE;

inline constexpr long kFionRead = ws::FIONREAD;
inline constexpr long kFionBio = ws::FIONBIO;

}  // namespace wsock::wn
