// The real program when no router answers: a refused connection, and one that
// is silently dropped (as by a router that is switched off).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "router_fixture.h"

namespace {

using e2e::ProgramSandbox;

constexpr char kLoginFailed[] = "ログインできませんでした";

// `secondLine` is why, after the log-in error.
void ExpectLoginFailure(const e2e::CycleRun& run, const std::string& secondLine) {
  EXPECT_FALSE(run.result.timedOut);
  EXPECT_EQ(run.result.exitCode, 1);
  EXPECT_NE(run.result.err.find(std::string(kLoginFailed) + "\n" + secondLine + "\n"),
            std::string::npos)
      << run.result.err;
  // The -cd box still comes, with the empty pane.
  EXPECT_EQ(run.result.out, "\n");
}

// Drops every packet to `address` port 23 while it lives, with nftables or
// else iptables. The rule goes into a table (or carries a comment) of this
// process's own, so parallel tests do not disturb each other.
class DroppedPort {
 public:
  explicit DroppedPort(const std::string& address) {
    table_ = "vantrel_e2e_" + std::to_string(::getpid());
    if (Shell("nft add table ip " + table_ + " && nft add chain ip " + table_ +
              " input '{ type filter hook input priority -10; }' && nft add rule ip " + table_ +
              " input ip daddr " + address + " tcp dport 23 drop")) {
      removal_ = "nft delete table ip " + table_;
      return;
    }
    Shell("nft delete table ip " + table_);
    const std::string rule = "INPUT -d " + address + " -p tcp --dport 23 -j DROP";
    if (Shell("iptables -I " + rule)) {
      removal_ = "iptables -D " + rule;
      return;
    }
    why_ = "neither nftables nor iptables could add a rule (root and the tools are needed)";
  }
  ~DroppedPort() {
    if (!removal_.empty()) Shell(removal_);
  }
  bool Active() const { return !removal_.empty(); }
  const std::string& WhyNot() const { return why_; }

 private:
  static bool Shell(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
  }
  std::string table_;
  std::string removal_;
  std::string why_;
};

TEST(ConnectionFailure, RefusedConnectionShowsTheErrorBoxAndNothingElse) {
  ProgramSandbox sandbox;
  sandbox.WriteFile("vantrel_p.cfg", "");
  // Nothing listens on this address.
  sandbox.WriteFile("vantrel.Ini", "[main]\r\nrt=0\r\nip=127.0.0.120\r\n");
  const auto run = e2e::TimedRun(sandbox, {"-h", "-cd", "SHOW"});
  // Refused, there is nothing to wait for: the engine's tests show it ends
  // at tick 0 in a run without a window.
  ExpectLoginFailure(run, "127.0.0.120 への接続が拒否されました");
}

// With many routers, each line of the error follows its router's address.
TEST(ConnectionFailure, EveryLineOfTheLogInErrorNamesItsRouter) {
  ProgramSandbox sandbox;
  sandbox.WriteFile("vantrel_p.cfg", "");
  sandbox.WriteFile("vantrel.Ini", "[main]\r\nrt=0\r\n");
  const auto run = e2e::TimedRun(
      sandbox, {"-h", "-cd", "SHOW", "--host", "127.0.0.120", "--host", "127.0.0.122"});
  EXPECT_EQ(run.result.exitCode, 1);
  for (const std::string address : {"127.0.0.120", "127.0.0.122"}) {
    EXPECT_NE(run.result.err.find(address + ": エラー: " + kLoginFailed + "\n" + address + ": " +
                                  address + " への接続が拒否されました\n"),
              std::string::npos)
        << run.result.err;
  }
}

TEST(ConnectionFailure, SilentlyDroppedConnectionGivesUpAfterAboutFourSeconds) {
  // A router listens there, but never sees a packet: nothing may be sent.
  e2e::RouterFixture router("127.0.0.121", 0);
  ASSERT_TRUE(router.Ready());
  DroppedPort dropped("127.0.0.121");
  if (!dropped.Active()) GTEST_SKIP() << dropped.WhyNot();
  const auto run = router.Run({"-h", "-cd", "SHOW"});
  ExpectLoginFailure(run, "127.0.0.121 から時間内に応答がありませんでした");
  // The connection had its four ticks before the cycle gave up (three would
  // be over by 3.1 s).
  EXPECT_GE(run.seconds, 3.5);
  EXPECT_LT(run.seconds, 8.0);
  for (const std::string& event : router.Simulator().lines()) {
    EXPECT_EQ(event.find("session"), std::string::npos) << event;
  }
}

}  // namespace
