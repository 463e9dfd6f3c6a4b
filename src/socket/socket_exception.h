// The errors of the socket layer. Every failure a socket operation reports
// without an OnError handler leaves as an ESocketException carrying the text
// the user reads; the numeric conversions raise the two arithmetic errors.
#pragma once

#include "platform/exception.h"

namespace net {

class ESocketException : public platform::Exception {
 public:
  using platform::Exception::Exception;
};

// A number outside the range its destination allows (a port above 65535, a
// linger time above 65535 seconds).
class ERangeError : public platform::Exception {
 public:
  ERangeError() : platform::Exception("Range check error") {}
};

// A decimal text whose value does not fit a signed 32-bit integer.
class EIntOverflow : public platform::Exception {
 public:
  EIntOverflow() : platform::Exception("Integer overflow") {}
};

}  // namespace net
