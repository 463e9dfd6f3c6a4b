// Where the program's debug output (the telnet trace) goes: the Qt logging
// category "vantrel.telnet", silent unless asked for, e.g. with
//   QT_LOGGING_RULES="vantrel.telnet.debug=true" vantrel
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcTelnetTrace)

namespace app {

// Installs the sink. Pieces of debug output are collected until a line end, so
// a numbered trace line, written in two pieces, is logged as one message.
void RouteDebugOutputToLog();

}  // namespace app
