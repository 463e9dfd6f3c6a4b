// Run-time loading, the debug-output sink and the desktop opener.
#include "platform/system.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "support/temp_folder.h"
#include "support/thread_state.h"

namespace fs = std::filesystem;
using namespace platform;

namespace {

// Children of this process, running or ended but not reaped.
int Children() {
  int children = 0;
  const std::string me = std::to_string(getpid());
  for (const auto& entry : fs::directory_iterator("/proc")) {
    if (entry.path().filename().string().find_first_not_of("0123456789") != std::string::npos)
      continue;
    std::istringstream fields(support::ProcStatFields((entry.path() / "stat").string()));
    std::string state, parent;
    fields >> state >> parent;
    if (parent == me) ++children;
  }
  return children;
}

// Puts `folder` in front of the search path for the life of the object.
class SearchPath {
 public:
  explicit SearchPath(const std::string& path) {
    const char* old = std::getenv("PATH");
    saved_ = old != nullptr ? old : "";
    setenv("PATH", path.c_str(), 1);
  }
  ~SearchPath() { setenv("PATH", saved_.c_str(), 1); }

 private:
  std::string saved_;
};

}  // namespace

TEST(Loader, FindsALibrarysOwnExportsAndKeepsThemFromEveryoneElse) {
  HMODULE module = LoadLibrary(VANTREL_LOADER_SAMPLE);
  ASSERT_NE(module, nullptr) << LastLoaderMessage();
  auto answer = reinterpret_cast<int (*)()>(GetProcAddress(module, "vantrel_sample_answer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
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
  EXPECT_TRUE(FreeLibrary(module));
}

TEST(Loader, FailuresSayWhyInTheThreadsLastError) {
  EXPECT_EQ(LoadLibrary("/nonexistent/folder/libnothing.so"), nullptr);
  EXPECT_EQ(GetLastError(), ENOENT);
  EXPECT_FALSE(LastLoaderMessage().empty());
  int other = -1;
  std::thread([&] { other = GetLastError(); }).join();
  EXPECT_EQ(other, 0);
  EXPECT_EQ(LoadLibrary("libvantrel-surely-not-installed.so"), nullptr);
  EXPECT_EQ(GetLastError(), ENOENT);

  support::TempFolder dir;
  ASSERT_TRUE(WriteFileAtomically(dir.File("not-a-library.so"), "just some text\r\n"));
  EXPECT_EQ(LoadLibrary(dir.File("not-a-library.so")), nullptr);
  EXPECT_EQ(GetLastError(), ENOEXEC);

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

TEST(DebugOutput, GoesToTheInstalledSinkAndNowhereWithout) {
  std::vector<std::string> lines;
  OutputDebugString("before");  // no sink yet: dropped quietly
  SetDebugOutputSink([&](const std::string& text) { lines.push_back(text); });
  OutputDebugString("0001 connected");
  OutputDebugString(std::string("\x83\x5C\0x", 4));
  SetDebugOutputSink(nullptr);
  OutputDebugString("after");
  EXPECT_EQ(lines, (std::vector<std::string>{"0001 connected", std::string("\x83\x5C\0x", 4)}));
}

TEST(ShellOpen, StartsTheOpenerWithoutAShellAndReapsIt) {
  support::TempFolder dir;
  const std::string record = dir.File("opened.txt");
  // A stand-in opener first on the search path records what it was given.
  const std::string opener = dir.File("xdg-open");
  std::ofstream(opener) << "#!/bin/sh\nprintf '%s' \"$1\" > \"" << record << ".tmp\"\nmv \""
                        << record << ".tmp\" \"" << record << "\"\n";
  fs::permissions(opener, fs::perms::owner_all);

  // Shell metacharacters reach the opener as one plain argument.
  const std::string target = "http://example.invalid/a b;echo x|y$(z)";
  {
    SearchPath path(dir.Path().string() + ":" + std::getenv("PATH"));
    ASSERT_TRUE(ShellOpen(target));
  }
  ASSERT_TRUE(support::WaitUntil([&] { return fs::exists(record); }));
  EXPECT_EQ(ReadFileBytes(record).value_or(""), target);
  // The ended opener is reaped, not left behind as a zombie.
  EXPECT_TRUE(support::WaitUntil([] { return Children() == 0; }));

  SearchPath nowhere("/nonexistent-folder");
  EXPECT_FALSE(ShellOpen("http://example.invalid/"));
}
