// The user's files through the window: a panel holding bytes that are no
// Shift-JIS character survives the settings dialog and the command box byte
// for byte, and two windows on the same files keep each other's changes.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QTreeWidget>

#include "app/main_window.h"
#include "app/settings_dialog.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "session_test_support.h"

namespace {

constexpr char kRouterAddress[] = "127.0.0.178";

// Bytes that no Shift-JIS character holds, in captions, commands and lines
// outside any block; and an unassigned pair, 85 40. (FF is TELNET's command
// byte on the wire, so the command carries A0.)
const std::vector<std::string> kPanel = {
    "group", "Stat\xFDus", "end",  "item", "Show \xFF", "SHOW \xA0", "end", "note \x85\x40 \x80",
    "item",  "Other",      "SHOW", "end",  "endgroup+", "end"};

const std::string kSettings =
    "[main]\r\nrt=0\r\nip=127.0.0.1\r\nsingle=1\r\n[pos]\r\ntop=50\r\nleft=60\r\n"
    "height=400\r\nwidth=700\r\np_width=150\r\n";

void OpenSettings(TForm1& form, const std::function<void(TForm2&)>& interact) {
  bool interacted = false;
  QTimer::singleShot(0, form.Form2, [&] {
    interact(*form.Form2);
    interacted = true;
  });
  form.N2Click();
  QVERIFY(interacted);
}

std::string Setting(const std::string& path, const char* section, const char* key) {
  return platform::GetPrivateProfileString(section, key, "<missing>", path);
}

}  // namespace

class UserFilesTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TForm1> startWindow(const testing_support::ProgramFolder& folder,
                                      const std::string& settings = kSettings) {
    auto form = testing_support::StartWindow(folder, kPanel, settings);
    if (form) form->CreateDialogs();
    return form;
  }

 private slots:
  void okWithoutEditingWritesThePanelBackByteForByte() {
    testing_support::ProgramFolder folder;
    auto form = startWindow(folder);
    QVERIFY(form);
    const auto before = platform::ReadFileBytes(form->PanelPath());
    OpenSettings(*form, [](TForm2& dialog) { dialog.accept(); });
    QCOMPARE(form->PanelLines(), kPanel);
    form->close();
    QCOMPARE(platform::ReadFileBytes(form->PanelPath()), before);
  }

  void anEditedLineIsWrittenAsTypedAndTheOthersAsTheyWere() {
    testing_support::ProgramFolder folder;
    auto form = startWindow(folder);
    QVERIFY(form);
    OpenSettings(*form, [](TForm2& dialog) {
      // The caption of the second item (line 9) becomes Japanese text.
      QTextCursor cursor(dialog.Memo1->document()->findBlockByNumber(9));
      cursor.select(QTextCursor::LineUnderCursor);
      cursor.insertText(QString::fromUtf8("表示"));
      dialog.accept();
    });
    std::vector<std::string> expected = kPanel;
    expected[9] = "\x95\x5C\x8E\xA6";
    form->close();
    QCOMPARE(platform::ReadFileBytes(form->PanelPath()),
             std::optional<std::string>(platform::JoinLinesCrLf(expected)));
  }

  void aStrayByteInTheAddressSurvivesTheDialog() {
    testing_support::ProgramFolder folder;
    auto form = startWindow(folder, "[main]\r\nip=router\xFF\r\n");
    QVERIFY(form);
    OpenSettings(*form, [](TForm2& dialog) { dialog.accept(); });
    QCOMPARE(form->Host(), std::string("router\xFF"));
  }

  void aPanelCommandWithAStrayByteRunsFromTheCommandBoxAsItIs() {
    QTemporaryDir records;
    const std::string wire = records.path().toStdString() + "/wire";
    testing_support::TestRouter router(kRouterAddress, {"--record", wire});
    QVERIFY(router.Ready());
    testing_support::ProgramFolder folder;
    auto form = startWindow(folder, testing_support::SettingsFor(kRouterAddress, 0, 1));
    QVERIFY(form);
    // The entry runs its command and leaves it in the command box ...
    QTreeWidgetItem* entry = form->TreeView1->topLevelItem(0)->child(0);
    {
      const ActivationSuppressed suppressed(*form);
      form->TreeView1->setCurrentItem(entry);
    }
    form->TreeView1DblClick();
    // ... from where Enter runs it again.
    QTest::keyClick(form->FlatEdit1, Qt::Key_Return);
    for (const char* session : {".1", ".2"}) {
      // The raw bytes as the router received them.
      const std::string sent = platform::ReadFileBytes(wire + session).value_or("");
      QVERIFY2(sent.find("SHOW \xA0\r") != std::string::npos, session);
    }
  }

  void twoWindowsOnTheSameFilesKeepEachOthersChanges() {
    testing_support::ProgramFolder folder;
    // A height below what the window can take: the window is taller than the
    // file says without anyone having resized it.
    std::string settings = kSettings;
    settings.replace(settings.find("height=400"), 10, "height=10");
    auto first = startWindow(folder, settings);
    QVERIFY(first);
    auto second = std::make_unique<TForm1>(std::vector<std::string>{}, folder.Path());
    second->FormCreate();
    second->CreateDialogs();
    second->show();
    QVERIFY(QTest::qWaitForWindowExposed(second.get()));

    OpenSettings(*first, [](TForm2& dialog) {
      dialog.ComboBox1->setCurrentIndex(3);  // MN128-SOHO-SL10
      dialog.accept();
    });
    first->close();
    OpenSettings(*second, [](TForm2& dialog) {
      dialog.CheckBox1->setChecked(true);  // single click on: "single" 0
      dialog.Edit1->setText(QStringLiteral("10.0.0.2"));
      dialog.accept();
    });
    second->close();

    const std::string ini = folder.Path() + "vantrel.Ini";
    QCOMPARE(Setting(ini, "main", "rt"), std::string("2"));
    QCOMPARE(Setting(ini, "main", "single"), std::string("0"));
    QCOMPARE(Setting(ini, "main", "ip"), std::string("10.0.0.2"));
    // Neither window was moved: the place stays as the file had it.
    QCOMPARE(Setting(ini, "pos", "top"), std::string("50"));
    QCOMPARE(Setting(ini, "pos", "p_width"), std::string("150"));
    QCOMPARE(Setting(ini, "pos", "height"), std::string("10"));
  }

  void theWindowsPlaceIsWrittenOnceTheUserMovedIt() {
    testing_support::ProgramFolder folder;
    auto form = startWindow(folder);
    QVERIFY(form);
    const std::string ini = form->SettingsPath();
    // Another instance saved a place meanwhile.
    QVERIFY(platform::WritePrivateProfileString("pos", "left", "99", ini));
    QTest::qWait(0);
    form->move(form->x() + 30, form->y());
    form->close();
    QCOMPARE(Setting(ini, "pos", "left"), std::to_string(form->x()));
    QCOMPARE(Setting(ini, "pos", "top"), std::string("50"));
    QCOMPARE(Setting(ini, "main", "single"), std::string("1"));
  }
};

VANTREL_TEST_MAIN(UserFilesTest)
#include "user_files_test.moc"
