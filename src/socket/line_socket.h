// The line-mode layer of the socket: with LineMode on, received bytes are
// collected and handed to the owner one line at a time (terminator included)
// through OnDataAvailable; RcvdCount then tells how much of the line is
// still unread. It can echo what arrives and apply backspace and tab editing,
// for a peer typing at a keyboard. With LineMode off (the default) and nothing
// held it passes every operation through to the layer below.
#pragma once

#include <string>

#include "socket/line_buffer.h"
#include "socket/socks_socket.h"

namespace net {

class TCustomLineSocket : public TCustomSocksSocket {
 public:
  explicit TCustomLineSocket(platform::TComponent* owner);
  ~TCustomLineSocket() override;

  bool LineMode() const { return lineMode_; }
  virtual void SetLineMode(bool value);
  const std::string& LineEnd() const { return lineEnd_; }
  void SetLineEnd(const std::string& value) { lineEnd_ = value; }
  bool LineEcho() const { return lineEcho_; }
  void SetLineEcho(bool value) { lineEcho_ = value; }
  bool LineEdit() const { return lineEdit_; }
  void SetLineEdit(bool value) { lineEdit_ = value; }

  // Bytes held by line mode, waiting to be delivered.
  int LineBufferCount() const { return lineBuffer_.Count(); }

 protected:
  void HandleWindowMessage(TMessage& msg) override;
  std::int32_t GetRcvdCount() override;
  bool NotifyDataAvailable(std::uint16_t error) override;
  void NotifySessionClosed(std::uint16_t error) override;
  int RawReceive(void* buffer, int size, int flags) override;
  void ResetToDefaults() override;

  void HandlePendingData();

  LineBuffer lineBuffer_;
  std::string lineEnd_ = "\r\n";
  bool lineMode_ = false;
  // Unread bytes of the line being delivered, at the front of the buffer;
  // what the owner has read of it is gone from there already.
  int lineLength_ = 0;
  bool lineEcho_ = false;
  bool lineEdit_ = false;
  int waitTimeout_ = 0;
  int waitDeadline_ = 0;

 private:
  // Line mode with a terminator to cut at; an empty LineEnd passes data on
  // as if line mode were off.
  bool LineModeActive() const { return lineMode_ && !lineEnd_.empty(); }
  // Offers the line at the front until the owner has read it all (true), or
  // it stops: line mode went off, or a pass took nothing.
  bool DeliverLine();
  // Delivers the complete lines held, searching from `searchFrom`.
  void DeliverLines(int searchFrom);
  void PostPendingData();
};

}  // namespace net
