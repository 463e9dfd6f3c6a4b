// The message pump serves the engine and the window alike.
#pragma once

#include "cycle/message_pump.h"
