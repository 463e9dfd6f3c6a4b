// The interface of the socket stand-in library: the records, constants and
// calling shapes of Windows Sockets 1.1, as the socket layer sees them. The
// library exports its functions under their Windows Sockets names (socket,
// connect, send, ...); callers fetch them by name at run time and call them
// through the pointer types below. This header declares no functions, but its
// constants share their names with the C library's socket macros (AF_INET,
// SOL_SOCKET, FIONBIO, ...): include it only in files that keep the system's
// socket headers out.
#pragma once

#include <cstdint>

#include "platform/window_messages.h"

namespace ws {

using SOCKET = std::uintptr_t;
using u_short = std::uint16_t;
using u_long = std::uint32_t;
using HANDLE = std::uintptr_t;  // task handle of an asynchronous lookup; never 0

constexpr SOCKET INVALID_SOCKET = ~static_cast<SOCKET>(0);
constexpr int SOCKET_ERROR = -1;

constexpr int AF_INET = 2;
constexpr int PF_INET = 2;
constexpr int SOCK_STREAM = 1;
constexpr int SOCK_DGRAM = 2;
constexpr int SOCK_RAW = 3;
constexpr int IPPROTO_IP = 0;
constexpr int IPPROTO_ICMP = 1;
constexpr int IPPROTO_TCP = 6;
constexpr int IPPROTO_UDP = 17;

constexpr u_long INADDR_ANY = 0x00000000;
constexpr u_long INADDR_NONE = 0xFFFFFFFF;
constexpr u_long INADDR_BROADCAST = 0xFFFFFFFF;

constexpr int SOL_SOCKET = 0xFFFF;
constexpr int SO_DEBUG = 0x0001;
constexpr int SO_REUSEADDR = 0x0004;
constexpr int SO_KEEPALIVE = 0x0008;
constexpr int SO_DONTROUTE = 0x0010;
constexpr int SO_BROADCAST = 0x0020;
constexpr int SO_LINGER = 0x0080;
constexpr int SO_OOBINLINE = 0x0100;
constexpr int SO_SNDBUF = 0x1001;
constexpr int SO_RCVBUF = 0x1002;
constexpr int SO_ERROR = 0x1007;
constexpr int SO_TYPE = 0x1008;
constexpr int SO_DONTLINGER = ~SO_LINGER;

constexpr int TCP_NODELAY = 0x0001;
// The stand-in's own option, with no counterpart in the interface it stands
// in for: a connection that acknowledges what each receive took at once,
// rather than delaying the acknowledgement. For a peer that holds a small
// write back until the one before it has been acknowledged (a proxy that
// relays piece by piece), which would otherwise wait for our delay each time.
constexpr int TCP_ACK_EACH_RECEIVE = 0x7001;

constexpr int MSG_OOB = 0x1;
constexpr int MSG_PEEK = 0x2;
constexpr int MSG_DONTROUTE = 0x4;

constexpr long FIONREAD = 0x4004667F;
constexpr long FIONBIO = static_cast<long>(0x8004667E);

// shutdown() directions.
constexpr int SD_RECEIVE = 0;
constexpr int SD_SEND = 1;
constexpr int SD_BOTH = 2;

// WSAAsyncSelect event bits.
constexpr long FD_READ = 0x01;
constexpr long FD_WRITE = 0x02;
constexpr long FD_OOB = 0x04;
constexpr long FD_ACCEPT = 0x08;
constexpr long FD_CONNECT = 0x10;
constexpr long FD_CLOSE = 0x20;

constexpr int MAXGETHOSTSTRUCT = 1024;
constexpr int WSADESCRIPTION_LEN = 256;
constexpr int WSASYS_STATUS_LEN = 128;

// Error numbers.
constexpr int WSABASEERR = 10000;
constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAEALREADY = 10037;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEDESTADDRREQ = 10039;
constexpr int WSAEMSGSIZE = 10040;
constexpr int WSAEPROTOTYPE = 10041;
constexpr int WSAENOPROTOOPT = 10042;
constexpr int WSAEPROTONOSUPPORT = 10043;
constexpr int WSAESOCKTNOSUPPORT = 10044;
constexpr int WSAEOPNOTSUPP = 10045;
constexpr int WSAEPFNOSUPPORT = 10046;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAENETRESET = 10052;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETOOMANYREFS = 10059;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAELOOP = 10062;
constexpr int WSAENAMETOOLONG = 10063;
constexpr int WSAEHOSTDOWN = 10064;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSASYSNOTREADY = 10091;
constexpr int WSAVERNOTSUPPORTED = 10092;
constexpr int WSANOTINITIALISED = 10093;
constexpr int WSAHOST_NOT_FOUND = 11001;
constexpr int WSATRY_AGAIN = 11002;
constexpr int WSANO_RECOVERY = 11003;
constexpr int WSANO_DATA = 11004;

// Notification lParam: event in the low 16 bits, error in the high 16 bits.
constexpr long WSAMAKESELECTREPLY(long event, long error) { return (event & 0xFFFF) | (error << 16); }
constexpr int WSAGETSELECTEVENT(win::LPARAM lParam) { return static_cast<int>(lParam & 0xFFFF); }
constexpr int WSAGETSELECTERROR(win::LPARAM lParam) { return static_cast<int>((lParam >> 16) & 0xFFFF); }
// Lookup completion lParam: buffer length needed in the low 16 bits, error high.
constexpr int WSAGETASYNCBUFLEN(win::LPARAM lParam) { return static_cast<int>(lParam & 0xFFFF); }
constexpr int WSAGETASYNCERROR(win::LPARAM lParam) { return static_cast<int>((lParam >> 16) & 0xFFFF); }

// Records, laid out as Windows Sockets lays them out (addresses and ports in
// network byte order).
struct in_addr {
  u_long s_addr;
};

struct sockaddr {
  u_short sa_family;
  char sa_data[14];
};

struct sockaddr_in {
  std::int16_t sin_family;
  u_short sin_port;
  struct in_addr sin_addr;
  char sin_zero[8];
};
static_assert(sizeof(sockaddr_in) == 16);
static_assert(sizeof(sockaddr) == 16);

struct linger {
  u_short l_onoff;
  u_short l_linger;
};

struct hostent {
  char* h_name;
  char** h_aliases;
  std::int16_t h_addrtype;
  std::int16_t h_length;
  char** h_addr_list;
};

struct servent {
  char* s_name;
  char** s_aliases;
  std::int16_t s_port;
  char* s_proto;
};

struct protoent {
  char* p_name;
  char** p_aliases;
  std::int16_t p_proto;
};

struct WSAData {
  std::uint16_t wVersion;
  std::uint16_t wHighVersion;
  char szDescription[WSADESCRIPTION_LEN + 1];
  char szSystemStatus[WSASYS_STATUS_LEN + 1];
  std::uint16_t iMaxSockets;
  std::uint16_t iMaxUdpDg;
  char* lpVendorInfo;
};

// Calling shapes of the 30 exported functions, fetched by these names.
using PFN_WSAStartup = int (*)(std::uint16_t versionRequested, WSAData* data);
using PFN_WSACleanup = int (*)();
using PFN_WSASetLastError = void (*)(int error);
using PFN_WSAGetLastError = int (*)();
using PFN_WSACancelAsyncRequest = int (*)(HANDLE task);
using PFN_WSAAsyncGetHostByName = HANDLE (*)(win::HWND window, unsigned int message,
                                             const char* name, char* buffer, int bufferLength);
using PFN_WSAAsyncGetHostByAddr = HANDLE (*)(win::HWND window, unsigned int message,
                                             const char* addr, int length, int type, char* buffer,
                                             int bufferLength);
using PFN_WSAAsyncSelect = int (*)(SOCKET s, win::HWND window, unsigned int message, long events);
using PFN_getservbyname = servent* (*)(const char* name, const char* proto);
using PFN_getprotobyname = protoent* (*)(const char* name);
using PFN_gethostbyname = hostent* (*)(const char* name);
using PFN_socket = SOCKET (*)(int af, int type, int protocol);
using PFN_shutdown = int (*)(SOCKET s, int how);
using PFN_setsockopt = int (*)(SOCKET s, int level, int optname, const char* optval, int optlen);
using PFN_sendto = int (*)(SOCKET s, const char* buf, int len, int flags, const sockaddr* to,
                           int tolen);
using PFN_send = int (*)(SOCKET s, const char* buf, int len, int flags);
using PFN_recv = int (*)(SOCKET s, char* buf, int len, int flags);
using PFN_recvfrom = int (*)(SOCKET s, char* buf, int len, int flags, sockaddr* from,
                             int* fromlen);
using PFN_ntohs = u_short (*)(u_short netshort);
using PFN_listen = int (*)(SOCKET s, int backlog);
using PFN_ioctlsocket = int (*)(SOCKET s, long cmd, u_long* argp);
using PFN_inet_ntoa = char* (*)(in_addr in);
using PFN_inet_addr = u_long (*)(const char* cp);
using PFN_htons = u_short (*)(u_short hostshort);
using PFN_getsockname = int (*)(SOCKET s, sockaddr* name, int* namelen);
using PFN_getpeername = int (*)(SOCKET s, sockaddr* name, int* namelen);
using PFN_connect = int (*)(SOCKET s, const sockaddr* name, int namelen);
using PFN_closesocket = int (*)(SOCKET s);
using PFN_bind = int (*)(SOCKET s, const sockaddr* name, int namelen);
using PFN_accept = SOCKET (*)(SOCKET s, sockaddr* addr, int* addrlen);

// The 30 export names in one list, so the library, its loader and its tests
// cannot drift apart: X(name) is expanded once for each.
#define WS_FOR_EACH_EXPORT(X)                                                                   \
  X(WSAStartup) X(WSACleanup) X(WSASetLastError) X(WSAGetLastError) X(WSACancelAsyncRequest)    \
  X(WSAAsyncGetHostByName) X(WSAAsyncGetHostByAddr) X(WSAAsyncSelect) X(getservbyname)          \
  X(getprotobyname) X(gethostbyname) X(socket) X(shutdown) X(setsockopt) X(sendto) X(send)      \
  X(recv) X(recvfrom) X(ntohs) X(listen) X(ioctlsocket) X(inet_ntoa) X(inet_addr) X(htons)      \
  X(getsockname) X(getpeername) X(connect) X(closesocket) X(bind) X(accept)

// File name of the library, found in the program's own folder.
constexpr const char* kLibraryFileName = "libvantrel_wsock.so";

}  // namespace ws
