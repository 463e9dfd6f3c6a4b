#include "app/debug_output_log.h"

#include <mutex>
#include <string>

#include "app/widget_text.h"
#include "platform/system.h"

Q_LOGGING_CATEGORY(lcTelnetTrace, "vantrel.telnet", QtWarningMsg)

namespace app {

namespace {

struct PendingLine {
  std::mutex mutex;
  std::string text;
};

void LogPiece(PendingLine& pending, const std::string& piece) {
  std::string complete;
  {
    std::lock_guard lock(pending.mutex);
    pending.text += piece;
    const std::size_t end = pending.text.rfind('\n');
    if (end == std::string::npos) return;
    complete = pending.text.substr(0, end);
    pending.text.erase(0, end + 1);
  }
  std::size_t start = 0;
  while (start <= complete.size()) {
    std::size_t stop = complete.find('\n', start);
    if (stop == std::string::npos) stop = complete.size();
    std::string line = complete.substr(start, stop - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    qCDebug(lcTelnetTrace).noquote() << FromAnsi(line);
    start = stop + 1;
  }
}

}  // namespace

void RouteDebugOutputToLog() {
  // Nothing would be shown: not even the collecting is worth doing.
  if (!lcTelnetTrace().isDebugEnabled()) return;
  static PendingLine* pending = new PendingLine;
  platform::SetDebugOutputSink([](const std::string& piece) { LogPiece(*pending, piece); });
}

}  // namespace app
