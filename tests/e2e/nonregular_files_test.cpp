// The real program with something else in place of its settings or panel
// file: a FIFO, a device, a folder, a Unix socket, a file far too large, and
// a settings file its user may not read. Start-up must report it and go on at
// once, send nothing while the router's address is unknown, and leave the
// thing in its place alone at close.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>

#include "router_fixture.h"

namespace {

namespace fs = std::filesystem;
using e2e::RouterFixture;

constexpr uid_t kNobody = 65534;

enum class Kind { kFifo, kDevZero, kFolder, kSocket, kOversize, kNoPermission };

struct Case {
  const char* name;
  const char* file;  // which of the two files is replaced
  Kind kind;
};

std::string CaseName(const testing::TestParamInfo<Case>& info) { return info.param.name; }

const char kCompleteSettings[] =
    "[main]\r\nrt=0\r\nip=127.0.0.1\r\nsingle=0\r\n[pos]\r\ntop=101\r\nleft=164\r\n"
    "height=369\r\nwidth=678\r\np_width=183\r\n";
const char kPanel[] = "item\r\nShow all\r\nSHOW\r\nend\r\nx\r\n";

// A listening Unix socket at `path` while it lives.
class UnixSocket {
 public:
  explicit UnixSocket(const std::string& path) : fd_(::socket(AF_UNIX, SOCK_STREAM, 0)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
             ::listen(fd_, 1) == 0;
  }
  ~UnixSocket() { ::close(fd_); }
  bool Bound() const { return bound_; }

 private:
  int fd_;
  bool bound_ = false;
};

// What stands at `path`, for comparing before and after a run.
std::string Describe(const fs::path& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return "missing";
  std::string text = std::to_string(info.st_mode) + "/" + std::to_string(info.st_size) + "/" +
                     std::to_string(info.st_uid);
  if (S_ISLNK(info.st_mode)) text += "->" + fs::read_symlink(path).string();
  return text;
}

class SpecialFile : public testing::TestWithParam<Case> {};

TEST_P(SpecialFile, IsReportedAtOnceAndLeftAloneAtClose) {
  const Case& c = GetParam();
  const bool settings = std::string(c.file) == "vantrel.Ini";
  // An address of the case's own, as the cases run side by side.
  const int host = 180 + static_cast<int>(c.kind) + (settings ? 0 : 10);
  RouterFixture router("127.0.0." + std::to_string(host), 0);
  ASSERT_TRUE(router.Ready());
  e2e::ProgramSandbox& sandbox = router.Sandbox();
  sandbox.WriteFile("vantrel.Ini", kCompleteSettings);
  sandbox.WriteFile("vantrel_p.cfg", kPanel);
  const fs::path path = sandbox.PathOf(c.file);
  fs::remove(path);

  std::unique_ptr<UnixSocket> socket;
  e2e::RunOptions options;
  switch (c.kind) {
    case Kind::kFifo:
      ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
      break;
    case Kind::kDevZero:
      fs::create_symlink("/dev/zero", path);
      break;
    case Kind::kFolder:
      fs::create_directory(path);
      break;
    case Kind::kSocket:
      socket = std::make_unique<UnixSocket>(path.string());
      ASSERT_TRUE(socket->Bound());
      break;
    case Kind::kOversize: {
      // Well-formed all the way, just too much of it: 2 MiB of settings, or
      // a 20 MiB panel.
      const std::string line = settings ? "; a comment line of the settings file\r\n"
                                        : "item\r\nShow all\r\nSHOW\r\nend\r\n";
      const std::size_t size = settings ? (std::size_t{2} << 20) : (std::size_t{20} << 20);
      std::string bytes = settings ? kCompleteSettings : "";
      while (bytes.size() < size) bytes += line;
      sandbox.WriteFile(c.file, bytes);
      break;
    }
    case Kind::kNoPermission:
      // Root reads every file: an ordinary user owns the folder and the rest,
      // root owns the settings file and keeps it to itself.
      sandbox.WriteFile(c.file, kCompleteSettings);
      fs::permissions(path, fs::perms::none);
      for (const auto& entry : fs::directory_iterator(sandbox.Dir())) {
        if (entry.path() != path) {
          ASSERT_EQ(::lchown(entry.path().c_str(), kNobody, kNobody), 0);
        }
      }
      ASSERT_EQ(::chown(sandbox.Dir().c_str(), kNobody, kNobody), 0);
      options.user = kNobody;
      break;
  }
  const std::string before = Describe(path);
  const std::string other = settings ? "vantrel_p.cfg" : "vantrel.Ini";
  const auto otherBefore = sandbox.ReadFile(other);
  const std::string message = "ファイル " + path.string() + " は開けません";

  // A hidden run with a command for the router.
  const auto hidden = sandbox.Run({"-h", "-c", "SHOW", "--host", router.Address()}, options);
  EXPECT_FALSE(hidden.timedOut);
  EXPECT_EQ(hidden.signal, 0);
  EXPECT_EQ(hidden.exitCode, 1);
  EXPECT_NE(hidden.err.find(message), std::string::npos) << hidden.err;
  if (settings) {
    // The address is not known: nothing is sent.
    EXPECT_FALSE(sandbox.Exists("wire.1"));
  } else {
    // Without a panel the command still runs, as it always has.
    EXPECT_NE(router.SentInSession(1).value_or("").find("SHOW\r"), std::string::npos);
  }

  // A window run, closed as a logout closes it.
  const auto window = sandbox.RunAndClose({}, options);
  EXPECT_FALSE(window.timedOut);
  EXPECT_EQ(window.signal, 0);
  EXPECT_EQ(window.exitCode, 0) << window.err;
  EXPECT_NE(window.err.find(message), std::string::npos) << window.err;
  EXPECT_EQ(Describe(path), before);
  EXPECT_EQ(sandbox.ReadFile(other), otherBefore);
  for (const auto& entry : fs::directory_iterator(sandbox.Dir())) {
    EXPECT_NE(entry.path().filename().string().rfind(".vantrel", 0), 0u) << entry.path();
  }
}

INSTANTIATE_TEST_SUITE_P(Files, SpecialFile,
                         testing::Values(Case{"SettingsFifo", "vantrel.Ini", Kind::kFifo},
                                         Case{"SettingsDevZero", "vantrel.Ini", Kind::kDevZero},
                                         Case{"SettingsFolder", "vantrel.Ini", Kind::kFolder},
                                         Case{"SettingsSocket", "vantrel.Ini", Kind::kSocket},
                                         Case{"SettingsTwoMiB", "vantrel.Ini", Kind::kOversize},
                                         Case{"SettingsUnreadable", "vantrel.Ini",
                                              Kind::kNoPermission},
                                         Case{"PanelFifo", "vantrel_p.cfg", Kind::kFifo},
                                         Case{"PanelDevZero", "vantrel_p.cfg", Kind::kDevZero},
                                         Case{"PanelFolder", "vantrel_p.cfg", Kind::kFolder},
                                         Case{"PanelSocket", "vantrel_p.cfg", Kind::kSocket},
                                         Case{"PanelTwentyMiB", "vantrel_p.cfg", Kind::kOversize}),
                         CaseName);

}  // namespace
