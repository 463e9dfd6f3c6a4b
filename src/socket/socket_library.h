// Run-time binding to the socket stand-in library. Nothing of the library is
// touched before the first socket call; the library is loaded from the
// program's own folder, started once, and each entry point is fetched by name
// the first time it is used and kept until the library is unloaded again.
//
// The calls below have the argument lists of Windows Sockets 1.1 and go
// straight to the kept address after their first use.
#pragma once

#include <cstdint>
#include <string>

#include "wsock/wsock_api.h"

namespace net {

// Loads and starts the library when needed, then returns the named export;
// an empty name only loads. Raises ESocketException when the library, its
// start-up or the export fails.
void* LoadSocketProc(const std::string& name);

// Stops and unloads the library and forgets every kept address. Harmless when
// nothing is loaded.
void UnloadSocketLibrary();

bool SocketLibraryLoaded();

// The file loaded on the next load: by default the stand-in library beside the
// program, or in the library folder of the installed tree it belongs to.
// Tests point it elsewhere; an empty path restores the default. Takes effect at
// the next load.
void SetSocketLibraryPath(const std::string& path);
std::string SocketLibraryPath();

// The English text of a socket error code.
std::string SocketErrorText(std::int32_t code);

namespace winsock {

int WSAStartup(std::uint16_t versionRequested, ws::WSAData* data);
int WSACleanup();
void WSASetLastError(int error);
int WSAGetLastError();
int WSACancelAsyncRequest(ws::HANDLE task);
ws::HANDLE WSAAsyncGetHostByName(win::HWND window, unsigned int message, const char* name,
                                 char* buffer, int bufferLength);
ws::HANDLE WSAAsyncGetHostByAddr(win::HWND window, unsigned int message, const char* addr,
                                 int length, int type, char* buffer, int bufferLength);
int WSAAsyncSelect(ws::SOCKET s, win::HWND window, unsigned int message, long events);
ws::servent* getservbyname(const char* name, const char* proto);
ws::protoent* getprotobyname(const char* name);
ws::hostent* gethostbyname(const char* name);
ws::SOCKET socket(int af, int type, int protocol);
int shutdown(ws::SOCKET s, int how);
int setsockopt(ws::SOCKET s, int level, int optname, const char* optval, int optlen);
int sendto(ws::SOCKET s, const char* buf, int len, int flags, const ws::sockaddr* to, int tolen);
int send(ws::SOCKET s, const char* buf, int len, int flags);
int recv(ws::SOCKET s, char* buf, int len, int flags);
int recvfrom(ws::SOCKET s, char* buf, int len, int flags, ws::sockaddr* from, int* fromlen);
ws::u_short ntohs(ws::u_short netshort);
int listen(ws::SOCKET s, int backlog);
int ioctlsocket(ws::SOCKET s, long cmd, ws::u_long* argp);
char* inet_ntoa(ws::in_addr in);
ws::u_long inet_addr(const char* cp);
ws::u_short htons(ws::u_short hostshort);
int getsockname(ws::SOCKET s, ws::sockaddr* name, int* namelen);
int getpeername(ws::SOCKET s, ws::sockaddr* name, int* namelen);
int connect(ws::SOCKET s, const ws::sockaddr* name, int namelen);
int closesocket(ws::SOCKET s);
int bind(ws::SOCKET s, const ws::sockaddr* name, int namelen);
ws::SOCKET accept(ws::SOCKET s, ws::sockaddr* addr, int* addrlen);

}  // namespace winsock
}  // namespace net
