// Shared steps of the socket calls: finding the entry behind a handle and
// moving addresses between the Windows record and the system's.
#pragma once

#include "wsock/socket_table.h"
#include "wsock/windows_numbers.h"

#include <netinet/in.h>

namespace wsock {

// The entry of a handle, or null with the last error set: 10093 before
// WSAStartup, 10038 for a handle that is not an open socket.
EntryPtr AcquireSocket(ws::SOCKET s);

// Reads a Windows IPv4 address record. Returns 0 or the error to report
// (10014 for a missing or short record, 10047 for another family).
int ReadAddress(const ws::sockaddr* name, int length, sockaddr_in* out);

// Checks that an address result fits (10014 otherwise) before the call.
int CheckAddressBuffer(const ws::sockaddr* name, const int* length);
void WriteAddress(const sockaddr_in& address, ws::sockaddr* name, int* length);

}  // namespace wsock
