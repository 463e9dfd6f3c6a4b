// Shared by the window tests: a program folder of their own, and a test main
// that runs under the program's own application object.
#pragma once

#include <unistd.h>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdio>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/message_pump.h"
#include "platform/files.h"

namespace testing_support {

// A temporary folder standing in for the program's own folder.
class ProgramFolder {
 public:
  ProgramFolder() { QVERIFY(dir_.isValid()); }
  std::string Path() const { return dir_.path().toStdString() + "/"; }
  void WritePanel(const std::vector<std::string>& lines) const {
    QVERIFY(
        platform::WriteFileAtomically(Path() + "vantrel_p.cfg", platform::JoinLinesCrLf(lines)));
  }
  void WriteSettings(const std::string& bytes) const {
    QVERIFY(platform::WriteFileAtomically(Path() + "vantrel.Ini", bytes));
  }

 private:
  QTemporaryDir dir_;
};

// Everything written to one of the process's own streams while it lives.
class CapturedStream {
 public:
  explicit CapturedStream(std::FILE* stream) : stream_(stream), fd_(fileno(stream)) {
    std::fflush(stream_);
    file_ = std::tmpfile();
    saved_ = ::dup(fd_);
    ::dup2(fileno(file_), fd_);
  }
  ~CapturedStream() { restore(); }

  QByteArray Text() {
    restore();
    std::rewind(file_);
    QByteArray text;
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file_)) > 0) text.append(buffer, got);
    return text;
  }

 private:
  void restore() {
    if (saved_ < 0) return;
    std::fflush(stream_);
    ::dup2(saved_, fd_);
    ::close(saved_);
    saved_ = -1;
  }

  std::FILE* stream_;
  int fd_;
  std::FILE* file_ = nullptr;
  int saved_ = -1;
};

}  // namespace testing_support

// QTEST_MAIN with the program's application object, whose notify() turns
// escaped errors into the error box, and its message pump, through which the
// command cycle's waits serve the sockets and Qt alike.
#define VANTREL_TEST_MAIN(TestClass)            \
  int main(int argc, char** argv) {             \
    VantrelApplication application(argc, argv); \
    PlatformMessagePump pump;                   \
    TestClass test;                             \
    return QTest::qExec(&test, argc, argv);     \
  }
