// Run-time loading, the debug-output sink and the desktop opener.
#include "platform/system.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "support/deadline.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;
using namespace platform;

TEST(Loader, FindsALibrarysOwnExportsAndKeepsThemFromEveryoneElse) {
  HMODULE module = LoadLibrary(VANTREL_LOADER_SAMPLE);
  ASSERT_NE(module, nullptr) << LastLoaderMessage();
  // The sample exports `connect`, as the C library does: looked up in the
  // library, it is the library's own; everyone else still reaches the C
  // library's.
  auto own =
      reinterpret_cast<int (*)(int, const void*, unsigned)>(GetProcAddress(module, "connect"));
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(own(0, nullptr, 0), 4242);
  EXPECT_NE(dlsym(RTLD_DEFAULT, "connect"), reinterpret_cast<void*>(own));
  errno = 0;
  EXPECT_EQ(::connect(-1, nullptr, 0), -1);
  EXPECT_EQ(errno, EBADF);
  // The C library, a dependency of the sample, has `send`; the sample does
  // not, so the look-up must fail instead of handing back the C library's.
  EXPECT_EQ(GetProcAddress(module, "send"), nullptr);
  EXPECT_EQ(GetLastError(), ESRCH);
  EXPECT_NE(LastLoaderMessage().find("send"), std::string::npos);
  EXPECT_TRUE(FreeLibrary(module));
}

TEST(Loader, FailuresSayWhyInTheThreadsLastError) {
  EXPECT_EQ(LoadLibrary("/nonexistent/folder/libnothing.so"), nullptr);
  EXPECT_EQ(GetLastError(), ENOENT);
  EXPECT_FALSE(LastLoaderMessage().empty());
  int other = -1;
  std::thread([&] { other = GetLastError(); }).join();
  EXPECT_EQ(other, 0);

  support::TempFolder dir;
  ASSERT_TRUE(WriteFileAtomically(dir.File("not-a-library.so"), "just some text\r\n"));
  EXPECT_EQ(LoadLibrary(dir.File("not-a-library.so")), nullptr);
  EXPECT_EQ(GetLastError(), ENOEXEC);
}

TEST(DebugOutput, GoesToTheInstalledSinkAndNowhereWithout) {
  std::vector<std::string> lines;
  OutputDebugString("before");  // no sink yet: dropped quietly
  SetDebugOutputSink([&](const std::string& text) { lines.push_back(text); });
  OutputDebugString(std::string("\x83\x5C\0x", 4));
  SetDebugOutputSink(nullptr);
  OutputDebugString("after");
  EXPECT_EQ(lines, (std::vector<std::string>{std::string("\x83\x5C\0x", 4)}));
}

TEST(ShellOpen, StartsTheOpenerWithoutAShellAndReapsIt) {
  support::TempFolder dir;
  const std::string record = dir.File("opened.txt");
  // A stand-in opener first on the search path records what it was given.
  const std::string opener = dir.File("xdg-open");
  std::ofstream(opener) << "#!/bin/sh\nprintf '%s' \"$1\" > \"" << record << ".tmp\"\nmv \""
                        << record << ".tmp\" \"" << record << "\"\n";
  fs::permissions(opener, fs::perms::owner_all);
  const std::string searchPath = std::getenv("PATH");

  // Shell metacharacters reach the opener as one plain argument.
  const std::string target = "http://example.invalid/a b;echo x|y$(z)";
  setenv("PATH", (dir.Path().string() + ":" + searchPath).c_str(), 1);
  const bool started = ShellOpen(target);
  setenv("PATH", "/nonexistent-folder", 1);
  EXPECT_FALSE(ShellOpen("http://example.invalid/"));
  setenv("PATH", searchPath.c_str(), 1);
  ASSERT_TRUE(started);
  ASSERT_TRUE(support::WaitUntil([&] { return fs::exists(record); }));
  EXPECT_EQ(ReadFileBytes(record).value_or(""), target);
  // The ended opener is reaped, not left behind as a zombie: no child at all
  // remains (WNOWAIT only looks).
  EXPECT_TRUE(support::WaitUntil([] {
    siginfo_t info{};
    return waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) == -1 && errno == ECHILD;
  }));
}
