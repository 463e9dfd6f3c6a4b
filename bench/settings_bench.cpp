// Reading a large settings file, as start-up reads it: once, then the eight
// keys of the window and the [socks] section looked up in what was read.
// For comparison, the same thirteen keys read the file-per-key way.
//
//   vantrel-settings-bench [--kib K] [--runs N]
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/settings_file.h"
#include "app/socks_url.h"
#include "bench/bench_support.h"
#include "platform/files.h"
#include "platform/profile.h"

using namespace bench;

namespace {

// Sections of the user's own, then the window's two at the very end, where a
// lookup has the most to pass over.
std::string SettingsText(std::size_t bytes) {
  std::string text;
  for (int section = 0; text.size() < bytes; ++section) {
    text += "[notes" + std::to_string(section) + "]\r\n";
    for (int key = 0; key < 20; ++key) {
      text += "key" + std::to_string(key) + "=a value of some thirty bytes\r\n";
    }
  }
  return text +
         "[main]\r\nrt=0\r\nip=127.0.0.1\r\nsingle=0\r\n[pos]\r\ntop=101\r\nleft=164\r\n"
         "height=369\r\nwidth=678\r\np_width=183\r\n";
}

double Milliseconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

int Main(int argc, char** argv) {
  std::size_t kib = 500;
  int runs = 21;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    if (key == "--kib") kib = static_cast<std::size_t>(std::atoi(argv[i + 1]));
    if (key == "--runs") runs = std::max(1, std::atoi(argv[i + 1]));
  }
  char pattern[] = "/tmp/vantrel-settings-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) Fail("mkdtemp failed");
  const std::string path = std::string(pattern) + "/vantrel.Ini";
  const std::string text = SettingsText(kib * 1024);
  if (!platform::WriteFileAtomically(path, text)) Fail("cannot write " + path);

  std::vector<double> once, perKey;
  int checksum = 0;
  for (int run = 0; run < runs; ++run) {
    auto start = std::chrono::steady_clock::now();
    app::SettingsFile file(path);
    const app::Settings values = file.Values(app::Settings{});
    const telnet::SocksRoute route = app::ReadSocksSection(file.Contents());
    once.push_back(Milliseconds(std::chrono::steady_clock::now() - start));
    checksum += values.width + static_cast<int>(route.port.size());

    start = std::chrono::steady_clock::now();
    for (const char* key : {"rt", "single"}) checksum += platform::GetPrivateProfileInt("main", key, 0, path);
    checksum += static_cast<int>(platform::GetPrivateProfileString("main", "ip", "", path).size());
    for (const char* key : {"top", "left", "height", "width", "p_width"}) {
      checksum += platform::GetPrivateProfileInt("pos", key, 0, path);
    }
    checksum += static_cast<int>(app::ReadSocksSection(path).port.size());
    perKey.push_back(Milliseconds(std::chrono::steady_clock::now() - start));
  }
  unlink(path.c_str());
  rmdir(pattern);

  std::printf("settings file: %zu KiB, %d runs (checksum %d)\n", text.size() / 1024, runs, checksum);
  std::printf("read once, all keys and [socks], median: %8.2f ms\n", Median(once));
  std::printf("read once per key (13 reads), median:    %8.2f ms\n", Median(perKey));
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return RunBenchmark("vantrel-settings-bench", Main, argc, argv); }
