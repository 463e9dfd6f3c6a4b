// Which arguments the long options take, which are usage errors, and what is
// left for the short switches.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Case {
  const char* name;
  std::vector<std::string> arguments;
  std::string error;  // empty: none
  std::vector<std::string> switches;
};

class LongOptions : public testing::TestWithParam<Case> {};

TEST_P(LongOptions, ErrorAndSwitchesLeft) {
  const app::CommandLine line = app::ParseCommandLine(GetParam().arguments);
  EXPECT_EQ(line.error, GetParam().error);
  EXPECT_EQ(line.switches, GetParam().switches);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LongOptions,
    testing::Values(
        Case{"UnknownIsAnError",
             {"-h", "--hots", "10.0.0.1"},
             "unknown option --hots",
             {"-h", "--hots", "10.0.0.1"}},
        Case{"UnknownWithEquals", {"--verbose=1"}, "unknown option --verbose=1", {"--verbose=1"}},
        Case{"FlagTakesNoEquals", {"--help=me"}, "unknown option --help=me", {"--help=me"}},
        Case{"CommandOfDashC", {"-c", "--foo"}, "", {"-c", "--foo"}},
        Case{"CommandOfDashCapitalCd", {"-CD", "--foo"}, "", {"-CD", "--foo"}},
        Case{"OnlyRightAfterDashC",
             {"-c", "A", "--foo"},
             "unknown option --foo",
             {"-c", "A", "--foo"}},
        Case{"MixedCaseSwitchTakesNoCommand",
             {"-Cd", "--foo"},
             "unknown option --foo",
             {"-Cd", "--foo"}},
        Case{"LoneDoubleDashIgnored", {"--", "-c", "A"}, "", {"--", "-c", "A"}},
        Case{"ShortUnknownIgnored", {"-x", "-cD"}, "", {"-x", "-cD"}},
        Case{"FirstErrorWins", {"--foo", "--bar"}, "unknown option --foo", {"--foo", "--bar"}},
        Case{"HostAndModelTakenOut", {"--host", "r1", "--model=auto", "-h"}, "", {"-h"}},
        Case{"HostValueIsNoOption", {"--host", "--model", "auto"}, "--host needs a value", {}},
        Case{"SocksLeftWithItsValue",
             {"--socks", "socks5://p:1080", "-h"},
             "",
             {"--socks", "socks5://p:1080", "-h"}},
        Case{"SocksWithEqualsSplit",
             {"--socks=socks5://p", "-h"},
             "",
             {"--socks", "socks5://p", "-h"}},
        Case{"SocksTakesAnythingAsItsUrl",
             {"--socks", "--bogus"},
             "--socks --bogus: not a SOCKS URL (socks4://, socks4a://, socks5:// or "
             "socks5h://host[:port])",
             {"--socks", "--bogus"}},
        Case{"SocksAtTheEndNeedsAUrl",
             {"-h", "--socks"},
             "--socks needs a URL, such as socks5://127.0.0.1:1080",
             {"-h", "--socks"}}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
