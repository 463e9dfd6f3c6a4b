// The socket object itself: its life, its hidden window, the dispatch of the
// window's messages, state changes, error reporting and message pumping.
#include "socket/custom_async_socket.h"

#include <poll.h>

#include "platform/message_processing.h"
#include "socket/format_text.h"
#include "socket/socket_library.h"

namespace net {
namespace {

// Sockets alive in this process; the last one to go unloads the library.
int gSocketCount = 0;

constexpr win::DWORD kToolWindowExStyle = 0x80;
constexpr win::DWORD kPopupStyle = 0x80000000u;
constexpr int kObjectSlot = 0;

}  // namespace

TCustomAsyncSocket::TCustomAsyncSocket(platform::TComponent* owner) : platform::TComponent(owner) {
  CreateHiddenWindow();
  chunkSize_ = kDefaultChunkSize;
  ResetToDefaults();
  ++gSocketCount;
}

TCustomAsyncSocket::~TCustomAsyncSocket() {
  PrepareDestruction();
  // A handle the state machine no longer tracks (left over from a failed
  // operation) would otherwise outlive its object.
  if (socketHandle_ != ws::INVALID_SOCKET && SocketLibraryLoaded()) {
    try {
      winsock::closesocket(socketHandle_);
    } catch (const std::exception&) {
    }
    socketHandle_ = ws::INVALID_SOCKET;
  }
  if (--gSocketCount <= 0) {
    UnloadSocketLibrary();
    gSocketCount = 0;
  }
  ClearSendQueue();
  dnsResultList_.clear();
  if (window_ != nullptr) {
    win::SetWindowLong(window_, kObjectSlot, 0);
    win::DestroyWindow(window_);
    window_ = nullptr;
  }
}

void TCustomAsyncSocket::PrepareDestruction() {
  if (destroying_) return;
  destroying_ = true;
  try {
    CancelDnsLookup();
  } catch (const std::exception&) {
  }
  // A destructor must not throw: a close that fails on the way out is moot.
  if (state_ != wsClosed) {
    try {
      Close();
    } catch (const std::exception&) {
    }
  }
}

int TCustomAsyncSocket::LiveSocketCount() { return gSocketCount; }

void TCustomAsyncSocket::Notification(platform::TComponent* component,
                                      platform::TOperation operation) {
  platform::TComponent::Notification(component, operation);
}

void TCustomAsyncSocket::CreateHiddenWindow() {
  win::WNDCLASS wc;
  if (!win::GetClassInfo(kSocketWindowClassName, &wc)) {
    wc = win::WNDCLASS{};
    wc.lpfnWndProc = &TCustomAsyncSocket::WindowProc;
    wc.cbWndExtra = sizeof(win::LONG_PTR);
    wc.lpszClassName = kSocketWindowClassName;
    // Without a window the socket cannot hear the network; its operations
    // then fail where they ask for notifications.
    if (!win::RegisterClass(&wc)) return;
  }
  window_ = win::CreateWindowEx(kToolWindowExStyle, kSocketWindowClassName, "", kPopupStyle, 0, 0,
                                0, 0, nullptr, nullptr, nullptr, nullptr);
  if (window_ != nullptr) {
    win::SetWindowLong(window_, kObjectSlot, reinterpret_cast<win::LONG_PTR>(this));
  }
}

win::LRESULT TCustomAsyncSocket::WindowProc(win::HWND window, win::UINT message, win::WPARAM wParam,
                                            win::LPARAM lParam) {
  auto* socket = reinterpret_cast<TCustomAsyncSocket*>(win::GetWindowLong(window, kObjectSlot));
  if (socket == nullptr) return win::DefWindowProc(window, message, wParam, lParam);
  TMessage msg{message, wParam, lParam, 0};
  socket->HandleWindowMessage(msg);
  return msg.Result;
}

void TCustomAsyncSocket::HandleWindowMessage(TMessage& msg) {
  // Whatever a handler throws ends here: nothing may unwind through the
  // message loop that dispatched us.
  try {
    switch (msg.Msg) {
      case WM_ASYNCSELECT:
        HandleSocketEvent(msg);
        break;
      case WM_ASYNCGETHOSTBYNAME:
        HandleHostByNameDone(msg);
        break;
      case WM_ASYNCGETHOSTBYADDR:
        HandleHostByAddrDone(msg);
        break;
      default:
        msg.Result = win::DefWindowProc(window_, msg.Msg, msg.WParam, msg.LParam);
        break;
    }
  } catch (const std::exception& e) {
    HandleBgException(e);
  }
}

void TCustomAsyncSocket::HandleBgException(const std::exception& e) {
  bool canClose = true;
  if (OnBgException) {
    try {
      OnBgException(this, e, canClose);
    } catch (const std::exception&) {
    }
  }
  if (canClose) {
    try {
      Abort();
    } catch (const std::exception&) {
    }
  }
}

void TCustomAsyncSocket::HandleSocketEvent(TMessage& msg) {
  const ws::SOCKET handle = msg.WParam;
  if (handle != socketHandle_ || paused_) return;
  const int events = ws::WSAGETSELECTEVENT(msg.LParam);
  const auto error = static_cast<std::uint16_t>(ws::WSAGETSELECTERROR(msg.LParam));
  // Handlers may close the socket, or close it and open a new connection at
  // once. What follows them in this message belongs to the handle it came
  // for: once that is gone, closing again would end the new connection or
  // report the old one's end a second time.
  const auto current = [&] { return handle == socketHandle_; };

  // The closes below are the network's, not the owner's: they go straight to
  // FinishClose, so a layer can tell them from an owner's Close.
  if (events & ws::FD_CONNECT) {
    SetState(wsConnected);
    NotifySessionConnected(error);
    if (error != 0 && current() && state_ != wsClosed) FinishClose(true, 0);
  }
  if ((events & ws::FD_READ) && current()) HandleReadEvent(error);
  if ((events & ws::FD_WRITE) && current()) {
    TryToSend();
    if (allSent_ && current()) NotifyDataSent(error);
  }
  if ((events & ws::FD_ACCEPT) && current()) NotifySessionAvailable(error);
  if ((events & ws::FD_CLOSE) && current() && state_ != wsConnecting) {
    HandleReadEvent(0, true);
    if (!current()) return;
    if (OnSessionClosed && !closeNotified_) {
      closeNotified_ = true;
      NotifySessionClosed(error);
    }
    if (current() && state_ != wsClosed) FinishClose(true, error);
  }
}

void TCustomAsyncSocket::SetState(TSocketState newState) {
  const TSocketState oldState = state_;
  state_ = newState;
  NotifyChangeState(oldState, newState);
}

void TCustomAsyncSocket::ResetToDefaults() {
  peerAddress_ = ws::sockaddr_in{};
  peerAddress_.sin_family = ws::AF_INET;
  addressFamily_ = ws::AF_INET;
  addrAssigned_ = false;
  addrResolved_ = false;
  portAssigned_ = false;
  portResolved_ = false;
  protoResolved_ = false;
  localPortResolved_ = false;
  protoAssigned_ = true;
  protocolNumber_ = ws::IPPROTO_TCP;
  proto_ = "tcp";
  socketType_ = ws::SOCK_STREAM;
  localPort_ = "0";
  lingerOnOff_ = wsLingerOn;
  lingerTimeout_ = 0;
  socketHandle_ = ws::INVALID_SOCKET;
  state_ = wsClosed;
  allSent_ = true;
  paused_ = false;
  closeNotified_ = false;
  readCount_ = 0;
  flushTimeout_ = 60;
}

void TCustomAsyncSocket::ReportSocketError(const std::string& context, bool closeOnLostConnection) {
  const int code = winsock::WSAGetLastError();
  const std::string text =
      "Error " + std::to_string(code) + " in function " + context + "\r\n" + SocketErrorText(code);
  if (closeOnLostConnection && (code == ws::WSAECONNRESET || code == ws::WSAENOTCONN)) {
    winsock::closesocket(socketHandle_);
    socketHandle_ = ws::INVALID_SOCKET;
    SetState(wsClosed);
  }
  lastError_ = code;
  RaiseError(text);
}

void TCustomAsyncSocket::RaiseError(const std::string& message) {
  if (OnError) {
    NotifyError();
    return;
  }
  throw ESocketException(message);
}

void TCustomAsyncSocket::RaiseErrorFmt(const std::string& format,
                                       const std::vector<std::string>& args) {
  RaiseError(FormatText(format, args));
}

bool TCustomAsyncSocket::NotifyDataAvailable(std::uint16_t error) {
  if (!OnDataAvailable) return false;
  OnDataAvailable(this, error);
  return true;
}

void TCustomAsyncSocket::NotifySessionAvailable(std::uint16_t error) {
  if (OnSessionAvailable) OnSessionAvailable(this, error);
}

void TCustomAsyncSocket::NotifySessionConnected(std::uint16_t error) {
  if (OnSessionConnected) OnSessionConnected(this, error);
}

void TCustomAsyncSocket::NotifySessionClosed(std::uint16_t error) {
  if (OnSessionClosed) OnSessionClosed(this, error);
}

void TCustomAsyncSocket::NotifyDataSent(std::uint16_t error) {
  if (OnDataSent) OnDataSent(this, error);
}

void TCustomAsyncSocket::NotifyChangeState(TSocketState oldState, TSocketState newState) {
  if (OnChangeState) OnChangeState(this, oldState, newState);
}

void TCustomAsyncSocket::NotifyDnsLookupDone(std::uint16_t error) {
  if (OnDnsLookupDone) OnDnsLookupDone(this, error);
}

void TCustomAsyncSocket::NotifyError() {
  if (OnError) OnError(this);
}

bool TCustomAsyncSocket::IsTimeSet(const TTimeVal& t) { return t.tv_sec != 0 || t.tv_usec != 0; }

void TCustomAsyncSocket::ClearTime(TTimeVal& t) {
  t.tv_sec = 0;
  t.tv_usec = 0;
}

bool TCustomAsyncSocket::SameTime(const TTimeVal& t, const TTimeVal& u, bool wantEqual) {
  return (t.tv_sec == u.tv_sec && t.tv_usec == u.tv_usec) == wantEqual;
}

bool TCustomAsyncSocket::ProcessOneMessage() {
  win::MSG msg;
  if (!win::PeekMessage(&msg, nullptr, 0, 0, win::PM_REMOVE)) return false;
  if (msg.message == win::WM_QUIT) {
    terminated_ = true;
  } else {
    win::TranslateMessage(&msg);
    win::DispatchMessage(&msg);
  }
  return true;
}

void TCustomAsyncSocket::ProcessPendingMessages() {
  while (ProcessOneMessage()) {
  }
}

void TCustomAsyncSocket::PumpMessages() {
  if (multiThreaded_) {
    ProcessPendingMessages();
  } else {
    platform::ProcessMessages();
  }
}

void TCustomAsyncSocket::WaitForMessages(int timeoutMs) {
  if (!multiThreaded_) {
    platform::ProcessMessagesWaiting(timeoutMs);
    return;
  }
  pollfd queue{win::MessageQueueDescriptor(), POLLIN, 0};
  ::poll(&queue, 1, timeoutMs);
  ProcessPendingMessages();
}

}  // namespace net
