// Looks at this process's own TCP connections from the system's side; kept
// apart from the socket stand-in's headers, whose Windows names clash with
// the system's.
#pragma once

namespace telnet_test {

// TCP_NODELAY of this process's connection to 127.0.0.1:`port`: 1 or 0, or
// -1 when there is no such connection.
int NoDelayOfConnectionTo(int port);

}  // namespace telnet_test
