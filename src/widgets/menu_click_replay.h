// The click that closes a drop-down menu by landing outside it belongs to what
// lies under the pointer: one click on another button both closes the menu and
// presses that button. Qt leaves it to the platform whether that press comes
// back after the menu is gone, and most of ours swallow it. This keeps the
// mouse-button events of that moment and hands them on, in their order, once
// the menu's own loop has ended; presses aimed at the button that dropped the
// menu are left out, so that closing the menu there does not drop it again.
#pragma once

#include <QEvent>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <functional>
#include <vector>

class QMenu;
class QMouseEvent;
class QWindow;

namespace widgets {

class MenuClickReplay : public QObject {
  Q_OBJECT

 public:
  // Watches the application's mouse buttons from now on; `overOwner` tells
  // whether a screen point lies over the widget that dropped `menu`.
  MenuClickReplay(QMenu* menu, std::function<bool(QPoint global)> overOwner);
  ~MenuClickReplay() override;
  MenuClickReplay(const MenuClickReplay&) = delete;
  MenuClickReplay& operator=(const MenuClickReplay&) = delete;

  // The menu's loop has returned: what was kept is handed on from the event
  // loop, after which the object deletes itself.
  void PassOnAndDelete();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  bool event(QEvent* event) override;

 private:
  struct KeptEvent {
    QEvent::Type type;
    QPointer<QWindow> window;
    QPoint global;
    Qt::MouseButton button;
    Qt::MouseButtons buttons;
    Qt::KeyboardModifiers modifiers;
    quint64 timestamp;
  };

  static KeptEvent Keep(QObject* watched, const QMouseEvent& event);
  bool isRepeatOfClosingPress(const QMouseEvent& event) const;
  void deliver(const KeptEvent& kept) const;

  QPointer<QMenu> menu_;
  std::function<bool(QPoint global)> overOwner_;
  // The press outside the menu that closes it, first of the kept events.
  bool closingPressSeen_ = false;
  std::vector<KeptEvent> kept_;
};

}  // namespace widgets
