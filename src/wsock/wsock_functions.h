// The library's functions under C++ names. The exported Windows Sockets names
// (exports.cpp) forward to these; nothing inside the library calls an export,
// so no call can be captured by a C library function of the same name or the
// other way round. Only the interface records are used here, never the
// system's socket headers, whose declarations would clash with the exports.
#pragma once

#include "wsock/wsock_api.h"

namespace wsock {

// startup.cpp
int Startup(std::uint16_t versionRequested, ws::WSAData* data);
int Cleanup();
bool IsStarted();

// socket_calls.cpp
ws::SOCKET Socket(int af, int type, int protocol);
int Bind(ws::SOCKET s, const ws::sockaddr* name, int nameLength);
int Listen(ws::SOCKET s, int backlog);
ws::SOCKET Accept(ws::SOCKET s, ws::sockaddr* address, int* addressLength);
int Connect(ws::SOCKET s, const ws::sockaddr* name, int nameLength);
int CloseSocket(ws::SOCKET s);
int Shutdown(ws::SOCKET s, int how);
int GetSockName(ws::SOCKET s, ws::sockaddr* name, int* nameLength);
int GetPeerName(ws::SOCKET s, ws::sockaddr* name, int* nameLength);
int AsyncSelect(ws::SOCKET s, win::HWND window, unsigned int message, long events);

// data_calls.cpp
int Send(ws::SOCKET s, const char* data, int length, int flags);
int SendTo(ws::SOCKET s, const char* data, int length, int flags, const ws::sockaddr* to,
           int toLength);
int Recv(ws::SOCKET s, char* buffer, int length, int flags);
int RecvFrom(ws::SOCKET s, char* buffer, int length, int flags, ws::sockaddr* from,
             int* fromLength);

// socket_options.cpp
int SetSockOpt(ws::SOCKET s, int level, int option, const char* value, int length);
int IoctlSocket(ws::SOCKET s, long command, ws::u_long* argument);

// address_text.cpp
ws::u_long InetAddr(const char* text);
char* InetNtoa(ws::in_addr address);
ws::u_short HostToNetwork16(ws::u_short value);
ws::u_short NetworkToHost16(ws::u_short value);

// databases.cpp
ws::hostent* GetHostByName(const char* name);
ws::servent* GetServByName(const char* name, const char* protocol);
ws::protoent* GetProtoByName(const char* name);

// async_lookup.cpp
ws::HANDLE AsyncGetHostByName(win::HWND window, unsigned int message, const char* name,
                              char* buffer, int bufferLength);
ws::HANDLE AsyncGetHostByAddr(win::HWND window, unsigned int message, const char* address,
                              int length, int type, char* buffer, int bufferLength);
int CancelAsyncRequest(ws::HANDLE task);
// Cancels every lookup still running (the last WSACleanup).
void CancelAllLookups();

}  // namespace wsock
