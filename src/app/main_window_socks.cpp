// The command cycle's road through a SOCKS proxy. The proxy is read at
// start-up (the settings file's [socks] section, or --socks for one run) and
// handed to TelnetConnection1, which sets it on the socket before every
// connection. Through a proxy the connection is made only once the proxy has
// granted it; when the proxy cannot be reached, refuses, turns the
// credentials down or hangs up, the connection wait ends at once and the
// log-in error box says why on a second line (a proxy that keeps quiet is
// told so at the end of the wait). Nothing is sent to the router then.
#include <QString>

#include "app/main_window.h"
#include "app/session_texts.h"
#include "app/socks_url.h"
#include "app/widget_text.h"
#include "socket/socket_library.h"
#include "telnet/telnet_connection.h"

namespace {

// The second line of the log-in error when a proxy accepted the connection
// (or never answered it) and said nothing within the connection's ticks.
constexpr char kSocksServerSilent[] = "SOCKS server did not answer";

}  // namespace

void TForm1::applySocksRoute() {
  TelnetConnection1->SetSocks(
      runSettings_.socks ? *runSettings_.socks : app::ReadSocksSection(settingsFile_->Contents()));
}

bool TForm1::throughProxy() const { return !TelnetConnection1->Socks().server.empty(); }

void TForm1::startConnection() {
  proxyFailure_.clear();
  if (!throughProxy()) {
    TelnetConnection1->Connect();
    return;
  }
  // The settings file's values are not checked at start-up: one that could
  // end or split a field at the proxy is refused here, before anything is
  // sent, and told like the proxy's own failures.
  proxyFailure_ = app::SocksRouteProblem(TelnetConnection1->Socks());
  if (!proxyFailure_.empty()) return;
  // A proxy setting the socket refuses (a level it does not know, a name
  // that does not resolve) is the proxy's failure, told like the others.
  try {
    TelnetConnection1->Connect();
  } catch (const std::exception& e) {
    proxyFailure_ = e.what();
    if (proxyFailure_.empty()) proxyFailure_ = "SOCKS proxy not usable";
  }
}

bool TForm1::proxyConnectionFailed() {
  if (!throughProxy()) return false;
  if (!proxyFailure_.empty()) return true;
  const std::optional<std::uint16_t> result = TelnetConnection1->ConnectResult();
  if (!result || *result == 0) return false;
  proxyFailure_ = TelnetConnection1->SocksErrorText();
  if (proxyFailure_.empty()) proxyFailure_ = net::SocketErrorText(*result);
  return true;
}

QString TForm1::loginFailedText() const {
  QString text = app::FromAnsi(app::texts::kLoginFailed);
  std::string reason = proxyFailure_;
  // Not failed, not aborted, not connected: the connection's ticks ran out
  // while the proxy kept quiet.
  if (reason.empty() && throughProxy() && AbortRequested != 1) reason = kSocksServerSilent;
  if (!reason.empty()) text += QLatin1Char('\n') + app::FromAnsi(reason);
  return text;
}
