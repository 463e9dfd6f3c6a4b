// The flat button driven by real mouse events on the offscreen platform: its
// face states, hot tracking, latching groups, auto-repeat, the drop-down menu,
// the keys that click it, and what it paints.
#include <QAction>
#include <QDialog>
#include <QElapsedTimer>
#include <QMenu>
#include <QtTest>
#include <memory>

#include "test_palette.h"
#include "widgets/flat_button.h"

using namespace widgets;

namespace {

using namespace test_palette;

const QRgb kGlyphBlue = qRgb(0, 0, 255);

// An 8 x 8 glyph: a 4 x 4 blue block at (2, 2) on magenta, the transparent
// colour of its bottom-left pixel.
QImage BlockGlyph() {
  QImage glyph(8, 8, QImage::Format_RGB32);
  glyph.fill(qRgb(255, 0, 255));
  for (int y = 2; y < 6; ++y) {
    for (int x = 2; x < 6; ++x) glyph.setPixel(x, y, kGlyphBlue);
  }
  return glyph;
}

// The bounding box of the pixels of one colour.
QRect Find(const QImage& image, QRgb colour) {
  QRect box;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if ((image.pixel(x, y) | 0xff000000u) == (colour | 0xff000000u)) {
        box |= QRect(x, y, 1, 1);
      }
    }
  }
  return box;
}

QImage Grab(QWidget* widget) { return widget->grab().toImage(); }

// A shown, active window with two buttons side by side.
struct Toolbar {
  QWidget window;
  TFlatButton* left = new TFlatButton(&window);
  TFlatButton* right = new TFlatButton(&window);

  Toolbar() {
    window.setPalette(test_palette::Make());
    window.resize(200, 60);
    left->setGeometry(10, 10, 60, 24);
    right->setGeometry(80, 10, 60, 24);
    left->SetCaption(QStringLiteral("Left"));
    right->SetCaption(QStringLiteral("Right"));
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
  }
};

// The toolbar with a one-entry drop-down menu on its right button.
struct MenuToolbar : Toolbar {
  QMenu menu;

  MenuToolbar() {
    menu.addAction(QStringLiteral("Entry"));
    right->SetDropdownMenu(&menu);
  }
};

}  // namespace

class FlatButtonTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { QCursor::setPos(0, 0); }

  void newButtonDefaults() {
    TFlatButton button;
    QCOMPARE(button.size(), QSize(23, 22));
    QVERIFY(button.Flat() && button.Opaque() && button.DropdownArrow());
    QCOMPARE(button.Margin(), -1);
    QCOMPARE(button.Spacing(), 4);
    QCOMPARE(button.RepeatDelay(), 400);
    QCOMPARE(button.RepeatInterval(), 100);
    button.SetMargin(-2);
    QCOMPARE(button.Margin(), -1);
    button.SetMargin(3);
    QCOMPARE(button.Margin(), 3);
  }

  void hotBorderFollowsThePointer() {
    Toolbar bar;
    int entered = 0;
    bar.left->OnMouseEnter = [&](TFlatButton*) { ++entered; };
    QTest::mouseMove(bar.left);
    QCOMPARE(bar.left->FaceState(), bfHot);
    QCOMPARE(TFlatButton::HotButton(), bar.left);
    QCOMPARE(entered, 1);
    // Onto the next button: the border moves at once.
    QTest::mouseMove(bar.right);
    QCOMPARE(bar.left->FaceState(), bfUp);
    QVERIFY(!bar.left->PointerOver());
    QCOMPARE(bar.right->FaceState(), bfHot);
    QCOMPARE(TFlatButton::HotButton(), bar.right);
    // Off the buttons, onto the window.
    QTest::mouseMove(&bar.window, QPoint(190, 50));
    QCOMPARE(bar.right->FaceState(), bfUp);
    QCOMPARE(TFlatButton::HotButton(), nullptr);
  }

  void hotBorderGoesWhenTheApplicationIsInactive() {
    for (const bool keep : {false, true}) {
      Toolbar bar;
      bar.left->SetShowBorderWhenInactive(keep);
      QTest::mouseMove(bar.left);
      QCOMPARE(bar.left->FaceState(), bfHot);
      emit qApp->applicationStateChanged(Qt::ApplicationInactive);
      QCOMPARE(bar.left->FaceState(), keep ? bfHot : bfUp);
      emit qApp->applicationStateChanged(Qt::ApplicationActive);
    }
  }

  void pressDragOutDragInRelease() {
    Toolbar bar;
    int clicks = 0;
    bar.left->OnClick = [&](TFlatButton*) { ++clicks; };
    const QPoint inside(30, 12);
    QTest::mouseMove(bar.left, inside);
    QTest::mousePress(bar.left, Qt::LeftButton, {}, inside);
    QCOMPARE(bar.left->FaceState(), bfPressed);
    QVERIFY(bar.left->Tracking());
    QTest::mouseMove(bar.left, QPoint(-5, 12));
    QCOMPARE(bar.left->FaceState(), bfUp);
    QTest::mouseMove(bar.left, inside);
    QCOMPARE(bar.left->FaceState(), bfPressed);
    QTest::mouseRelease(bar.left, Qt::LeftButton, {}, inside);
    QCOMPARE(clicks, 1);
    QVERIFY(!bar.left->Tracking());
    QCOMPARE(bar.left->FaceState(), bfHot);  // still under the pointer
    QCOMPARE(TFlatButton::HotButton(), bar.left);

    // Released outside: no click.
    QTest::mousePress(bar.left, Qt::LeftButton, {}, inside);
    QTest::mouseMove(bar.left, QPoint(30, 40));
    QTest::mouseRelease(bar.left, Qt::LeftButton, {}, QPoint(30, 40));
    QCOMPARE(clicks, 1);
    QCOMPARE(bar.left->FaceState(), bfUp);
  }

  void groupsLatchAndReleaseEachOther() {
    Toolbar bar;
    bar.left->SetGroupIndex(1);
    bar.right->SetGroupIndex(1);
    QTest::mouseClick(bar.left, Qt::LeftButton);
    QVERIFY(bar.left->Down());
    QCOMPARE(bar.left->FaceState(), bfLatched);
    QTest::mouseClick(bar.right, Qt::LeftButton);
    QVERIFY(bar.right->Down());
    QVERIFY(!bar.left->Down());
    QCOMPARE(bar.left->FaceState(), bfUp);
    // Without AllowAllUp a latched button stays down when clicked.
    QTest::mouseClick(bar.right, Qt::LeftButton);
    QVERIFY(bar.right->Down());
    // AllowAllUp set on one button holds for its group.
    bar.right->SetAllowAllUp(true);
    QVERIFY(bar.left->AllowAllUp());
    QTest::mouseClick(bar.right, Qt::LeftButton);
    QVERIFY(!bar.right->Down());

    TFlatButton plain(&bar.window);
    plain.SetAllowAllUp(true);
    plain.SetDown(true);
    QVERIFY(!plain.Down());
    QTest::mouseClick(&plain, Qt::LeftButton);
    QVERIFY(!plain.Down());
  }

  void doubleClickOnlyWhileDown() {
    Toolbar bar;
    int doubles = 0;
    bar.left->OnDblClick = [&](TFlatButton*) { ++doubles; };
    QTest::mouseDClick(bar.left, Qt::LeftButton);
    QTest::mouseRelease(bar.left, Qt::LeftButton);
    QCOMPARE(doubles, 0);
    bar.left->SetGroupIndex(2);
    bar.left->SetDown(true);
    QTest::mouseDClick(bar.left, Qt::LeftButton);
    QTest::mouseRelease(bar.left, Qt::LeftButton);
    QCOMPARE(doubles, 1);
  }

  void repeatingClicksWhileHeld() {
    Toolbar bar;
    bar.left->SetRepeating(true);
    bar.left->SetRepeatDelay(80);
    bar.left->SetRepeatInterval(20);
    QElapsedTimer clock;
    std::vector<qint64> at;
    bar.left->OnClick = [&](TFlatButton*) { at.push_back(clock.elapsed()); };
    QTest::mouseMove(bar.left);
    clock.start();
    QTest::mousePress(bar.left, Qt::LeftButton);
    QCOMPARE(at.size(), std::size_t(1));  // at the press
    QTRY_VERIFY_WITH_TIMEOUT(at.size() >= 4, 5000);
    QTest::mouseRelease(bar.left, Qt::LeftButton);
    const std::size_t held = at.size();
    // Coarse timers may fire up to a twentieth early.
    QVERIFY2(at[1] - at[0] >= 76, qPrintable(QString::number(at[1] - at[0])));
    for (std::size_t i = 2; i < held; ++i) {
      QVERIFY2(at[i] - at[i - 1] >= 19, qPrintable(QString::number(at[i] - at[i - 1])));
    }
    // Releasing clicks no more, and the repeat timer is gone.
    QCOMPARE(at.size(), held);
    QVERIFY(bar.left->findChildren<QTimer*>().isEmpty());
  }

  void repeatingRestsWhileThePointerIsOutside() {
    Toolbar bar;
    bar.left->SetRepeating(true);
    bar.left->SetRepeatDelay(20);
    bar.left->SetRepeatInterval(10);
    int clicks = 0;
    bar.left->OnClick = [&](TFlatButton*) { ++clicks; };
    const QPoint inside(30, 12);
    QTest::mouseMove(bar.left, inside);
    QTest::mousePress(bar.left, Qt::LeftButton, {}, inside);
    QTRY_VERIFY_WITH_TIMEOUT(clicks >= 3, 5000);
    QTest::mouseMove(bar.left, QPoint(-5, 12));
    const int whenLeft = clicks;
    auto* timer = bar.left->findChild<QTimer*>();
    QVERIFY(timer != nullptr);
    // Its next tick finds the pointer outside and stops it, without a click.
    QTRY_VERIFY_WITH_TIMEOUT(!timer->isActive(), 5000);
    QCOMPARE(clicks, whenLeft);
    // Back inside, it repeats again.
    QTest::mouseMove(bar.left, inside);
    QTRY_VERIFY_WITH_TIMEOUT(clicks > whenLeft, 5000);
    QTest::mouseRelease(bar.left, Qt::LeftButton, {}, inside);
  }

  void dropDownMenuOpensAgainAtTheNextPress() {
    MenuToolbar bar;
    QMenu& menu = bar.menu;
    int shown = 0;
    connect(&menu, &QMenu::aboutToShow, this, [&] {
      ++shown;
      QTimer::singleShot(0, &menu, &QMenu::close);
    });
    QTest::mouseMove(bar.right);
    for (int press = 1; press <= 3; ++press) {
      QTest::mousePress(bar.right, Qt::LeftButton);  // returns when the menu has closed
      QTest::mouseRelease(bar.right, Qt::LeftButton);
      QCoreApplication::processEvents();
      QCOMPARE(shown, press);
    }
  }

  void dropDownMenu() {
    MenuToolbar bar;
    QMenu& menu = bar.menu;
    int presses = 0;
    bar.right->OnMouseDown = [&](TFlatButton*, Qt::MouseButton, Qt::KeyboardModifiers, QPoint) {
      ++presses;
    };
    QPoint menuAt;
    TButtonFaceState whileOpen = bfUp;
    const QPoint onButton = bar.right->mapTo(&bar.window, QPoint(20, 12));
    int shown = 0;
    connect(&menu, &QMenu::aboutToShow, this, [&] {
      if (++shown > 1) {
        QTimer::singleShot(0, &menu, &QMenu::close);  // reopened: fail, not hang
        return;
      }
      QTimer::singleShot(0, &menu, [&] {
        menuAt = menu.pos();
        whileOpen = bar.right->FaceState();
        // A click on the button while the menu is open, as the window system
        // delivers it: to the menu first, which closes.
        QTest::mousePress(bar.window.windowHandle(), Qt::LeftButton, {}, onButton);
        QTest::mouseRelease(bar.window.windowHandle(), Qt::LeftButton, {}, onButton);
        // Some platforms hand that press to the widget under the pointer once
        // the menu is gone; these test platforms do not, so do it as they do.
        QCoreApplication::postEvent(
            bar.window.windowHandle(),
            new QMouseEvent(QEvent::MouseButtonPress, onButton, onButton,
                            bar.window.mapToGlobal(onButton), Qt::LeftButton, Qt::LeftButton, {}));
      });
    });
    QTest::mouseMove(bar.right);
    QTest::mousePress(bar.right, Qt::LeftButton);  // returns when the menu has closed
    QTest::mouseRelease(bar.right, Qt::LeftButton);
    QCOMPARE(menuAt, bar.right->mapToGlobal(QPoint(0, bar.right->height())));
    QCOMPARE(whileOpen, bfPressed);
    QCoreApplication::processEvents();
    QVERIFY(!menu.isVisible());
    QCOMPARE(shown, 1);
    QCOMPARE(presses, 1);
    QVERIFY(bar.right->FaceState() != bfPressed);
  }

  void aClickBesideTheOpenMenuActsWhereItLands() {
    Toolbar bar;
    QMenu menu;
    QAction* entry = menu.addAction(QStringLiteral("Entry"));
    bar.right->SetDropdownMenu(&menu);
    int leftClicks = 0;
    int entryRuns = 0;
    int leftReleases = 0;
    bar.left->OnClick = [&](TFlatButton*) { ++leftClicks; };
    bar.left->OnMouseUp = [&](TFlatButton*, Qt::MouseButton, Qt::KeyboardModifiers, QPoint) {
      ++leftReleases;
    };
    connect(entry, &QAction::triggered, this, [&] { ++entryRuns; });
    const QPoint onLeft = bar.left->mapTo(&bar.window, QPoint(20, 12));
    int shown = 0;
    const auto clickBeside = connect(&menu, &QMenu::aboutToShow, this, [&] {
      if (++shown > 1) {
        QTimer::singleShot(0, &menu, &QMenu::close);
        return;
      }
      // Press and release reach the window before the menu's loop has ended,
      // as a quick click does.
      QTimer::singleShot(0, &menu, [&] {
        QTest::mousePress(bar.window.windowHandle(), Qt::LeftButton, {}, onLeft);
        const int pressedAt = QTest::lastMouseTimestamp;
        QTest::mouseRelease(bar.window.windowHandle(), Qt::LeftButton, {}, onLeft);
        // The platform's own repeat of the closing press, as some hand it to
        // the window under the pointer: same time, same place. Not a click.
        auto* repeat =
            new QMouseEvent(QEvent::MouseButtonPress, onLeft, onLeft, bar.window.mapToGlobal(onLeft),
                            Qt::LeftButton, Qt::LeftButton, {});
        repeat->setTimestamp(pressedAt);
        QCoreApplication::postEvent(bar.window.windowHandle(), repeat);
      });
    });
    QTest::mousePress(bar.right, Qt::LeftButton);  // returns when the menu has closed
    QTest::mouseRelease(bar.right, Qt::LeftButton);
    QVERIFY(!menu.isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(leftClicks, 1, 2000);
    QCOMPARE(leftReleases, 1);
    QCOMPARE(entryRuns, 0);
    QCOMPARE(shown, 1);
    QVERIFY(!bar.left->Tracking());
    QVERIFY(bar.left->FaceState() != bfPressed);

    // Closed by its entry, the menu hands nothing on: the next click on the
    // other button is an ordinary one.
    disconnect(clickBeside);
    connect(&menu, &QMenu::aboutToShow, this, [&] {
      QTimer::singleShot(0, &menu, [&] { entry->activate(QAction::Trigger), menu.close(); });
    });
    QTest::mousePress(bar.right, Qt::LeftButton);
    QTest::mouseRelease(bar.right, Qt::LeftButton);
    QCoreApplication::processEvents();
    QCOMPARE(entryRuns, 1);
    QTest::mouseClick(bar.left, Qt::LeftButton);
    QCOMPARE(leftClicks, 2);
  }

  void keysClickTheButton() {
    QDialog dialog;
    dialog.resize(200, 60);
    TFlatButton ok(&dialog);
    ok.SetCaption(QStringLiteral("&OK"));
    ok.SetDefault(true);
    ok.SetModalResult(QDialog::Accepted);
    TFlatButton cancel(&dialog);
    cancel.SetCancel(true);
    cancel.SetModalResult(5);
    int okClicks = 0;
    ok.OnClick = [&](TFlatButton*) { ++okClicks; };
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));

    QTest::keyClick(&dialog, Qt::Key_Return);
    QCOMPARE(okClicks, 1);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QTest::keyClick(&dialog, Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(okClicks, 1);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QCOMPARE(dialog.result(), 5);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QTest::keyClick(&dialog, Qt::Key_O, Qt::AltModifier);
    QCOMPARE(okClicks, 2);
    ok.setEnabled(false);
    QTest::keyClick(&dialog, Qt::Key_Return);
    QCOMPARE(okClicks, 2);
  }

  void actionDrivesDownWhileTheyAgree() {
    QAction action(QStringLiteral("&Bold"));
    action.setCheckable(true);
    action.setToolTip(QStringLiteral("Bold text"));
    action.setProperty("imageIndex", 2);
    TFlatButton button;
    button.SetGroupIndex(1);
    button.SetAllowAllUp(true);
    button.SetAction(&action);
    QCOMPARE(button.Caption(), QStringLiteral("&Bold"));
    QCOMPARE(button.Hint(), QStringLiteral("Bold text"));
    QCOMPARE(button.ImageIndex(), 2);
    action.setChecked(true);
    QVERIFY(button.Down());
    action.setProperty("imageIndex", 3);
    QCOMPARE(button.ImageIndex(), 3);
    action.setChecked(false);
    QVERIFY(!button.Down());
    // Changed on its own, the button no longer follows.
    button.SetImageIndex(0);
    action.setProperty("imageIndex", 4);
    QCOMPARE(button.ImageIndex(), 0);
    int triggered = 0;
    connect(&action, &QAction::triggered, this, [&] { ++triggered; });
    QTest::mouseClick(&button, Qt::LeftButton);
    QCOMPARE(triggered, 1);
  }

  void facePixels() {
    Toolbar bar;
    TFlatButton* button = bar.left;
    button->SetCaption(QString());
    button->SetGlyph(BlockGlyph());
    const int w = button->width();
    const int h = button->height();

    const QImage idle = Grab(button);
    for (const QPoint edge : {QPoint(0, h / 2), QPoint(w / 2, 0), QPoint(w - 1, h / 2)}) {
      QCOMPARE(QColor(idle.pixel(edge)), kFace);
    }
    const QRect glyph = Find(idle, kGlyphBlue);
    QCOMPARE(glyph.size(), QSize(4, 4));

    QTest::mouseMove(button);
    const QImage hot = Grab(button);
    QCOMPARE(QColor(hot.pixel(0, h / 2)), kHighlight);
    QCOMPARE(QColor(hot.pixel(w / 2, 0)), kHighlight);
    QCOMPARE(QColor(hot.pixel(w - 1, h / 2)), kShadow);
    QCOMPARE(QColor(hot.pixel(w / 2, h - 1)), kShadow);

    QTest::mousePress(button, Qt::LeftButton);
    const QImage pressed = Grab(button);
    QCOMPARE(QColor(pressed.pixel(0, h / 2)), kShadow);
    QCOMPARE(QColor(pressed.pixel(w - 1, h / 2)), kHighlight);
    QCOMPARE(Find(pressed, kGlyphBlue), glyph.translated(1, 1));
    QTest::mouseRelease(button, Qt::LeftButton);

    // Latched, pointer elsewhere: the content is the checkered latch pattern.
    button->SetGroupIndex(1);
    button->SetDown(true);
    QTest::mouseMove(&bar.window, QPoint(190, 50));
    const QImage latched = Grab(button);
    for (const QPoint at : {QPoint(2, 2), QPoint(3, 2), QPoint(w - 3, h - 3), QPoint(4, 9)}) {
      QCOMPARE(QColor(latched.pixel(at)), (at.x() + at.y()) % 2 == 0 ? kHighlight : kFace);
    }
    QCOMPARE(QColor(latched.pixel(0, h / 2)), kShadow);
  }

  void disabledLookIsEmbossed() {
    Toolbar bar;
    TFlatButton* button = bar.left;
    button->SetGlyph(BlockGlyph());
    button->SetCaption(QStringLiteral("MMMM"));
    QFont crisp = button->font();  // exact colours, no blending at the edges
    crisp.setStyleStrategy(QFont::NoAntialias);
    button->setFont(crisp);
    const QRect glyph = Find(Grab(button), kGlyphBlue);
    button->setEnabled(false);
    const QImage disabled = Grab(button);
    QVERIFY(Find(disabled, kGlyphBlue).isNull());
    // The block in shadow in place, its highlight copy showing one pixel
    // right of and below it.
    QCOMPARE(Find(disabled, kShadow.rgb()).intersected(glyph), glyph);
    QCOMPARE(QColor(disabled.pixel(glyph.right() + 1, glyph.bottom() + 1)), kHighlight);
    QCOMPARE(QColor(disabled.pixel(glyph.left() + 1, glyph.bottom() + 1)), kHighlight);
    QCOMPARE(QColor(disabled.pixel(glyph.left(), glyph.bottom() + 1)), kFace);
    // The caption right of the glyph: embossed too, never in the text colour.
    const QRect caption(glyph.right() + 3, 0, button->width() - glyph.right() - 3,
                        button->height());
    QVERIFY(Find(disabled.copy(caption), kShadow.rgb()).isValid());
    QVERIFY(Find(disabled.copy(caption), kHighlight.rgb()).isValid());
    QVERIFY(Find(disabled, kText.rgb()).isNull());
    // No border for a disabled button under the pointer.
    QTest::mouseMove(button);
    QCOMPARE(QColor(Grab(button).pixel(0, button->height() / 2)), kFace);
  }
};

QTEST_MAIN(FlatButtonTest)
#include "flat_button_test.moc"
