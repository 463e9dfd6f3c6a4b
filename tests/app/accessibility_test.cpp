// The windows as a screen reader sees them, through Qt's own accessibility
// interfaces in the process: every control's role, name and actions, the
// output pane's text read by offsets on a 10 MB answer, the press actions,
// the lamps' busy state around a real cycle. The events that announce changes
// need a listening assistive technology: the end-to-end check on the
// accessibility bus hears them.
#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSplitter>
#include <QStatusBar>
#include <QTreeWidget>
#include <set>

#include "app/about_box.h"
#include "app/accessible_window.h"
#include "app/answer_box.h"
#include "app/main_window.h"
#include "app/output_pane.h"
#include "app/pane_lines.h"
#include "app/settings_dialog.h"
#include "session_test_support.h"

namespace {

constexpr char kRouterAddress[] = "127.0.35.1";

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

QAccessibleInterface* A(QObject* object) { return QAccessible::queryAccessibleInterface(object); }

QAccessibleTextInterface* TextOf(QObject* object) { return A(object)->textInterface(); }

// Every object a screen reader reaches from `root` by walking children.
void Walk(QAccessibleInterface* node, std::set<QObject*>& reached, QStringList& hidden) {
  if (node == nullptr) return;
  reached.insert(node->object());
  // Qt's tree lists its header cells even while the header is hidden.
  if (node->state().invisible && node->object() != nullptr) hidden << node->object()->objectName();
  for (int i = 0; i < node->childCount(); ++i) Walk(node->child(i), reached, hidden);
}

// A 10 MB answer: lines of 40 characters, "line NNNNNNN " then double-byte
// characters, so offsets and bytes differ on every line.
struct BigAnswer {
  static constexpr int kCharacters = 40;
  std::string received;
  std::vector<app::LineSpan> spans;
  BigAnswer() {
    const std::string wide = "\x88\x9F";  // 亜
    while (received.size() < 10 * 1024 * 1024) {
      char head[16];
      std::snprintf(head, sizeof head, "line %07zu ", spans.size());
      std::string line = head;
      while (line.size() < 13 + 2 * (kCharacters - 13)) line += wide;
      spans.push_back({static_cast<std::uint32_t>(received.size()),
                       static_cast<std::uint32_t>(line.size())});
      received += line + "\r\n";
    }
  }
  static QString Line(int n) {
    return QString::asprintf("line %07d ", n) + QString(kCharacters - 13, QChar(0x4E9C));
  }
};

}  // namespace

class AccessibilityTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<testing_support::TestRouter> router_;
  std::unique_ptr<testing_support::ProgramFolder> folder_;

  std::unique_ptr<TForm1> startWindow() {
    folder_ = std::make_unique<testing_support::ProgramFolder>();
    auto form = testing_support::StartWindow(
        *folder_, {"item", "Show", "SHOW", "end", "end"},
        testing_support::SettingsFor(kRouterAddress, 0, 1), {"-c", "SHOW"});
    if (form) form->CreateDialogs();
    return form;
  }

 private slots:
  void initTestCase() {
    router_ = std::make_unique<testing_support::TestRouter>(
        kRouterAddress, std::vector<std::string>{"--delay", "300"});
    QVERIFY(router_->Ready());
  }

  void everyControlHasItsRoleNameAndActions() {
    auto form = startWindow();
    QVERIFY(form);
    app::PaneLines lines;
    lines.Add("answer");
    app::AnswerBox answerBox(form.get(), U("Vantrel"), lines);
    TForm2& settings = *form->Form2;
    TAboutBox& about = *form->AboutBox;
    const QString press = QAccessibleActionInterface::pressAction();
    const QString menu = QAccessibleActionInterface::showMenuAction();
    struct Control {
      QWidget* window;
      QWidget* widget;
      QAccessible::Role role;
      QString name;
      QStringList actions;  // only checked when given
    };
    const std::vector<Control> controls = {
        {form.get(), form->FlatButton3, QAccessible::PushButton, U("更新"), {press}},
        {form.get(), form->FlatButton1, QAccessible::PushButton, U("設定"), {press}},
        {form.get(), form->FlatButton2, QAccessible::PushButton, U("ヘルプ"), {press, menu}},
        {form.get(), form->FlatEdit1, QAccessible::EditableText, U("ルーターに送るコマンド"), {}},
        {form.get(), form->TreeView1, QAccessible::Tree, U("操作パネル"), {}},
        {form.get(), form->Memo1, QAccessible::EditableText, U("ルーターの応答"), {}},
        {form.get(), form->Panel3, QAccessible::StatusBar, U("通信状態"), {press}},
        {form.get(), form->Image1, QAccessible::Graphic, U("ISDN"), {}},
        {form.get(), form->StatusBar1, QAccessible::StatusBar, U("ステータスバー"), {}},
        {&settings, settings.Edit1, QAccessible::EditableText, U("ルーターIPアドレス"), {}},
        {&settings, settings.ComboBox1, QAccessible::ComboBox, U("ルーター機種"), {}},
        {&settings, settings.Memo1, QAccessible::EditableText, U("操作パネルのカスタマイズ"), {}},
        {&settings, settings.CheckBox1, QAccessible::CheckBox, U("シングルクリック"), {}},
        {&settings, settings.Button2, QAccessible::PushButton, U("OK"), {}},
        {&settings, settings.Button1, QAccessible::PushButton, U("キャンセル(C)"), {}},
        {&about, about.FlatButton2, QAccessible::PushButton, U("Homepage"), {press}},
        {&about, about.FlatButton1, QAccessible::PushButton, U("OK"), {press}},
        {&about, about.ProgramIcon, QAccessible::Graphic, U("Vantrel のアイコン"), {}},
        {&answerBox, answerBox.Pane(), QAccessible::EditableText, U("ルーターの応答"), {}},
        {&answerBox, answerBox.OkButton(), QAccessible::PushButton, U("OK"), {}},
    };
    settings.show();
    about.show();
    answerBox.show();
    for (const Control& control : controls) {
      const QByteArray row = control.widget->objectName().toUtf8() + " of " +
                             control.window->objectName().toUtf8();
      QAccessibleInterface* node = A(control.widget);
      QVERIFY2(node != nullptr, row);
      QVERIFY2(node->role() == control.role, row + " role " + QByteArray::number(node->role()));
      QVERIFY2(node->text(QAccessible::Name) == control.name,
               row + " named " + node->text(QAccessible::Name).toUtf8());
      if (!control.actions.isEmpty()) {
        QVERIFY2(node->actionInterface()->actionNames() == control.actions, row);
      }
      // Reached from its window, as a screen reader walks the tree.
      std::set<QObject*> reached;
      QStringList hidden;
      Walk(A(control.window), reached, hidden);
      QVERIFY2(reached.count(control.widget) == 1, row + " not in its window's tree");
    }
    // The help button tells that it opens a menu; the lamps what a click does.
    QVERIFY(A(form->FlatButton2)->state().hasPopup);
    QCOMPARE(A(form->FlatButton2)->text(QAccessible::Description), U("メニューを開きます"));
    QCOMPARE(A(form->Panel3)->text(QAccessible::Description), U("待機中。クリックで取得を中止します"));
    QCOMPARE(A(about.FlatButton2)->actionInterface()->keyBindingsForAction(press),
             QStringList{U("Alt+H")});
    // The pane is a read-only multi-line text; the edit box can be edited.
    const QAccessible::State pane = A(form->Memo1)->state();
    QVERIFY(pane.readOnly && pane.multiLine && !pane.editable);
    QCOMPARE(TextOf(form->Memo1)->text(0, -1), U("A\nB"));
    QVERIFY(!A(form->FlatEdit1)->state().readOnly);
    // Labels are tied to their fields.
    const auto labelled = A(settings.ComboBox1)->relations(QAccessible::Label);
    QVERIFY(!labelled.isEmpty() && labelled.first().first->object() == settings.Label2);
    // The model list still says which entry is chosen.
    settings.ComboBox1->setCurrentIndex(2);
    QCOMPARE(A(settings.ComboBox1)->text(QAccessible::Value), U("MN128-SOHO"));
    QCOMPARE(A(settings.ComboBox1)->text(QAccessible::Description), U("MN128-SOHO"));
  }

  void hiddenControlsAreNotInTheTree() {
    auto form = startWindow();
    QVERIFY(form);
    std::set<QObject*> reached;
    QStringList hidden;
    Walk(A(form.get()), reached, hidden);
    QVERIFY2(hidden.isEmpty(), hidden.join(' ').toUtf8());
    for (QObject* absent : {static_cast<QObject*>(form->Memo2), static_cast<QObject*>(form->Button5),
                            static_cast<QObject*>(form->Label1), static_cast<QObject*>(form->Label5)}) {
      QVERIFY2(reached.count(absent) == 0, absent->objectName().toUtf8());
    }
    QVERIFY(reached.count(form->Image1) == 1);
    // The operation panel comes before the answer, as on the screen.
    QAccessibleInterface* splitter = A(form->Splitter1);
    QCOMPARE(splitter->childCount(), 2);
    QCOMPARE(splitter->child(0)->object(), static_cast<QObject*>(form->Panel1));
    QCOMPARE(splitter->child(1)->object(), static_cast<QObject*>(form->Memo1));
  }

  void thePaneReadsATenMegabyteAnswerByOffsets() {
    const BigAnswer answer;
    app::PaneLines lines;
    lines.AddAnswer(answer.received, answer.spans);
    OutputPane pane;
    pane.resize(400, 200);
    pane.setLines(&lines);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    QAccessibleTextInterface* text = TextOf(&pane);
    QVERIFY(text != nullptr);
    const int perLine = BigAnswer::kCharacters + 1;
    const int count = static_cast<int>(answer.spans.size());
    QCOMPARE(text->characterCount(), count * perLine - 1);

    // A line far down, by an offset inside it, and its neighbours.
    const int n = count - 1000;
    int start = -1;
    int end = -1;
    QCOMPARE(text->textAtOffset(n * perLine + 20, QAccessible::LineBoundary, &start, &end),
             BigAnswer::Line(n) + '\n');
    QCOMPARE(start, n * perLine);
    QCOMPARE(end, (n + 1) * perLine);
    QCOMPARE(text->textBeforeOffset(n * perLine + 20, QAccessible::LineBoundary, &start, &end),
             BigAnswer::Line(n - 1) + '\n');
    QCOMPARE(text->textAfterOffset(n * perLine + 20, QAccessible::LineBoundary, &start, &end),
             BigAnswer::Line(n + 1) + '\n');
    QCOMPARE(text->textAtOffset(count * perLine - 1, QAccessible::LineBoundary, &start, &end),
             BigAnswer::Line(count - 1));
    QCOMPARE(text->textAtOffset(n * perLine + 2, QAccessible::WordBoundary, &start, &end),
             U("line"));
    QCOMPARE(text->textAtOffset(n * perLine + 20, QAccessible::CharBoundary, &start, &end),
             QString(QChar(0x4E9C)));
    QCOMPARE(text->text(n * perLine + 5, n * perLine + 12), QString::asprintf("%07d", n));
    // Asked for everything, it answers with a beginning, not 10 MB at once.
    QCOMPARE(text->text(0, -1).size(), 1 << 20);

    // The caret, set by offset, lands on the character's bytes, and back.
    text->setCursorPosition(n * perLine + 20);
    QCOMPARE(pane.caretPosition(), (PanePosition{n, 13 + 2 * 7}));
    QCOMPARE(text->cursorPosition(), n * perLine + 20);
    QTest::keyClick(&pane, Qt::Key_Down);
    QCOMPARE(text->cursorPosition(), (n + 1) * perLine + 20);
    // A selection made by the keys, and one made by a screen reader.
    QTest::keyClick(&pane, Qt::Key_End, Qt::ShiftModifier);
    QCOMPARE(text->selectionCount(), 1);
    text->selection(0, &start, &end);
    QCOMPARE(start, (n + 1) * perLine + 20);
    QCOMPARE(end, (n + 2) * perLine - 1);
    text->setSelection(0, 5, 3 * perLine + 4);
    QCOMPARE(pane.selectedText(),
             BigAnswer::Line(0).mid(5) + '\n' + BigAnswer::Line(1) + '\n' + BigAnswer::Line(2) +
                 '\n' + BigAnswer::Line(3).left(4));
    text->removeSelection(0);
    QCOMPARE(text->selectionCount(), 0);
    // Where a character is shown, and which character is at a point.
    text->scrollToSubstring(n * perLine, n * perLine + 4);
    const QRect shown = text->characterRect(n * perLine + 14);
    QCOMPARE(text->offsetAtPoint(shown.topLeft() + QPoint(1, shown.height() / 2)),
             n * perLine + 14);
  }

  void pressActionsDoWhatAClickDoes() {
    auto form = startWindow();
    QVERIFY(form);
    const QString press = QAccessibleActionInterface::pressAction();
    // 更新 repeats the last command.
    QSignalSpy started(form.get(), &TForm1::commandStarted);
    A(form->FlatButton3)->actionInterface()->doAction(press);
    QTRY_COMPARE_WITH_TIMEOUT(started.count(), 1, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(form->TreeView1Tag, 0, 10000);
    // 設定 opens its dialog, ヘルプ drops its menu, the lamps abort.
    const auto opens = [&](QWidget* button, QWidget* shown) {
      bool seen = false;
      QTimer watch;
      connect(&watch, &QTimer::timeout, [&] {
        if (!shown->isVisible()) return;
        seen = true;
        shown->close();
      });
      watch.start(10);
      A(button)->actionInterface()->doAction(press);
      QTRY_VERIFY_WITH_TIMEOUT(seen, 10000);
    };
    opens(form->FlatButton1, form->Form2);
    opens(form->FlatButton2, form->PopupMenu1);
    form->AbortRequested = 0;
    A(form->Panel3)->actionInterface()->doAction(press);
    QCOMPARE(form->AbortRequested, 1);
    // The about box's OK closes it; its home-page button runs its click.
    TAboutBox& about = *form->AboutBox;
    int homepage = 0;
    about.FlatButton2->OnClick = [&](widgets::TFlatButton*) { ++homepage; };
    about.show();
    A(about.FlatButton2)->actionInterface()->doAction(press);
    QTRY_COMPARE_WITH_TIMEOUT(homepage, 1, 5000);
    A(about.FlatButton1)->actionInterface()->doAction(press);
    QTRY_VERIFY_WITH_TIMEOUT(!about.isVisible(), 5000);
    QCOMPARE(about.result(), int(QDialog::Accepted));
  }

  void theLampsAreBusyDuringACycleOnly() {
    auto form = startWindow();
    QVERIFY(form);
    QAccessibleInterface* lamps = A(form->Panel3);
    QVERIFY(!lamps->state().busy);
    bool busySeen = false;
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&] {
      busySeen = busySeen || (lamps->state().busy && lamps->text(QAccessible::Description) ==
                                                         U("取得中。クリックで取得を中止します"));
    });
    watch.start(20);
    QTimer::singleShot(0, form.get(), [&] { form->RunCommand("SHOW LOG"); });
    QTRY_VERIFY_WITH_TIMEOUT(busySeen, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(form->TreeView1Tag, 0, 10000);
    QVERIFY(!lamps->state().busy);

  }
};

VANTREL_TEST_MAIN(AccessibilityTest)
#include "accessibility_test.moc"
