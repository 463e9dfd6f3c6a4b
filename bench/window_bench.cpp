// The window's goals for big answers: the real main window on the offscreen
// platform runs command cycles against the benchmark peer.
//
//   - 50 MB in 80-byte lines: resident memory after the cycle, over the idle
//     window's, against 1.3 times the answer's size; a search of the pane for
//     a text it does not hold (so through all of it) within 200 ms;
//   - 10 MB as one line: drawn within 0.3 s of the peer's last byte, End
//     reaching the line's tail within 50 ms, the peak under 3 times its size.
//
//   vantrel-window-bench [--address 127.0.0.x] [--runs N]
//
// Each case runs in a process of its own, so that one's peak is not the
// other's.
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QPixmap>
#include <QtTest/QTest>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
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

namespace {

constexpr double kMiB = 1024.0 * 1024.0;

// "VmRSS" or "VmHWM" of this process, in bytes.
double ProcessMemory(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string name;
  while (status >> name) {
    double kib = 0;
    if (name == std::string(key) + ":" && status >> kib) return kib * 1024.0;
    status.ignore(1 << 12, '\n');
  }
  return 0;
}

double Milliseconds(AnswerPeer::Clock::duration span) {
  return std::chrono::duration<double>(span).count() * 1e3;
}

struct Case {
  const char* name;
  std::size_t bytes;
  AnswerPeer::Shape shape;
};

const Case kCases[] = {
    {"lines80", 50 * 1000 * 1000, AnswerPeer::Shape::Lines80},
    {"oneline", 10 * 1000 * 1000, AnswerPeer::Shape::OneLine},
};

int RunCase(const Case& which, const std::string& address, int runs, char* programName) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;
  char* qtArgv[] = {programName, nullptr};
  VantrelApplication application(qtArgc, qtArgv);
  PlatformMessagePump pump;

  char pattern[] = "/tmp/vantrel-window-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const std::string folder = std::string(pattern) + "/";
  std::ofstream(folder + "vantrel.Ini", std::ios::binary)
      << "[main]\r\nrt=0\r\nip=" << address << "\r\nsingle=0\r\n";
  std::ofstream(folder + "vantrel_p.cfg", std::ios::binary) << "";

  std::vector<double> shownAfter, endTaken, searchMissing, searchByte;
  // Memory of the first cycle: later ones reuse what the allocator kept of
  // the earlier answers' buffers, which says more about it than about us.
  double idle = 0, afterCycle = 0, peak = 0;
  std::size_t lines = 0;
  try {
    const AnswerPeer peer(address, which.bytes, false, AnswerPeer::Where::Thread, which.shape);
    TForm1 form({}, folder);
    form.FormCreate();
    form.show();
    QApplication::processEvents();
    form.Memo1->grab();
    idle = ProcessMemory("VmRSS");
    for (int run = 0; run < runs; ++run) {
      form.RunCommand("SHOW");
      // The cycle ends by drawing the pane; grabbing draws it once more, so
      // the figure holds even if that first drawing were skipped.
      form.Memo1->grab();
      shownAfter.push_back(Milliseconds(AnswerPeer::Clock::now() - peer.LastByteSent()));
      lines = static_cast<std::size_t>(form.Memo1->lineCount());
      if (run == 0) {
        afterCycle = ProcessMemory("VmRSS");
        peak = ProcessMemory("VmHWM");
      }
      // End on the first line, drawn.
      form.Memo1->setFocus();
      QTest::keyClick(form.Memo1, Qt::Key_Home, Qt::ControlModifier);
      const auto pressed = AnswerPeer::Clock::now();
      QTest::keyClick(form.Memo1, Qt::Key_End);
      form.Memo1->grab();
      endTaken.push_back(Milliseconds(AnswerPeer::Clock::now() - pressed));
      // A search from the top, without case, through the whole answer for a
      // text that is not there: a word, and a single byte that no Shift-JIS
      // text holds (nothing to skip by).
      const auto timeSearch = [&](const QString& text, std::vector<double>& into) {
        QTest::keyClick(form.Memo1, Qt::Key_Home, Qt::ControlModifier);
        const auto started = AnswerPeer::Clock::now();
        form.Memo1->find(text, false, false);
        into.push_back(Milliseconds(AnswerPeer::Clock::now() - started));
      };
      timeSearch(QStringLiteral("no such text"), searchMissing);
      timeSearch(QString(QChar(0xF7FF)), searchByte);
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vantrel-window-bench: %s\n", error.what());
    return 1;
  }
  std::filesystem::remove_all(pattern);
  const double size = static_cast<double>(which.bytes);
  std::printf("%s: %.0f MB answer, %zu lines in the pane, %d runs (medians)\n", which.name,
              size / 1e6, lines, runs);
  std::printf("  drawn after its last byte    %8.1f ms\n", Median(shownAfter));
  std::printf("  End drawn                    %8.1f ms\n", Median(endTaken));
  std::printf("  search, no match (a word)    %8.1f ms\n", Median(searchMissing));
  std::printf("  search, no match (one byte)  %8.1f ms\n", Median(searchByte));
  std::printf("  resident, idle window        %8.1f MiB\n", idle / kMiB);
  std::printf("  resident after one cycle     %8.1f MiB  (+%.2f x the answer)\n", afterCycle / kMiB,
              (afterCycle - idle) / size);
  std::printf("  peak of one cycle            %8.1f MiB  (+%.2f x the answer over idle)\n",
              peak / kMiB, (peak - idle) / size);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string address = "127.0.0.79";
  int runs = 3;
  std::string only;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    if (key == "--address") address = argv[i + 1];
    if (key == "--runs") runs = std::max(1, std::atoi(argv[i + 1]));
    if (key == "--case") only = argv[i + 1];
  }
  for (const Case& which : kCases) {
    if (only == which.name) return RunCase(which, address, runs, argv[0]);
  }
  if (!only.empty()) return 2;
  int status = 0;
  for (const Case& which : kCases) {
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
      const std::string runsText = std::to_string(runs);
      execl("/proc/self/exe", argv[0], "--address", address.c_str(), "--runs", runsText.c_str(),
            "--case", which.name, static_cast<char*>(nullptr));
      _exit(127);
    }
    int childStatus = 0;
    waitpid(child, &childStatus, 0);
    if (!WIFEXITED(childStatus) || WEXITSTATUS(childStatus) != 0) status = 1;
  }
  return status;
}
