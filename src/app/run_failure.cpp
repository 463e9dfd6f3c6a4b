// Whether this run has failed, for its exit status: kept beside the console
// run, so that the window's boxes and the console's messages count alike.
#include "app/message_box.h"

namespace app {

namespace {

bool runFailed = false;

}  // namespace

void MarkRunFailed() { runFailed = true; }

bool ErrorBoxRaised() { return runFailed; }

void ResetErrorBoxRaised() { runFailed = false; }

}  // namespace app
