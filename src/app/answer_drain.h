// Whether bytes the router has sent are still to be taken in. A wait that has
// found its prompt reads these before it ends: they had arrived before the
// wait looked, so they belong to the answer, and the router may well say
// nothing more for as long as the connection stays open.
#pragma once

namespace telnet {
class TTelnetConnection;
}

namespace app {

// True while the connection's socket holds unread bytes, or a network event
// for it waits in the thread's message queue. False once the socket is
// closed and its last events have been served.
bool RouterDataWaiting(telnet::TTelnetConnection& connection);

}  // namespace app
