// The one-copy capture against the plain line-by-line steps: for any received
// bytes, cut into batches any way, the kept bytes, the shown lines and their
// UTF-8 text must be exactly what copying line by line gives. The first input
// byte seeds the batch sizes; the rest is what the router sent.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/capture.h"
#include "app/pane_lines.h"
#include "platform/codepage.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string sent(reinterpret_cast<const char*>(data) + 1, size - 1);

  std::string received;
  unsigned seed = data[0] | 1u;
  for (std::size_t at = 0; at < sent.size();) {
    seed = seed * 1103515245u + 12345u;
    const std::size_t batch = std::min<std::size_t>(sent.size() - at, 1 + (seed >> 16) % 32);
    app::AppendReceivedBatch(received, sent.data() + at, batch);
    at += batch;
  }
  std::string withoutNul;
  for (char c : sent) {
    if (c != '\0') withoutNul += c;
  }
  Require(received == withoutNul);

  const std::vector<std::string> expected = app::TrimCapture(app::SplitCaptureLines(received));
  const std::vector<app::LineSpan> spans = app::ShownLineSpans(received);
  Require(spans.size() == expected.size());

  app::PaneLines pane;
  pane.Add("before");
  pane.AddAnswer(received, spans);
  pane.Add("after");
  std::vector<std::string> lines{"before"};
  lines.insert(lines.end(), expected.begin(), expected.end());
  lines.push_back("after");
  Require(pane.Lines() == lines);

  // Converting the whole text at once must give what converting each line
  // and joining gives.
  std::string joined;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) joined += '\n';
    joined += platform::AnsiToUtf8(lines[i]);
  }
  Require(pane.Utf8Text() == joined);

  // The pane keeps its lines when the received bytes are emptied.
  pane.HandOver(received);
  Require(received.empty());
  Require(pane.Lines() == lines);
  return 0;
}
