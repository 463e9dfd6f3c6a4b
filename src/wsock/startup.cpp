// WSAStartup / WSACleanup. Start-ups are counted; the last clean-up does what
// Windows does then: it closes every socket still open and abandons pending
// lookups.
#include <atomic>
#include <cstring>
#include <mutex>

#include "wsock/error_codes.h"
#include "wsock/select_notifier.h"
#include "wsock/socket_table.h"
#include "wsock/wsock_functions.h"

namespace wsock {

namespace {

constexpr std::uint16_t kHighestVersion = 0x0101;  // 1.1: low byte major, high byte minor

std::mutex& StartupMutex() {
  static std::mutex* mutex = new std::mutex;
  return *mutex;
}

std::atomic<int> gStartupCount{0};

void CopyText(char* destination, std::size_t size, const char* text) {
  std::strncpy(destination, text, size - 1);
  destination[size - 1] = '\0';
}

}  // namespace

bool IsStarted() { return gStartupCount.load() > 0; }

int Startup(std::uint16_t versionRequested, ws::WSAData* data) {
  const int major = versionRequested & 0xFF;
  const int minor = versionRequested >> 8;
  if (major < 1) return ws::WSAVERNOTSUPPORTED;
  if (data == nullptr) return ws::WSAEFAULT;
  const bool wantsAtLeastHighest = major > 1 || minor >= 1;
  *data = ws::WSAData{};
  data->wVersion = wantsAtLeastHighest ? kHighestVersion : versionRequested;
  data->wHighVersion = kHighestVersion;
  CopyText(data->szDescription, sizeof data->szDescription, "Vantrel Sockets 1.1 over POSIX");
  CopyText(data->szSystemStatus, sizeof data->szSystemStatus, "Running");
  data->iMaxSockets = 32767;
  data->iMaxUdpDg = 65467;
  data->lpVendorInfo = nullptr;
  std::lock_guard lock(StartupMutex());
  ++gStartupCount;
  return 0;
}

int Cleanup() {
  std::lock_guard lock(StartupMutex());
  if (gStartupCount.load() == 0) return Fail(ws::WSANOTINITIALISED);
  if (--gStartupCount > 0) return 0;
  CancelAllLookups();
  // Out of the table first, so nothing is posted for them any more.
  std::vector<EntryPtr> open = SocketTable::Instance().TakeAll();
  open.clear();
  return 0;
}

}  // namespace wsock
