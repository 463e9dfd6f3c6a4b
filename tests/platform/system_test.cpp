// Run-time loading, the debug-output sink and the desktop opener.
#include "platform/system.h"

#include <dirent.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"

namespace fs = std::filesystem;
using namespace platform;

namespace {

fs::path MakeTempDir() {
  std::string pattern = (fs::temp_directory_path() / "vantrel-system-XXXXXX").string();
  char* made = mkdtemp(pattern.data());
  EXPECT_NE(made, nullptr);
  return fs::path(pattern);
}

// Children of this process that have ended but were not reaped.
int ZombieChildren() {
  int zombies = 0;
  const std::string me = std::to_string(getpid());
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream in(entry.path() / "stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(text.substr(close + 2));
    std::string state, parent;
    rest >> state >> parent;
    if (parent == me && state == "Z") ++zombies;
  }
  return zombies;
}

}  // namespace

TEST(Loader, LoadsALibraryAndFindsItsExports) {
  HMODULE module = LoadLibrary(VANTREL_LOADER_SAMPLE);
  ASSERT_NE(module, nullptr) << LastLoaderMessage();
  auto answer = reinterpret_cast<int (*)()>(GetProcAddress(module, "vantrel_sample_answer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  EXPECT_TRUE(FreeLibrary(module));
}

TEST(Loader, ExportsNamedLikeTheCLibraryStayPrivateToTheLibrary) {
  HMODULE module = LoadLibrary(VANTREL_LOADER_SAMPLE);
  ASSERT_NE(module, nullptr) << LastLoaderMessage();
  // Looked up in the library: the library's own function.
  auto own =
      reinterpret_cast<int (*)(int, const void*, unsigned)>(GetProcAddress(module, "connect"));
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(own(0, nullptr, 0), 4242);
  // Everyone else still reaches the C library's.
  void* global = dlsym(RTLD_DEFAULT, "connect");
  EXPECT_NE(global, reinterpret_cast<void*>(own));
  errno = 0;
  EXPECT_EQ(::connect(-1, nullptr, 0), -1);
  EXPECT_EQ(errno, EBADF);
  EXPECT_TRUE(FreeLibrary(module));
}

TEST(Loader, AMissingFileIsENOENT) {
  EXPECT_EQ(LoadLibrary("/nonexistent/folder/libnothing.so"), nullptr);
  EXPECT_EQ(GetLastError(), ENOENT);
  EXPECT_FALSE(LastLoaderMessage().empty());
  EXPECT_EQ(LoadLibrary("libvantrel-surely-not-installed.so"), nullptr);
  EXPECT_EQ(GetLastError(), ENOENT);
}

TEST(Loader, AFileThatIsNoLibraryIsENOEXEC) {
  fs::path dir = MakeTempDir();
  const std::string path = (dir / "not-a-library.so").string();
  ASSERT_TRUE(WriteFileAtomically(path, "just some text\r\n"));
  EXPECT_EQ(LoadLibrary(path), nullptr);
  EXPECT_EQ(GetLastError(), ENOEXEC);
  fs::remove_all(dir);
}

TEST(Loader, AMissingExportIsESRCH) {
  HMODULE module = LoadLibrary(VANTREL_LOADER_SAMPLE);
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(GetProcAddress(module, "WSAStartupNotHere"), nullptr);
  EXPECT_EQ(GetLastError(), ESRCH);
  EXPECT_NE(LastLoaderMessage().find("WSAStartupNotHere"), std::string::npos);
  // The C library, a dependency of every library, has `send`; the sample does
  // not, so the look-up must fail instead of handing back the C library's.
  EXPECT_EQ(GetProcAddress(module, "send"), nullptr);
  EXPECT_EQ(GetLastError(), ESRCH);
  FreeLibrary(module);
  EXPECT_EQ(GetProcAddress(nullptr, "x"), nullptr);
  EXPECT_FALSE(FreeLibrary(nullptr));
}

TEST(Loader, TheLastErrorBelongsToTheThread) {
  EXPECT_EQ(LoadLibrary("/nonexistent/libnothing.so"), nullptr);
  int other = -1;
  std::thread([&] { other = GetLastError(); }).join();
  EXPECT_EQ(other, 0);
  EXPECT_EQ(GetLastError(), ENOENT);
}

TEST(DebugOutput, GoesToTheInstalledSinkAndNowhereWithout) {
  std::vector<std::string> lines;
  OutputDebugString("before");  // no sink yet: dropped quietly
  SetDebugOutputSink([&](const std::string& text) { lines.push_back(text); });
  OutputDebugString("0001 connected");
  OutputDebugString(std::string("\x83\x5C\0x", 4));
  SetDebugOutputSink(nullptr);
  OutputDebugString("after");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "0001 connected");
  EXPECT_EQ(lines[1], std::string("\x83\x5C\0x", 4));
}

TEST(ShellOpen, StartsTheOpenerWithoutAShellAndReapsIt) {
  fs::path dir = MakeTempDir();
  const fs::path record = dir / "opened.txt";
  // A stand-in opener first on the search path records what it was given.
  const fs::path opener = dir / "xdg-open";
  {
    std::ofstream out(opener);
    out << "#!/bin/sh\nprintf '%s' \"$1\" > \"" << record.string() << ".tmp\"\nmv \""
        << record.string() << ".tmp\" \"" << record.string() << "\"\n";
  }
  fs::permissions(opener, fs::perms::owner_all);
  const char* oldPath = std::getenv("PATH");
  const std::string savedPath = oldPath != nullptr ? oldPath : "";
  setenv("PATH", (dir.string() + ":" + savedPath).c_str(), 1);

  // Shell metacharacters reach the opener as one plain argument.
  const std::string target = "http://example.invalid/a b;echo x|y$(z)";
  const bool started = ShellOpen(target);
  setenv("PATH", savedPath.c_str(), 1);
  ASSERT_TRUE(started);

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!fs::exists(record) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::yield();
  ASSERT_TRUE(fs::exists(record));
  EXPECT_EQ(ReadFileBytes(record.string()).value_or(""), target);

  // The ended opener does not stay behind as a zombie.
  while (ZombieChildren() > 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::yield();
  EXPECT_EQ(ZombieChildren(), 0);
  fs::remove_all(dir);
}

TEST(ShellOpen, FailsWhenNoOpenerCanBeStarted) {
  const char* oldPath = std::getenv("PATH");
  const std::string savedPath = oldPath != nullptr ? oldPath : "";
  setenv("PATH", "/nonexistent-folder", 1);
  const bool started = ShellOpen("http://example.invalid/");
  setenv("PATH", savedPath.c_str(), 1);
  EXPECT_FALSE(started);
}
