// The 30 functions the library exports, under their Windows Sockets names.
// Callers look them up by name in the loaded library and call them through
// the PFN_ types; each one forwards to the library's own C++ function. No
// system socket header may be included here: it declares the C library's
// functions of the same names with other signatures.
#include <type_traits>

#include "wsock/error_codes.h"
#include "wsock/wsock_api.h"
#include "wsock/wsock_functions.h"

#define WSOCK_EXPORT extern "C" __attribute__((visibility("default")))

WSOCK_EXPORT int WSAStartup(std::uint16_t versionRequested, ws::WSAData* data) {
  return wsock::Startup(versionRequested, data);
}
WSOCK_EXPORT int WSACleanup() { return wsock::Cleanup(); }
WSOCK_EXPORT void WSASetLastError(int error) { wsock::SetLastError(error); }
WSOCK_EXPORT int WSAGetLastError() { return wsock::LastError(); }
WSOCK_EXPORT int WSACancelAsyncRequest(ws::HANDLE task) { return wsock::CancelAsyncRequest(task); }
WSOCK_EXPORT ws::HANDLE WSAAsyncGetHostByName(win::HWND window, unsigned int message,
                                              const char* name, char* buffer, int bufferLength) {
  return wsock::AsyncGetHostByName(window, message, name, buffer, bufferLength);
}
WSOCK_EXPORT ws::HANDLE WSAAsyncGetHostByAddr(win::HWND window, unsigned int message,
                                              const char* addr, int length, int type, char* buffer,
                                              int bufferLength) {
  return wsock::AsyncGetHostByAddr(window, message, addr, length, type, buffer, bufferLength);
}
WSOCK_EXPORT int WSAAsyncSelect(ws::SOCKET s, win::HWND window, unsigned int message, long events) {
  return wsock::AsyncSelect(s, window, message, events);
}
WSOCK_EXPORT ws::servent* getservbyname(const char* name, const char* proto) {
  return wsock::GetServByName(name, proto);
}
WSOCK_EXPORT ws::protoent* getprotobyname(const char* name) { return wsock::GetProtoByName(name); }
WSOCK_EXPORT ws::hostent* gethostbyname(const char* name) { return wsock::GetHostByName(name); }
WSOCK_EXPORT ws::SOCKET socket(int af, int type, int protocol) {
  return wsock::Socket(af, type, protocol);
}
WSOCK_EXPORT int shutdown(ws::SOCKET s, int how) { return wsock::Shutdown(s, how); }
WSOCK_EXPORT int setsockopt(ws::SOCKET s, int level, int optname, const char* optval, int optlen) {
  return wsock::SetSockOpt(s, level, optname, optval, optlen);
}
WSOCK_EXPORT int sendto(ws::SOCKET s, const char* buf, int len, int flags, const ws::sockaddr* to,
                        int tolen) {
  return wsock::SendTo(s, buf, len, flags, to, tolen);
}
WSOCK_EXPORT int send(ws::SOCKET s, const char* buf, int len, int flags) {
  return wsock::Send(s, buf, len, flags);
}
WSOCK_EXPORT int recv(ws::SOCKET s, char* buf, int len, int flags) {
  return wsock::Recv(s, buf, len, flags);
}
WSOCK_EXPORT int recvfrom(ws::SOCKET s, char* buf, int len, int flags, ws::sockaddr* from,
                          int* fromlen) {
  return wsock::RecvFrom(s, buf, len, flags, from, fromlen);
}
WSOCK_EXPORT ws::u_short ntohs(ws::u_short netshort) { return wsock::NetworkToHost16(netshort); }
WSOCK_EXPORT int listen(ws::SOCKET s, int backlog) { return wsock::Listen(s, backlog); }
WSOCK_EXPORT int ioctlsocket(ws::SOCKET s, long cmd, ws::u_long* argp) {
  return wsock::IoctlSocket(s, cmd, argp);
}
WSOCK_EXPORT char* inet_ntoa(ws::in_addr in) { return wsock::InetNtoa(in); }
WSOCK_EXPORT ws::u_long inet_addr(const char* cp) { return wsock::InetAddr(cp); }
WSOCK_EXPORT ws::u_short htons(ws::u_short hostshort) { return wsock::HostToNetwork16(hostshort); }
WSOCK_EXPORT int getsockname(ws::SOCKET s, ws::sockaddr* name, int* namelen) {
  return wsock::GetSockName(s, name, namelen);
}
WSOCK_EXPORT int getpeername(ws::SOCKET s, ws::sockaddr* name, int* namelen) {
  return wsock::GetPeerName(s, name, namelen);
}
WSOCK_EXPORT int connect(ws::SOCKET s, const ws::sockaddr* name, int namelen) {
  return wsock::Connect(s, name, namelen);
}
WSOCK_EXPORT int closesocket(ws::SOCKET s) { return wsock::CloseSocket(s); }
WSOCK_EXPORT int bind(ws::SOCKET s, const ws::sockaddr* name, int namelen) {
  return wsock::Bind(s, name, namelen);
}
WSOCK_EXPORT ws::SOCKET accept(ws::SOCKET s, ws::sockaddr* addr, int* addrlen) {
  return wsock::Accept(s, addr, addrlen);
}

// The exports must keep the calling shapes the callers cast them to.
#define WSOCK_CHECK_SHAPE(name) static_assert(std::is_same_v<decltype(&name), ws::PFN_##name>);
WS_FOR_EACH_EXPORT(WSOCK_CHECK_SHAPE)
#undef WSOCK_CHECK_SHAPE
