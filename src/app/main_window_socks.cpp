// The command cycle's road through a SOCKS proxy. The proxy is read at
// start-up (the settings file's [socks] section, or --socks for one run) and
// handed to TelnetConnection1, which sets it on the socket before every
// connection; the engine tells a proxy's failure in the log-in error box.

#include "app/main_window.h"
#include "app/socks_url.h"
#include "telnet/telnet_connection.h"

void TForm1::applySocksRoute() {
  telnet::SocksRoute route = app::ReadSocksSection(SettingsPath());
  const app::SocksOption option = app::FindSocksOption(arguments_);
  if (option.route) route = *option.route;
  TelnetConnection1->SetSocks(route);
}
