// The event-driven socket: never blocks, hears about the network through
// messages posted to a hidden window it owns, and tells its owner through
// events. Opening and closing, the send queue and the read path, and address
// resolution are separate source files of this one class.
#pragma once

#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/component.h"
#include "platform/window_messages.h"
#include "socket/send_buffer.h"
#include "socket/socket_exception.h"
#include "wsock/wsock_api.h"

namespace net {

enum TSocketState {
  wsInvalidState = 0,
  wsOpened = 1,
  wsBound = 2,
  wsConnecting = 3,
  wsConnected = 4,
  wsAccepting = 5,
  wsListening = 6,
  wsClosed = 7,
};

enum TSocketSendFlags { wsSendNormal = 0, wsSendUrgent = 1 };

enum TSocketLingerOnOff { wsLingerOff = 0, wsLingerOn = 1, wsLingerNoSet = 2 };

// Messages of the hidden window.
constexpr win::UINT WM_ASYNCSELECT = win::WM_USER + 1;              // 1025: network event
constexpr win::UINT WM_ASYNCGETHOSTBYNAME = win::WM_USER + 2;       // 1026: lookup by name done
constexpr win::UINT WM_ASYNCGETHOSTBYADDR = win::WM_USER + 3;       // 1027: lookup by address done
constexpr win::UINT WM_TRIGGER_DATA_AVAILABLE = win::WM_USER + 20;  // 1044: line layer

constexpr const char* kSocketWindowClassName = "AsyncSocketWindowClass";
constexpr int kHostEntryBufferSize = 1025;
constexpr int kDefaultChunkSize = 1514;

class TCustomAsyncSocket;

using TDataAvailable = std::function<void(TCustomAsyncSocket* sender, std::uint16_t error)>;
using TDataSent = TDataAvailable;
using TSessionClosed = TDataAvailable;
using TSessionAvailable = TDataAvailable;
using TSessionConnected = TDataAvailable;
using TDnsLookupDone = TDataAvailable;
using TChangeState =
    std::function<void(TCustomAsyncSocket* sender, TSocketState oldState, TSocketState newState)>;
using TNotifyEvent = std::function<void(TCustomAsyncSocket* sender)>;
// `canClose` starts true; a handler that clears it keeps the socket open.
using TBgExceptionEvent =
    std::function<void(TCustomAsyncSocket* sender, const std::exception& e, bool& canClose)>;

// The socket layer's time pair (seconds, microseconds).
struct TTimeVal {
  std::int32_t tv_sec = 0;
  std::int32_t tv_usec = 0;
};

// A hidden-window message as the socket handles it.
struct TMessage {
  win::UINT Msg = 0;
  win::WPARAM WParam = 0;
  win::LPARAM LParam = 0;
  win::LRESULT Result = 0;
};

class TCustomAsyncSocket : public platform::TComponent {
 public:
  explicit TCustomAsyncSocket(platform::TComponent* owner);
  ~TCustomAsyncSocket() override;

  // --- properties ---------------------------------------------------------
  const std::string& Addr() const { return addr_; }
  void SetAddr(const std::string& value);
  const std::string& Port() const { return port_; }
  virtual void SetPort(const std::string& value);
  const std::string& Proto() const { return proto_; }
  virtual void SetProto(const std::string& value);
  const std::string& LocalPort() const { return localPort_; }
  void SetLocalPort(const std::string& value);
  const std::string& DnsResult() const { return dnsResult_; }
  const std::vector<std::string>& DnsResultList() const { return dnsResultList_; }
  TSocketState State() const { return state_; }
  std::int32_t ReadCount() const { return readCount_; }
  std::int32_t RcvdCount() { return GetRcvdCount(); }
  std::int32_t LastError() const { return lastError_; }
  bool MultiThreaded() const { return multiThreaded_; }
  void SetMultiThreaded(bool value) { multiThreaded_ = value; }
  std::int32_t FlushTimeout() const { return flushTimeout_; }
  void SetFlushTimeout(std::int32_t value) { flushTimeout_ = value; }
  TSocketSendFlags SendFlags();
  void SetSendFlags(TSocketSendFlags value);
  TSocketLingerOnOff LingerOnOff() const { return lingerOnOff_; }
  void SetLingerOnOff(TSocketLingerOnOff value) { lingerOnOff_ = value; }
  std::int32_t LingerTimeout() const { return lingerTimeout_; }
  void SetLingerTimeout(std::int32_t value) { lingerTimeout_ = value; }

