// How soon a big answer shows in the window: the real main window on the
// offscreen platform runs one command cycle against the benchmark peer, and
// the time from the peer's last byte to the pane having drawn the answer is
// taken. Run by vantrel-answer-bench; on its own:
//
//   vantrel-pane-bench [--address 127.0.0.x] [--runs N] [--megabytes M]
#include <unistd.h>

#include <QPixmap>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/main_window.h"
#include "app/message_pump.h"
#include "app/output_pane.h"
#include "bench/answer_peer.h"
#include "bench/bench_support.h"

using namespace bench;

int main(int argc, char** argv) {
  std::string address = "127.0.0.79";
  int runs = 5;
  std::size_t megabytes = 10;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    if (key == "--address") address = argv[i + 1];
    if (key == "--runs") runs = std::max(1, std::atoi(argv[i + 1]));
    if (key == "--megabytes") megabytes = static_cast<std::size_t>(std::atoi(argv[i + 1]));
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;
  VantrelApplication application(qtArgc, argv);
  PlatformMessagePump pump;

  char pattern[] = "/tmp/vantrel-pane-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const std::string folder = std::string(pattern) + "/";
  std::ofstream(folder + "vantrel.Ini", std::ios::binary)
      << "[main]\r\nrt=0\r\nip=" << address << "\r\nsingle=0\r\n";
  std::ofstream(folder + "vantrel_p.cfg", std::ios::binary) << "";

  std::vector<double> shownAfter, wholeCycle;
  std::size_t lines = 0;
  try {
    const AnswerPeer peer(address, megabytes * 1000 * 1000, false, AnswerPeer::Where::Thread);
    for (int run = 0; run <= runs; ++run) {
      TForm1 form({}, folder);
      form.FormCreate();
      form.show();
      QApplication::processEvents();
      const auto start = AnswerPeer::Clock::now();
      form.RunCommand("SHOW");
      // The cycle ends by drawing the pane; grabbing it draws it once more,
      // so the figure holds even if that first drawing were skipped.
      const QPixmap drawn = form.Memo1->grab();
      const auto shown = AnswerPeer::Clock::now();
      lines = static_cast<std::size_t>(form.Memo1->lineCount());
      if (run == 0 || drawn.isNull()) continue;  // warm-up
      shownAfter.push_back(std::chrono::duration<double>(shown - peer.LastByteSent()).count());
      wholeCycle.push_back(std::chrono::duration<double>(shown - start).count());
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vantrel-pane-bench: %s\n", error.what());
    return 1;
  }
  std::filesystem::remove_all(pattern);
  std::printf("window (offscreen), %zu MB answer, %zu lines in the pane, %d runs, medians\n",
              megabytes, lines, runs);
  std::printf("  shown after its last byte      %8.1f ms\n", Median(shownAfter) * 1e3);
  std::printf("  whole command cycle            %8.1f ms\n", Median(wholeCycle) * 1e3);
  return 0;
}
