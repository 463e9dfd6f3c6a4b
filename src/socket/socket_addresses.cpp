// The socket's address texts, its asynchronous host lookups and the queries
// of the addresses an open socket uses.
#include <algorithm>
#include <cstring>

#include "socket/custom_async_socket.h"
#include "socket/socket_library.h"
#include "socket/socket_resolve.h"

namespace net {
namespace {

constexpr int kMaxLookupResults = 256;
constexpr int kAddressRecordSize = static_cast<int>(sizeof(ws::sockaddr_in));

// The resolver fills the host entry buffer with a hostent and the data it
// points to. Nothing is trusted: every pointer must lead back into the buffer
// with room for what is read there, or reading stops.
class HostEntryReader {
 public:
  HostEntryReader(const char* buffer, std::size_t size) : begin_(buffer), end_(buffer + size) {}

  bool Entry(ws::hostent& entry) const {
    if (sizeof entry > Size()) return false;
    std::memcpy(&entry, begin_, sizeof entry);
    return true;
  }

  // The zero-terminated text at `p`, cut at the end of the buffer.
  bool Text(const char* p, std::string& text) const {
    if (!Inside(p, 1)) return false;
    const std::size_t room = static_cast<std::size_t>(end_ - p);
    const void* nul = std::memchr(p, 0, room);
    text.assign(p, nul != nullptr ? static_cast<const char*>(nul) - p : room);
    return true;
  }

  // The `index`th pointer of the pointer list at `list`; false past the end of
  // the buffer.
  bool ListItem(char** list, int index, const char*& item) const {
    const char* slot =
        reinterpret_cast<const char*>(list) + static_cast<std::size_t>(index) * sizeof(char*);
    if (!Inside(slot, sizeof(char*))) return false;
    std::memcpy(&item, slot, sizeof item);
    return true;
  }

  bool Inside(const char* p, std::size_t length) const {
    const auto at = reinterpret_cast<std::uintptr_t>(p);
    const auto first = reinterpret_cast<std::uintptr_t>(begin_);
    const auto last = reinterpret_cast<std::uintptr_t>(end_);
    return at >= first && at <= last && length <= last - at;
  }

 private:
  std::size_t Size() const { return static_cast<std::size_t>(end_ - begin_); }