  // Public, unpublished state.
  ws::SOCKET SocketHandle() const { return socketHandle_; }
  win::HWND WindowHandle() const { return window_; }
  ws::HANDLE LookupHandle() const { return lookupHandle_; }
  bool AllSent() const { return allSent_; }
  // Bytes given to Send that the network has not taken yet.
  std::size_t QueuedSendBytes() const;
  bool Paused() const { return paused_; }
  bool CloseNotified() const { return closeNotified_; }
  bool Terminated() const { return terminated_; }
  void SetTerminated(bool value) { terminated_ = value; }

  // Sockets alive in this process; the socket library is unloaded when it
  // drops to zero.
  static int LiveSocketCount();

  // --- events ---------------------------------------------------------------
  TDataAvailable OnDataAvailable;
  TDataSent OnDataSent;
  TSessionClosed OnSessionClosed;
  TSessionAvailable OnSessionAvailable;
  TSessionConnected OnSessionConnected;
  TChangeState OnChangeState;
  TNotifyEvent OnLineTooLong;
  TDnsLookupDone OnDnsLookupDone;
  TNotifyEvent OnError;
  TBgExceptionEvent OnBgException;

  // --- opening and closing ---------------------------------------------------
  virtual void Connect();
  virtual void Close();
  virtual void Abort();
  virtual void Listen();
  // The new connection's handle, or INVALID_SOCKET.
  virtual ws::SOCKET Accept();
  virtual void Dup(ws::SOCKET newHandle);
  virtual void Shutdown(int how);
  virtual int Pause();
  virtual int Resume();

  // --- sending and receiving -------------------------------------------------
  // Bytes accepted into the queue (not necessarily sent yet), or -1.
  virtual int Send(const void* data, int len);
  virtual int SendTo(ws::sockaddr_in dest, int destLen, const void* data, int len);
  virtual int SendStr(const std::string& text);
  virtual void Flush();
  virtual void WaitUntilClosed();
  virtual int Receive(void* buffer, int size);
  virtual std::string ReceiveStr();
  virtual int ReceiveFrom(void* buffer, int size, ws::sockaddr_in& from, int& fromLen);

  // --- addresses and lookups -------------------------------------------------
  virtual void DnsLookup(const std::string& hostName);
  virtual void DnsLookupAddr(const std::string& hostAddr);
  virtual void CancelDnsLookup();
  virtual std::string GetPeerAddr();
  virtual int GetPeerName(ws::sockaddr_in& name, int nameLen);
  virtual std::string GetBoundPort();
  virtual int GetSockName(ws::sockaddr_in& name, int& nameLen);

  virtual bool IsTimeSet(const TTimeVal& t);
  virtual void ClearTime(TTimeVal& t);
  virtual bool SameTime(const TTimeVal& t, const TTimeVal& u, bool wantEqual);

  // --- message pumping -------------------------------------------------------
  virtual void PumpMessages();
  // One message of this thread's queue: false when none was waiting. WM_QUIT
  // sets Terminated instead of being dispatched.
  bool ProcessOneMessage();
  void ProcessPendingMessages();

  // The hidden window's procedure, exposed for the window class only.
  static win::LRESULT WindowProc(win::HWND window, win::UINT message, win::WPARAM wParam,
                                 win::LPARAM lParam);

 protected:
  void Notification(platform::TComponent* component, platform::TOperation operation) override;

  virtual void HandleWindowMessage(TMessage& msg);
  virtual void ResetToDefaults();
  virtual void FinishClose(bool shutdownFirst, std::uint16_t error);
  virtual std::int32_t GetRcvdCount();
  virtual void BindLocalPort();
  virtual int RawSend(const void* data, int len);
  virtual void RaiseError(const std::string& message);
  virtual void HandleBgException(const std::exception& e);
  virtual bool NotifyDataAvailable(std::uint16_t error);
  virtual void NotifySessionAvailable(std::uint16_t error);
  virtual void NotifySessionConnected(std::uint16_t error);
  virtual void NotifySessionClosed(std::uint16_t error);
  virtual void NotifyDataSent(std::uint16_t error);
  virtual void NotifyChangeState(TSocketState oldState, TSocketState newState);
  virtual void NotifyDnsLookupDone(std::uint16_t error);
  virtual void NotifyError();
  virtual int RawReceive(void* buffer, int size, int flags);
  virtual int RawReceiveFrom(void* buffer, int size, int flags, ws::sockaddr_in& from,
                             int& fromLen);

