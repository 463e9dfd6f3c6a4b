// The command cycle's road through a SOCKS proxy. The proxy is read at
// start-up (the settings file's [socks] section, or --socks for one run) and
// handed to TelnetConnection1, which sets it on the socket before every
// connection. Through a proxy the connection is made only once the proxy has
// granted it; when the proxy cannot be reached, refuses, or turns the
// credentials down, the connection wait ends at once and the log-in error box
// says why on a second line. Nothing is sent to the router in that case.
#include <QString>

#include "app/main_window.h"
#include "app/session_texts.h"
#include "app/socks_url.h"
#include "app/widget_text.h"
#include "socket/socket_library.h"
#include "telnet/telnet_connection.h"

void TForm1::applySocksRoute() {
  telnet::SocksRoute route = app::ReadSocksSection(settingsFile_->Contents());
  const app::SocksOption option = app::FindSocksOption(arguments_);
  if (option.route) route = *option.route;
  TelnetConnection1->SetSocks(route);
}

bool TForm1::throughProxy() const { return !TelnetConnection1->Socks().server.empty(); }

void TForm1::startConnection() {
  proxyFailure_.clear();
  if (!throughProxy()) {
    TelnetConnection1->Connect();
    return;
  }
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
  if (!proxyFailure_.empty()) text += QLatin1Char('\n') + app::FromAnsi(proxyFailure_);
  return text;
}
