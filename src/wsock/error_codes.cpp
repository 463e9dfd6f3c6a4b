// Error numbers: Windows Sockets keeps its own numbering (10000 plus the BSD
// number, and 11001..11004 for the resolver) and a last error per thread.
#include "wsock/error_codes.h"

#include <netdb.h>

#include <cerrno>

namespace wsock {

namespace {
thread_local int tLastError = 0;
}

void SetLastError(int code) { tLastError = code; }
int LastError() { return tLastError; }

int Fail(int code) {
  SetLastError(code);
  return ws::SOCKET_ERROR;
}

ws::SOCKET FailSocket(int code) {
  SetLastError(code);
  return ws::INVALID_SOCKET;
}

int FromErrno(int error) {
  switch (error) {
    case 0:
      return 0;
    case EINTR:
      return ws::WSAEINTR;
    case EBADF:
      return ws::WSAENOTSOCK;
    case EACCES:
    case EPERM:
      return ws::WSAEACCES;
    case EFAULT:
      return ws::WSAEFAULT;
    case EINVAL:
      return ws::WSAEINVAL;
    case EMFILE:
    case ENFILE:
      return ws::WSAEMFILE;
    case EAGAIN:
      return ws::WSAEWOULDBLOCK;
    case EINPROGRESS:
      return ws::WSAEINPROGRESS;
    case EALREADY:
      return ws::WSAEALREADY;
    case ENOTSOCK:
      return ws::WSAENOTSOCK;
    case EDESTADDRREQ:
      return ws::WSAEDESTADDRREQ;
    case EMSGSIZE:
      return ws::WSAEMSGSIZE;
    case EPROTOTYPE:
      return ws::WSAEPROTOTYPE;
    case ENOPROTOOPT:
      return ws::WSAENOPROTOOPT;
    case EPROTONOSUPPORT:
      return ws::WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT:
      return ws::WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP:
      return ws::WSAEOPNOTSUPP;
    case EPFNOSUPPORT:
      return ws::WSAEPFNOSUPPORT;
    case EAFNOSUPPORT:
      return ws::WSAEAFNOSUPPORT;
    case EADDRINUSE:
      return ws::WSAEADDRINUSE;
    case EADDRNOTAVAIL:
      return ws::WSAEADDRNOTAVAIL;
    case ENETDOWN:
      return ws::WSAENETDOWN;
    case ENETUNREACH:
      return ws::WSAENETUNREACH;
    case ENETRESET:
      return ws::WSAENETRESET;
    case ECONNABORTED:
      return ws::WSAECONNABORTED;
    case ECONNRESET:
      return ws::WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM:
      return ws::WSAENOBUFS;
    case EISCONN:
      return ws::WSAEISCONN;
    case ENOTCONN:
      return ws::WSAENOTCONN;
    case ESHUTDOWN:
    case EPIPE:
      return ws::WSAESHUTDOWN;
    case ETOOMANYREFS:
      return ws::WSAETOOMANYREFS;
    case ETIMEDOUT:
      return ws::WSAETIMEDOUT;
    case ECONNREFUSED:
      return ws::WSAECONNREFUSED;
    case ELOOP:
      return ws::WSAELOOP;
    case ENAMETOOLONG:
      return ws::WSAENAMETOOLONG;
    case EHOSTDOWN:
      return ws::WSAEHOSTDOWN;
    case EHOSTUNREACH:
      return ws::WSAEHOSTUNREACH;
    default:
      return ws::WSAEINVAL;
  }
}

int FromResolverError(int eaiCode, int error) {
  switch (eaiCode) {
    case 0:
      return 0;
    case EAI_NONAME:
      return ws::WSAHOST_NOT_FOUND;
    case EAI_AGAIN:
      return ws::WSATRY_AGAIN;
    case EAI_FAIL:
      return ws::WSANO_RECOVERY;
#ifdef EAI_NODATA
    case EAI_NODATA:
      return ws::WSANO_DATA;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
      return ws::WSANO_DATA;
#endif
    case EAI_MEMORY:
      return ws::WSAENOBUFS;
    case EAI_SYSTEM:
      return FromErrno(error);
    default:
      return ws::WSANO_RECOVERY;
  }
}

int AbortiveCloseError(int error) {
  return error == ECONNRESET ? ws::WSAECONNRESET : ws::WSAECONNABORTED;
}

}  // namespace wsock
