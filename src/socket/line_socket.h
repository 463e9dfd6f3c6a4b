// The line-mode layer of the socket. With LineMode off (the default) it passes
// every operation through to the layer below.
#pragma once

#include <string>

#include "socket/socks_socket.h"

namespace net {

class TCustomLineSocket : public TCustomSocksSocket {
 public:
  explicit TCustomLineSocket(platform::TComponent* owner);

  bool LineMode() const { return lineMode_; }
  virtual void SetLineMode(bool value);
  const std::string& LineEnd() const { return lineEnd_; }
  void SetLineEnd(const std::string& value) { lineEnd_ = value; }
  bool LineEcho() const { return lineEcho_; }
  void SetLineEcho(bool value) { lineEcho_ = value; }
  bool LineEdit() const { return lineEdit_; }
  void SetLineEdit(bool value) { lineEdit_ = value; }

 protected:
  std::string lineEnd_ = "\r\n";
  bool lineMode_ = false;
  int lineLength_ = 0;
  bool lineEcho_ = false;
  bool lineEdit_ = false;
  int waitTimeout_ = 0;
  int waitDeadline_ = 0;
};

}  // namespace net
