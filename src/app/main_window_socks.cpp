// The command cycle's road through a SOCKS proxy. The proxy is read at
// start-up (the settings file's [socks] section, or --socks for one run) and
// handed to TelnetConnection1, which sets it on the socket before every
// connection; the engine tells a proxy's failure in the log-in error box. The
// settings file's values are not checked at start-up: one that could end or
// split a field at the proxy is refused before anything is sent.
#include "app/main_window.h"
#include "app/socks_url.h"
#include "cycle/command_cycle.h"
#include "telnet/telnet_connection.h"

void TForm1::applySocksRoute() {
  TelnetConnection1->SetSocks(
      runSettings_.socks ? *runSettings_.socks : app::ReadSocksSection(settingsFile_->Contents()));
  CommandCycle1->SocksRouteProblem = app::SocksRouteProblem;
}
