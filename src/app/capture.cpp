// Received data, its lines and the trimming of the router's answer.
#include "app/capture.h"

#include <algorithm>
#include <array>
#include <iterator>

#include "platform/files.h"

namespace app {

void AppendReceivedBatch(std::string& receiveBuffer, const char* data, std::size_t length) {
  if (data == nullptr) return;
  receiveBuffer.reserve(receiveBuffer.size() + length);
  std::copy_if(data, data + length, std::back_inserter(receiveBuffer),
               [](char c) { return c != '\0'; });
}

std::vector<std::string> SplitCaptureLines(const std::string& receiveBuffer) {
  return platform::SplitLines(receiveBuffer);
}

std::vector<std::string> TrimCapture(const std::vector<std::string>& captureLines) {
  std::vector<std::string> shown;
  if (captureLines.size() < 3) return shown;
  for (std::size_t i = 2; i + 1 < captureLines.size(); ++i) {
    const std::string& line = captureLines[i];
    if (line.empty() || line == kStrayPromptLine) continue;
    shown.push_back(line);
  }
  return shown;
}

std::optional<std::string> PromptForModel(int routerModel) {
  static const std::array<const char*, 5> prompts = {"%", "MT128-NET%", "MN128-SOHO%",
                                                     "MN128-SOHO-SL10%", "MN128-SOHO-SL11%"};
  if (routerModel < -1 || routerModel > 3) return std::nullopt;
  return std::string(prompts[static_cast<std::size_t>(routerModel + 1)]);
}

}  // namespace app