  // "%s" takes a string, "%d" an integer, in the order given.
  void RaiseErrorFmt(const std::string& format, const std::vector<std::string>& args);

  void SetState(TSocketState newState);
  // Raises (or notifies OnError) with the text of WSAGetLastError. A reset or
  // lost connection also closes the handle, unless told not to: a refusal this
  // object makes up itself must not end a socket that is still good.
  void ReportSocketError(const std::string& context, bool closeOnLostConnection = true);

  void HandleSocketEvent(TMessage& msg);
  void HandleHostByNameDone(TMessage& msg);
  void HandleHostByAddrDone(TMessage& msg);
  // Offers arriving data to the owner for a short slice, or, once the peer
  // has ended its stream (`toTheEnd`), until none is left or the owner stops
  // taking it.
  void HandleReadEvent(std::uint16_t error, bool toTheEnd = false);

  void QueueData(const void* data, int len);
  void TryToSend();
  void ClearSendQueue();
  void ApplyLinger();
  // A handle still open in wsClosed (an adoption or a set-up that failed half
  // way) is closed before a new one replaces it, so it cannot leak.
  void ReleaseUntrackedHandle();
  void PostSocketMessage(win::LPARAM lParam);

  bool Destroying() const { return destroying_; }
  // The most derived destructor calls this first, so that closing on the way
  // out still runs through every layer's overrides.
  void PrepareDestruction();
  // Waits for the next message of this thread (at most `timeoutMs`), then
  // processes what is pending: the loops that wait for the network block here
  // instead of spinning.
  void WaitForMessages(int timeoutMs);

  // Fields shared with the layers above.
  std::string dnsResult_;
  std::vector<std::string> dnsResultList_;
  std::deque<std::unique_ptr<TBuffer>> sendQueue_;  // oldest first
  int chunkSize_ = kDefaultChunkSize;
  std::int32_t sendFlags_ = 0;
  std::int32_t lastError_ = 0;
  win::HWND window_ = nullptr;
  char hostEntryBuffer_[kHostEntryBufferSize] = {};
  ws::HANDLE lookupHandle_ = 0;
  ws::SOCKET socketHandle_ = ws::INVALID_SOCKET;
  std::string addr_;
  bool addrResolved_ = false;
  std::int32_t addressFamily_ = ws::AF_INET;
  bool addrAssigned_ = false;
  std::int32_t protocolNumber_ = ws::IPPROTO_TCP;
  bool protoAssigned_ = false;
  bool protoResolved_ = false;
  bool localPortResolved_ = false;
  std::string proto_;
  std::string port_;
  bool portAssigned_ = false;
  bool portResolved_ = false;
  std::int32_t portNumber_ = 0;
  std::string localPort_;
  std::int32_t localPortNumber_ = 0;
  std::int32_t socketType_ = ws::SOCK_STREAM;
  TSocketLingerOnOff lingerOnOff_ = wsLingerOn;
  std::int32_t lingerTimeout_ = 0;
  bool allSent_ = true;
  std::int32_t readCount_ = 0;
  bool paused_ = false;
  bool closeNotified_ = false;
  std::int32_t flushTimeout_ = 60;
  bool multiThreaded_ = false;
  TSocketState state_ = wsClosed;
  bool terminated_ = false;
  ws::sockaddr_in peerAddress_ = {};
  // Bytes handed out by every read, wrapping: a delivery loop compares it
  // before and after a pass to see whether the owner took anything.
  std::uint32_t bytesTaken_ = 0;

 private:
  void CreateHiddenWindow();
  // The setters of Addr, Port and Proto: refused unless closed; a new text
  // must be resolved again before the next open.
  void AssignWhileClosed(const std::string& value, const char* property, std::string& text,
                         bool& assigned, bool& resolved);
  // The common start of Connect and Listen: resolves what the texts' last
  // change left unresolved (a failure is reported under `context`), then
  // opens a fresh handle in place of any left over (a failure is reported
  // under `socketContext`). False once a failure is reported.
  bool OpenHandle(const char* context, bool withLocalPort, const char* socketContext);
  // The common start of both lookups: false, once reported, for an empty request.
  bool BeginDnsLookup(const std::string& request);
  void KeepLookupHandle(const std::string& request, ws::HANDLE handle);
  // A lookup's completion message: stale ones are ignored; `readResult` runs
  // when it succeeded, before the report.
  void CompleteLookup(const TMessage& msg, const std::function<void()>& readResult);

  bool destroying_ = false;
};

}  // namespace net
