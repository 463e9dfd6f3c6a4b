// JSON Lines from the console run, every line read by Qt's JSON parser: the
// fields, statuses and messages of one router and of many, an answer that
// holds everything a string must escape, and the per-router files.
#include <gtest/gtest.h>
#include <signal.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "many_routers_fixture.h"

namespace {

using namespace many_routers;

std::vector<QJsonObject> Objects(const std::string& out) {
  std::vector<QJsonObject> objects;
  std::size_t start = 0;
  while (start < out.size()) {
    const std::size_t end = out.find('\n', start);
    EXPECT_NE(end, std::string::npos) << "a line without its end";
    if (end == std::string::npos) break;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray(out.data() + start, static_cast<qsizetype>(end - start)), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << out.substr(start, 200);
    objects.push_back(document.object());
    start = end + 1;
  }
  return objects;
}

QStringList Keys(const QJsonObject& object) {
  // QJsonObject sorts its keys; the order on the line is checked apart.
  return object.keys();
}

std::string Text(const QJsonValue& value) { return value.toString().toStdString(); }

TEST(JsonOutput, OneRouterCompleteWithEveryField) {
  ManyRouters run;
  ASSERT_TRUE(run.Serve("127.0.37.1"));
  const e2e::RunResult result =
      run.Run({"-h", "--json", "-cd", "SHOW", "-c", "INFO", "--host", "127.0.37.1"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out.rfind("{\"router\":\"127.0.37.1\",\"model\":\"MT128-NET\",\"command\":\"SHOW\","
                             "\"started\":\"",
                             0),
            0u);
  const std::vector<QJsonObject> objects = Objects(result.out);
  ASSERT_EQ(objects.size(), 2u);
  EXPECT_EQ(Keys(objects[0]), (QStringList{"answer", "command", "elapsed_ms", "message", "model",
                                           "router", "started", "status"}));
  EXPECT_EQ(Text(objects[0]["answer"]), "router 127.0.37.1\nsecond line of 127.0.37.1");
  EXPECT_EQ(Text(objects[0]["status"]), "complete");
  EXPECT_TRUE(objects[0]["message"].isNull());
  EXPECT_GE(objects[0]["elapsed_ms"].toDouble(-1), 0);
  // RFC 3339 with milliseconds and the offset.
  EXPECT_TRUE(QString(objects[0]["started"].toString())
                  .contains(QRegularExpression(
                      R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d$)")));
  EXPECT_TRUE(objects[1]["answer"].isNull());
  EXPECT_EQ(Text(objects[1]["command"]), "INFO");
}

TEST(JsonOutput, ManyRoutersInOrderWithTheirFailures) {
  ManyRouters run;
  ASSERT_TRUE(run.Serve("127.0.37.11"));
  ASSERT_TRUE(run.Serve("127.0.37.13", {"--close-in-output"}));
  ASSERT_TRUE(run.Serve("127.0.37.14", {"--endless-output"}));
  ASSERT_TRUE(run.Serve("127.0.37.15"));
  // 127.0.37.12: nothing listens.
  const std::vector<std::string> hosts{"127.0.37.11", "127.0.37.12", "127.0.37.13", "127.0.37.14",
                                       "127.0.37.15"};
  std::vector<std::string> arguments{"-h", "--json", "-cd", "SHOW", "-cd", "INFO"};
  for (const std::string& host : hosts) arguments.insert(arguments.end(), {"--host", host});
  const e2e::RunResult result = run.Run(arguments);
  EXPECT_EQ(result.exitCode, 1);
  const std::vector<QJsonObject> objects = Objects(result.out);
  ASSERT_EQ(objects.size(), 10u);
  const struct {
    const char* status;
    std::string message;
  } expected[] = {
      {"complete", ""},
      {"complete", ""},
      {"failed", std::string("エラー: ") + kLoginFailed + "\n127.0.37.12 への接続が拒否されました"},
      {"failed", std::string("エラー: ") + kLoginFailed + "\n127.0.37.12 への接続が拒否されました"},
      {"incomplete", kIncomplete},
      {"incomplete", kIncomplete},
      {"cut", "Vantrel: 出力が 64 MiB を超えたため、以降を破棄しました"},
      {"skipped", ""},
      {"complete", ""},
      {"complete", ""},
  };
  for (std::size_t i = 0; i < objects.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(Text(objects[i]["router"]), hosts[i / 2]);
    EXPECT_EQ(Text(objects[i]["command"]), i % 2 == 0 ? "SHOW" : "INFO");
    EXPECT_EQ(Text(objects[i]["status"]), expected[i].status);
    if (expected[i].message.empty()) {
      EXPECT_TRUE(objects[i]["message"].isNull());
    } else {
      EXPECT_EQ(Text(objects[i]["message"]), expected[i].message);
    }
  }
  EXPECT_EQ(Text(objects[1]["answer"]), "info 127.0.37.11");
  EXPECT_EQ(Text(objects[2]["answer"]), "");
  EXPECT_TRUE(objects[7]["answer"].isNull());
  EXPECT_TRUE(objects[7]["started"].isNull());
  EXPECT_GT(objects[6]["answer"].toString().size(), 60 << 20);
  // Standard error keeps its messages and the summary.
  EXPECT_NE(result.err.find("127.0.37.12: SHOW: エラー: "), std::string::npos);
  EXPECT_NE(result.err.find("5 台中 3 台のルーターで失敗しました"), std::string::npos);
}

// Whatever the answer holds, its string gives back the lines the text form
// writes, a forged header line among them.
TEST(JsonOutput, AnyAnswerIsOneStringOfTheLinesTheTextFormShows) {
  ManyRouters run;
  // say "hi" \ ESC[31m red, SOH, DEL, 0xFF (no character), 日本, then a line
  // that looks like the next router's header.
  const std::string hex =
      "736179202268692220205c201b5b33316d726564010d0a7f20ff20937a967b0d0a"
      "3d3d203132372e302e33372e3239203d3d0d0a";
  ASSERT_TRUE(run.Serve("127.0.37.21-22", {"--answer-hex", hex}));
  const std::vector<std::string> hosts{"--host", "127.0.37.21", "--host", "127.0.37.22"};
  std::vector<std::string> text{"-h", "-cd", "SHOW", "--output-dir", "text"};
  text.insert(text.end(), hosts.begin(), hosts.end());
  ASSERT_EQ(run.Run(text).exitCode, 0);
  std::vector<std::string> json{"-h", "--json", "-cd", "SHOW"};
  json.insert(json.end(), hosts.begin(), hosts.end());
  const e2e::RunResult result = run.Run(json);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out.find('\x1b'), std::string::npos);
  const std::vector<QJsonObject> objects = Objects(result.out);
  ASSERT_EQ(objects.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    const std::optional<std::string> block =
        run.Sandbox().ReadFile("text/" + hosts[2 * i + 1] + ".txt");
    ASSERT_TRUE(block && !block->empty());
    EXPECT_EQ(objects[i]["answer"].toString().toUtf8().toStdString(),
              block->substr(0, block->size() - 1));
  }
}

TEST(JsonOutput, AWindowIsNoPlaceForItAndAFolderGetsAFileOfLines) {
  ManyRouters run;
  ASSERT_TRUE(run.Serve("127.0.37.31-32"));
  const e2e::RunResult windowed = run.Run({"--json", "-cd", "SHOW", "--host", "127.0.37.31"});
  EXPECT_EQ(windowed.exitCode, 2);
  EXPECT_NE(windowed.err.find("--json needs -h"), std::string::npos) << windowed.err;
  const e2e::RunResult result = run.Run({"-h", "--json", "-cd", "SHOW", "-cd", "INFO", "--host",
                                         "127.0.37.31", "--host", "127.0.37.32",
                                         "--output-dir", "out"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "");
  for (const char* host : {"127.0.37.31", "127.0.37.32"}) {
    const std::optional<std::string> lines = run.Sandbox().ReadFile(std::string("out/") + host + ".jsonl");
    ASSERT_TRUE(lines.has_value()) << host;
    const std::vector<QJsonObject> objects = Objects(*lines);
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(Text(objects[1]["answer"]), std::string("info ") + host);
    EXPECT_FALSE(run.Sandbox().Exists(std::string("out/") + host + ".txt"));
  }
}

// A signal ends the line under way, as failed, before the program goes.
TEST(JsonOutput, ASignalClosesTheLineUnderWay) {
  ManyRouters run;
  for (const char* host : {"127.0.37.41", "127.0.37.42", "127.0.37.43"}) {
    ASSERT_TRUE(run.Serve(host, {"--delay", "10000"}));
  }
  const struct {
    int signal;
    const char* name;
    const char* host;
  } endings[] = {{SIGTERM, "SIGTERM", "127.0.37.41"},
                 {SIGINT, "SIGINT", "127.0.37.42"},
                 {SIGHUP, "SIGHUP", "127.0.37.43"}};
  for (std::size_t i = 0; i < std::size(endings); ++i) {
    const auto& s = endings[i];
    SCOPED_TRACE(s.name);
    auto program = run.Sandbox().Start({"-h", "--json", "-cd", "SHOW", "--host", s.host});
    ASSERT_TRUE(run.Simulator(i).wait_for_line(" open ", std::chrono::seconds(10)).has_value());
    double seconds = 0;
    const e2e::RunResult result = program->SignalAndFinish(s.signal, seconds);
    EXPECT_EQ(result.signal, s.signal);
    const std::vector<QJsonObject> objects = Objects(result.out);
    ASSERT_EQ(objects.size(), 1u) << result.out;
    EXPECT_EQ(Text(objects[0]["status"]), "failed");
    EXPECT_EQ(Text(objects[0]["message"]), std::string("vantrel: ended by ") + s.name);
    EXPECT_EQ(Text(objects[0]["answer"]), "");
  }
}

}  // namespace