  const char* begin_;
  const char* end_;
};

std::string DottedText(std::uint32_t networkAddress) {
  ws::in_addr address{networkAddress};
  const char* text = winsock::inet_ntoa(address);
  return text != nullptr ? text : "";
}

}  // namespace

void TCustomAsyncSocket::AssignWhileClosed(const std::string& value, const char* property,
                                           std::string& text, bool& assigned, bool& resolved) {
  if (assigned && value == text) return;
  if (state_ != wsClosed) {
    RaiseError(std::string("Cannot change ") + property + " if not closed");
    return;
  }
  text = TrimBlanks(value);
  if (text.empty()) {
    assigned = false;
  } else {
    resolved = false;
    assigned = true;
  }
}

void TCustomAsyncSocket::SetAddr(const std::string& value) {
  AssignWhileClosed(value, "Addr", addr_, addrAssigned_, addrResolved_);
}

void TCustomAsyncSocket::SetPort(const std::string& value) {
  AssignWhileClosed(value, "Port", port_, portAssigned_, portResolved_);
}

void TCustomAsyncSocket::SetProto(const std::string& value) {
  AssignWhileClosed(value, "Proto", proto_, protoAssigned_, protoResolved_);
}

void TCustomAsyncSocket::SetLocalPort(const std::string& value) {
  if (state_ != wsClosed) {
    RaiseError("Cannot change LocalPort if not closed");
    return;
  }
  localPort_ = value;
  localPortResolved_ = false;
}

bool TCustomAsyncSocket::BeginDnsLookup(const std::string& request) {
  if (request.empty()) {
    RaiseError("DNS lookup: invalid host name.");
    NotifyDnsLookupDone(ws::WSAEINVAL);
    return false;
  }
  // A lookup still running is superseded silently.
  if (lookupHandle_ != 0) {
    winsock::WSACancelAsyncRequest(lookupHandle_);
    lookupHandle_ = 0;
  }
  dnsResult_.clear();
  dnsResultList_.clear();
  return true;
}

void TCustomAsyncSocket::KeepLookupHandle(const std::string& request, ws::HANDLE handle) {
  lookupHandle_ = handle;
  if (lookupHandle_ == 0) {
    RaiseErrorFmt("%s: can't start DNS lookup, error #%d",
                  {request, std::to_string(winsock::WSAGetLastError())});
  }
}

void TCustomAsyncSocket::DnsLookup(const std::string& hostName) {
  if (!BeginDnsLookup(hostName)) return;
  const ws::u_long address = winsock::inet_addr(hostName.c_str());
  if (address != ws::INADDR_NONE) {
    dnsResult_ = DottedText(address);
    NotifyDnsLookupDone(0);
    return;
  }
  KeepLookupHandle(hostName,
                   winsock::WSAAsyncGetHostByName(window_, WM_ASYNCGETHOSTBYNAME, hostName.c_str(),
                                                  hostEntryBuffer_, kHostEntryBufferSize));
}

void TCustomAsyncSocket::DnsLookupAddr(const std::string& hostAddr) {
  if (!BeginDnsLookup(hostAddr)) return;
  const ws::u_long address = winsock::inet_addr(hostAddr.c_str());
  KeepLookupHandle(hostAddr, winsock::WSAAsyncGetHostByAddr(
                                 window_, WM_ASYNCGETHOSTBYADDR,
                                 reinterpret_cast<const char*>(&address), 4, ws::PF_INET,
                                 hostEntryBuffer_, kHostEntryBufferSize));
}

void TCustomAsyncSocket::CancelDnsLookup() {
  if (lookupHandle_ == 0) return;
  const int result = winsock::WSACancelAsyncRequest(lookupHandle_);
  lookupHandle_ = 0;
  if (result != 0) {
    ReportSocketError("WSACancelAsyncRequest");
    return;
  }
  if (!Destroying()) NotifyDnsLookupDone(ws::WSAEINTR);
}

void TCustomAsyncSocket::CompleteLookup(const TMessage& msg,
                                        const std::function<void()>& readResult) {
  if (msg.WParam != lookupHandle_) return;
  lookupHandle_ = 0;
  const auto error = static_cast<std::uint16_t>(ws::WSAGETASYNCERROR(msg.LParam));
  if (error == 0) readResult();
  NotifyDnsLookupDone(error);
}

void TCustomAsyncSocket::HandleHostByNameDone(TMessage& msg) {
  CompleteLookup(msg, [this] {
    const HostEntryReader reader(hostEntryBuffer_, sizeof hostEntryBuffer_);
    ws::hostent entry{};
    if (reader.Entry(entry) && entry.h_addr_list != nullptr) {
      for (int i = 0; i < kMaxLookupResults; ++i) {
        const char* item = nullptr;
        if (!reader.ListItem(entry.h_addr_list, i, item) || item == nullptr) break;
        if (!reader.Inside(item, sizeof(std::uint32_t))) break;
        std::uint32_t address = 0;
        std::memcpy(&address, item, sizeof address);
        dnsResultList_.push_back(DottedText(address));
      }
    }
    if (!dnsResultList_.empty()) dnsResult_ = dnsResultList_.front();
  });
}

void TCustomAsyncSocket::HandleHostByAddrDone(TMessage& msg) {
  CompleteLookup(msg, [this] {
    const HostEntryReader reader(hostEntryBuffer_, sizeof hostEntryBuffer_);
    ws::hostent entry{};
    std::string name;
    if (reader.Entry(entry)) reader.Text(entry.h_name, name);
    dnsResult_ = name;
    dnsResultList_.assign(1, name);
  });
}

std::string TCustomAsyncSocket::GetPeerAddr() {
  if (state_ != wsConnected) return "error";
  ws::sockaddr_in peer{};
  int length = kAddressRecordSize;
  if (winsock::getpeername(socketHandle_, reinterpret_cast<ws::sockaddr*>(&peer), &length) != 0) {
    ReportSocketError("GetPeerName");
    return "error";
  }
  return DottedText(peer.sin_addr.s_addr);
}

int TCustomAsyncSocket::GetPeerName(ws::sockaddr_in& name, int nameLen) {
  if (state_ != wsConnected) return -1;
  // The record holds 16 bytes, whatever length the caller claims.
  int length = std::min(nameLen, kAddressRecordSize);
  return winsock::getpeername(socketHandle_, reinterpret_cast<ws::sockaddr*>(&name), &length);
}

std::string TCustomAsyncSocket::GetBoundPort() {
  if (state_ != wsBound && state_ != wsConnected && state_ != wsListening) return "error";
  ws::sockaddr_in local{};
  int length = kAddressRecordSize;
  if (winsock::getsockname(socketHandle_, reinterpret_cast<ws::sockaddr*>(&local), &length) != 0) {
    return "error";
  }
  return std::to_string(winsock::ntohs(local.sin_port));
}

int TCustomAsyncSocket::GetSockName(ws::sockaddr_in& name, int& nameLen) {
  nameLen = std::min(nameLen, kAddressRecordSize);
  return winsock::getsockname(socketHandle_, reinterpret_cast<ws::sockaddr*>(&name), &nameLen);
}

}  // namespace net
