// A closed terminal ends the window as a logout does: a change made in the
// settings dialog reaches the settings file. The program's own start-up runs
// in a child process, since the signal's close ends the process.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCheckBox>
#include <QTimer>
#include <chrono>
#include <thread>

#include "app/application.h"
#include "app/main_window.h"
#include "app/message_pump.h"
#include "app/program_entry.h"
#include "app/settings_dialog.h"
#include "app/termination_signals.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "support/temp_folder.h"

namespace {

[[noreturn]] void RunWindowUntilHangup(const std::string& folder) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  app::InstallTerminationHandlers();
  int argc = 1;
  char name[] = "vantrel";
  char* argv[] = {name, nullptr};
  VantrelApplication application(argc, argv);
  PlatformMessagePump pump;
  app::EntryHooks hooks;
  hooks.startUpFinished = [](TForm1& form) {
    QTimer::singleShot(0, &form, [&form] {
      QTimer::singleShot(0, form.Form2, [&form] {
        form.Form2->CheckBox1->setChecked(false);
        form.Form2->accept();
      });
      form.N2Click();
      ::kill(::getpid(), SIGHUP);
    });
  };
  app::RunApplication({}, folder, hooks);
  // The signal's close ends the process; getting here is a failure.
  ::_exit(3);
}

TEST(HangupClose, SavesTheSettingsDialogsChange) {
  support::TempFolder dir;
  const std::string folder = dir.Path().string() + "/";
  ASSERT_TRUE(platform::WriteFileAtomically(folder + "vantrel_p.cfg", "item\r\nA\r\nSHOW\r\nend\r\n"));
  ASSERT_TRUE(platform::WriteFileAtomically(folder + "vantrel.Ini", "[main]\r\nsingle=0\r\n"));

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) RunWindowUntilHangup(folder);

  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (::waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(child, SIGKILL);
      ::waitpid(child, &status, 0);
      FAIL() << "the window did not end on SIGHUP";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(platform::GetPrivateProfileString("main", "single", "", folder + "vantrel.Ini"), "1");
}

}  // namespace
