// The capture belongs to the command-cycle engine; the window's code keeps
// using it under the program's own names.
#pragma once

#include "cycle/capture.h"

namespace app {

using cycle::AppendReceivedBatch;
using cycle::IncrementalSearch;
using cycle::kStrayPromptLine;
using cycle::LastLine;
using cycle::LineSpan;
using cycle::PromptForModel;
using cycle::ShownLineSpans;
using cycle::ShownLineSpansKeepingLastLine;
using cycle::SplitCaptureLines;
using cycle::TrimCapture;

}  // namespace app
