// The termination signals: the first one is taken in for an orderly close,
// and from then on every one of them has its default action again, so that a
// second signal ends the program at once. Each case runs in a child process
// of its own, since the handlers are installed once per process.
#include "app/termination_signals.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ostream>
#include <string>

#include "../support/deadline.h"

namespace {

struct NamedSignal {
  const char* name;
  int number;
};

const NamedSignal kTerminationSignals[] = {
    {"SIGTERM", SIGTERM},
    {"SIGINT", SIGINT},
    {"SIGHUP", SIGHUP},
};

void PrintTo(const NamedSignal& s, std::ostream* os) { *os << s.name; }

// In the child: installs the handlers, takes `first` in, and exits with one
// bit set for each termination signal whose action is not the default then.
[[noreturn]] void RaiseAndReport(int first) {
  app::InstallTerminationHandlers();
  ::raise(first);  // without a handler of ours the child ends right here
  int notDefault = 0;
  int bit = 1;
  for (const NamedSignal& s : kTerminationSignals) {
    struct sigaction now {};
    sigaction(s.number, nullptr, &now);
    if (now.sa_handler != SIG_DFL) notDefault |= bit;
    bit <<= 1;
  }
  ::_exit(notDefault);
}

class FirstTerminationSignalTest : public ::testing::TestWithParam<NamedSignal> {};

TEST_P(FirstTerminationSignalTest, LeavesEveryTerminationSignalAtItsDefault) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) RaiseAndReport(GetParam().number);
  int status = 0;
  ASSERT_TRUE(support::WaitUntil([&] { return ::waitpid(child, &status, WNOHANG) == child; }));
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0) << "one bit per signal still handled, in table order";
}

INSTANTIATE_TEST_SUITE_P(Signals, FirstTerminationSignalTest,
                         ::testing::ValuesIn(kTerminationSignals),
                         [](const ::testing::TestParamInfo<NamedSignal>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
