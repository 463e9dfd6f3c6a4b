// What the command cycle does with the router's answer, apart from any window:
// collecting the received batches, cutting them into lines, trimming echo and
// prompt lines, and the prompt each router model ends its answers with.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace app {

// Appends one batch of received data bytes to `receiveBuffer`. NUL bytes are
// dropped and everything else is kept: a TELNET server sends CR NUL for a bare
// carriage return, so cutting the batch at its first NUL would lose real
// output.
void AppendReceivedBatch(std::string& receiveBuffer, const char* data, std::size_t length);

// The received text as lines: a line ends at CR LF, a lone CR or a lone LF;
// text after the last line end is a last line; a line end at the very end of
// the text adds no empty line.
std::vector<std::string> SplitCaptureLines(const std::string& receiveBuffer);

// The prompt line some routers leave inside their answers; never shown.
inline constexpr char kStrayPromptLine[] = "MT128-NET% ";

// The lines of the output pane, from the captured lines L0 ... Ln-1: the echo
// L0, the line after it and the returning prompt Ln-1 are dropped, and of
// L2 ... Ln-2 the empty lines and the stray prompt lines are skipped. Fewer
// than three captured lines leave nothing to show.
std::vector<std::string> TrimCapture(const std::vector<std::string>& captureLines);

// The text awaited after the log-in and after each command for `routerModel`
// (-1 automatic, 0..3 the models); nothing for any other value, in which case
// no prompt is awaited at all.
std::optional<std::string> PromptForModel(int routerModel);

}  // namespace app
