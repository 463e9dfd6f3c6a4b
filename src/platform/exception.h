// The error base of the whole program: every error we raise is an Exception
// carrying a message in the ANSI code page (Shift-JIS bytes), ready to be shown
// in the application's error box.
#pragma once

#include <exception>
#include <string>

namespace platform {

class Exception : public std::exception {
public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

private:
  std::string message_;
};

// Raised by list accesses with a bad index, as the class library's lists do.
class EListError : public Exception {
public:
  using Exception::Exception;
};

}  // namespace platform
