// The socket stand-in library is bound late: a program that never opens a
// socket never loads it, and it goes away with the last socket object. Entry
// points are looked up once and kept, so only the first call pays for the
// name lookup.
#include "socket/socket_library.h"

#include <map>

#include "platform/install_layout.h"
#include "platform/system.h"
#include "socket/format_text.h"
#include "socket/socket_exception.h"

namespace net {
namespace {

struct EntryPoints {
#define VANTREL_ENTRY_SLOT(name) ws::PFN_##name name = nullptr;
  WS_FOR_EACH_EXPORT(VANTREL_ENTRY_SLOT)
#undef VANTREL_ENTRY_SLOT
};

platform::HMODULE gLibrary = nullptr;
ws::WSAData gStartupData = {};
EntryPoints gEntries;
std::string gLibraryPath;  // empty: the stand-in of the program's own tree

std::string LibraryFileName() {
  const std::string path = SocketLibraryPath();
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

template <typename Fn>
Fn Entry(Fn& slot, const char* name) {
  if (slot == nullptr) slot = reinterpret_cast<Fn>(LoadSocketProc(name));
  return slot;
}

// Unloads at program end, should a socket object outlive everything else.
struct UnloadAtExit {
  ~UnloadAtExit() { UnloadSocketLibrary(); }
} gUnloadAtExit;

}  // namespace

void* LoadSocketProc(const std::string& name) {
  if (gLibrary == nullptr) {
    gLibrary = platform::LoadLibrary(SocketLibraryPath());
    if (gLibrary == nullptr) {
      throw ESocketException("Unable to load " + LibraryFileName() + " Error #" +
                             std::to_string(platform::GetLastError()));
    }
    // The library stays loaded even when it refuses to start, so a later call
    // does not start it a second time.
    const int result = winsock::WSAStartup(0x0101, &gStartupData);
    if (result != 0) {
      throw ESocketException(
          FormatText("%s: WSAStartup error #%d", {LibraryFileName(), std::to_string(result)}));
    }
  }
  if (name.empty()) return nullptr;
  void* address = platform::GetProcAddress(gLibrary, name);
  if (address == nullptr) {
    throw ESocketException("Procedure " + name + " not found in " + LibraryFileName() + " Error #" +
                           std::to_string(platform::GetLastError()));
  }
  return address;
}

void UnloadSocketLibrary() {
  if (gLibrary == nullptr) return;
  if (gEntries.WSACleanup == nullptr) {
    gEntries.WSACleanup =
        reinterpret_cast<ws::PFN_WSACleanup>(platform::GetProcAddress(gLibrary, "WSACleanup"));
  }
  if (gEntries.WSACleanup != nullptr) gEntries.WSACleanup();
  platform::FreeLibrary(gLibrary);
  gLibrary = nullptr;
  gEntries = EntryPoints{};
}

bool SocketLibraryLoaded() { return gLibrary != nullptr; }

void SetSocketLibraryPath(const std::string& path) { gLibraryPath = path; }

std::string SocketLibraryPath() {
  if (!gLibraryPath.empty()) return gLibraryPath;
  return platform::ProgramLibraryPath(ws::kLibraryFileName);
}

std::string SocketErrorText(std::int32_t code) {
  static const std::map<std::int32_t, const char*> kTexts = {
      {0, "No Error"},
      {10004, "Interrupted system call"},
      {10009, "Bad file number"},
      {10013, "Permission denied"},
      {10014, "Bad address"},
      {10022, "Invalid argument"},
      {10024, "Too many open files"},
      {10035, "Operation would block"},
      {10036, "Operation now in progress"},
      {10037, "Operation already in progress"},
      {10038, "Socket operation on non-socket"},
      {10039, "Destination address required"},
      {10040, "Message too long"},
      {10041, "Protocol wrong type for socket"},
      {10042, "Protocol not available"},
      {10043, "Protocol not supported"},
      {10044, "Socket type not supported"},
      {10045, "Operation not supported on socket"},
      {10046, "Protocol family not supported"},
      {10047, "Address family not supported by protocol family"},
      {10048, "Address already in use"},
      {10049, "Address not available"},
      {10050, "Network is down"},
      {10051, "Network is unreachable"},
      {10052, "Network dropped connection on reset"},
      {10053, "Connection aborted"},
      {10054, "Connection reset by peer"},
      {10055, "No buffer space available"},
      {10056, "Socket is already connected"},
      {10057, "Socket is not connected"},
      {10058, "Can't send after socket shutdown"},
      {10059, "Too many references: can't splice"},
      {10060, "Connection timed out"},
      {10061, "Connection refused"},
      {10062, "Too many levels of symbolic links"},
      {10063, "File name too long"},
      {10064, "Host is down"},
      {10065, "No route to host"},
      {10066, "Directory not empty"},
      {10067, "Too many processes"},
      {10068, "Too many users"},
      {10069, "Disc quota exceeded"},
      {10070, "Stale NFS file handle"},
      {10071, "Too many levels of remote in path"},
      {10091, "Network sub-system is unusable"},
      {10092, "WinSock DLL cannot support this application"},
      {10093, "WinSock not initialized"},
      {11001, "Host not found"},
      {11002, "Non-authoritative host not found"},
      {11003, "Non-recoverable error"},
      {11004, "No Data"},
  };
  const auto found = kTexts.find(code);
  return found == kTexts.end() ? "Not a WinSock error" : found->second;
}

namespace winsock {

#define VANTREL_ENTRY(name) Entry(gEntries.name, #name)

int WSAStartup(std::uint16_t versionRequested, ws::WSAData* data) {
  return VANTREL_ENTRY(WSAStartup)(versionRequested, data);
}
int WSACleanup() { return VANTREL_ENTRY(WSACleanup)(); }
void WSASetLastError(int error) { VANTREL_ENTRY(WSASetLastError)(error); }
int WSAGetLastError() { return VANTREL_ENTRY(WSAGetLastError)(); }
int WSACancelAsyncRequest(ws::HANDLE task) { return VANTREL_ENTRY(WSACancelAsyncRequest)(task); }
ws::HANDLE WSAAsyncGetHostByName(win::HWND window, unsigned int message, const char* name,
                                 char* buffer, int bufferLength) {
  return VANTREL_ENTRY(WSAAsyncGetHostByName)(window, message, name, buffer, bufferLength);
}
ws::HANDLE WSAAsyncGetHostByAddr(win::HWND window, unsigned int message, const char* addr,
                                 int length, int type, char* buffer, int bufferLength) {
  return VANTREL_ENTRY(WSAAsyncGetHostByAddr)(window, message, addr, length, type, buffer,
                                              bufferLength);
}
int WSAAsyncSelect(ws::SOCKET s, win::HWND window, unsigned int message, long events) {
  return VANTREL_ENTRY(WSAAsyncSelect)(s, window, message, events);
}
ws::servent* getservbyname(const char* name, const char* proto) {
  return VANTREL_ENTRY(getservbyname)(name, proto);
}
ws::protoent* getprotobyname(const char* name) { return VANTREL_ENTRY(getprotobyname)(name); }
ws::hostent* gethostbyname(const char* name) { return VANTREL_ENTRY(gethostbyname)(name); }
ws::SOCKET socket(int af, int type, int protocol) {
  return VANTREL_ENTRY(socket)(af, type, protocol);
}
int shutdown(ws::SOCKET s, int how) { return VANTREL_ENTRY(shutdown)(s, how); }
int setsockopt(ws::SOCKET s, int level, int optname, const char* optval, int optlen) {
  return VANTREL_ENTRY(setsockopt)(s, level, optname, optval, optlen);
}
int sendto(ws::SOCKET s, const char* buf, int len, int flags, const ws::sockaddr* to, int tolen) {
  return VANTREL_ENTRY(sendto)(s, buf, len, flags, to, tolen);
}
int send(ws::SOCKET s, const char* buf, int len, int flags) {
  return VANTREL_ENTRY(send)(s, buf, len, flags);
}
int recv(ws::SOCKET s, char* buf, int len, int flags) {
  return VANTREL_ENTRY(recv)(s, buf, len, flags);
}
int recvfrom(ws::SOCKET s, char* buf, int len, int flags, ws::sockaddr* from, int* fromlen) {
  return VANTREL_ENTRY(recvfrom)(s, buf, len, flags, from, fromlen);
}
ws::u_short ntohs(ws::u_short netshort) { return VANTREL_ENTRY(ntohs)(netshort); }
int listen(ws::SOCKET s, int backlog) { return VANTREL_ENTRY(listen)(s, backlog); }
int ioctlsocket(ws::SOCKET s, long cmd, ws::u_long* argp) {
  return VANTREL_ENTRY(ioctlsocket)(s, cmd, argp);
}
char* inet_ntoa(ws::in_addr in) { return VANTREL_ENTRY(inet_ntoa)(in); }
ws::u_long inet_addr(const char* cp) { return VANTREL_ENTRY(inet_addr)(cp); }
ws::u_short htons(ws::u_short hostshort) { return VANTREL_ENTRY(htons)(hostshort); }
int getsockname(ws::SOCKET s, ws::sockaddr* name, int* namelen) {
  return VANTREL_ENTRY(getsockname)(s, name, namelen);
}
int getpeername(ws::SOCKET s, ws::sockaddr* name, int* namelen) {
  return VANTREL_ENTRY(getpeername)(s, name, namelen);
}
int connect(ws::SOCKET s, const ws::sockaddr* name, int namelen) {
  return VANTREL_ENTRY(connect)(s, name, namelen);
}
int closesocket(ws::SOCKET s) { return VANTREL_ENTRY(closesocket)(s); }
int bind(ws::SOCKET s, const ws::sockaddr* name, int namelen) {
  return VANTREL_ENTRY(bind)(s, name, namelen);
}
ws::SOCKET accept(ws::SOCKET s, ws::sockaddr* addr, int* addrlen) {
  return VANTREL_ENTRY(accept)(s, addr, addrlen);
}

#undef VANTREL_ENTRY

}  // namespace winsock
}  // namespace net
