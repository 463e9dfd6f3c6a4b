// Keeping and handing on the mouse-button events that close a drop-down menu.
#include "widgets/menu_click_replay.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace widgets {

namespace {

const QEvent::Type kPassOn = static_cast<QEvent::Type>(QEvent::User + 0x4655);

bool IsButtonEvent(const QEvent* event) {
  const QEvent::Type type = event->type();
  return type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
         type == QEvent::MouseButtonDblClick;
}

}  // namespace

MenuClickReplay::MenuClickReplay(QMenu* menu, std::function<bool(QPoint global)> overOwner)
    : menu_(menu), overOwner_(std::move(overOwner)) {
  qApp->installEventFilter(this);
}

MenuClickReplay::~MenuClickReplay() { qApp->removeEventFilter(this); }

void MenuClickReplay::PassOnAndDelete() { QCoreApplication::postEvent(this, new QEvent(kPassOn)); }

MenuClickReplay::KeptEvent MenuClickReplay::Keep(QObject* watched, const QMouseEvent& event) {
  return {event.type(),
          QPointer<QWindow>(qobject_cast<QWindow*>(watched)),
          event.globalPosition().toPoint(),
          event.button(),
          event.buttons(),
          event.modifiers(),
          event.timestamp()};
}

bool MenuClickReplay::isRepeatOfClosingPress(const QMouseEvent& event) const {
  // Where the platform replays the closing press itself, it comes with the
  // same time and place; handing it on twice would press twice.
  const KeptEvent& closing = kept_.front();
  return event.type() == QEvent::MouseButtonPress && event.timestamp() == closing.timestamp &&
         event.globalPosition().toPoint() == closing.global && event.button() == closing.button;
}

bool MenuClickReplay::eventFilter(QObject* watched, QEvent* event) {
  // Mouse events reach a window first and its widgets from there: keeping
  // them at the window keeps them in the order the platform sent them.
  if (!watched->isWindowType() || !IsButtonEvent(event)) {
    return false;
  }
  const auto* mouse = static_cast<const QMouseEvent*>(event);
  const bool menuOpen = menu_ != nullptr && menu_->isVisible();
  if (menuOpen) {
    if (closingPressSeen_ || event->type() == QEvent::MouseButtonRelease) {
      return false;
    }
    const QPoint inMenu = menu_->mapFromGlobal(mouse->globalPosition().toPoint());
    if (!menu_->rect().contains(inMenu)) {
      // The menu still needs this press to close; it is kept for afterwards.
      closingPressSeen_ = true;
      kept_.push_back(Keep(watched, *mouse));
      kept_.back().type = QEvent::MouseButtonPress;
    }
    return false;
  }
  // A menu closed by a key or by one of its entries leaves nothing to hand on.
  if (!closingPressSeen_) {
    return false;
  }
  if (!isRepeatOfClosingPress(*mouse)) {
    kept_.push_back(Keep(watched, *mouse));
  }
  return true;
}

bool MenuClickReplay::event(QEvent* event) {
  if (event->type() != kPassOn) {
    return QObject::event(event);
  }
  // Delivering may open a dialog with a loop of its own: this object is out
  // of the way before anything is delivered.
  qApp->removeEventFilter(this);
  const std::vector<KeptEvent> kept = std::move(kept_);
  const std::function<bool(QPoint)> overOwner = overOwner_;
  deleteLater();
  for (const KeptEvent& one : kept) {
    const bool press =
        one.type == QEvent::MouseButtonPress || one.type == QEvent::MouseButtonDblClick;
    if (press && overOwner(one.global)) {
      continue;
    }
    deliver(one);
  }
  return true;
}

void MenuClickReplay::deliver(const KeptEvent& kept) const {
  // The closing press may have gone to the menu's own window, which is gone;
  // it belongs to whatever window is under it now.
  QWindow* window = kept.window;
  if (window == nullptr || !window->isVisible() ||
      (menu_ != nullptr && window == menu_->windowHandle())) {
    window = QGuiApplication::topLevelAt(kept.global);
  }
  if (window == nullptr) {
    return;
  }
  // A window behind a modal dialog takes no clicks.
  if (QWidget* modal = QApplication::activeModalWidget(); modal != nullptr) {
    QWidget* target = QApplication::widgetAt(kept.global);
    if (target == nullptr || target->window() != modal) {
      return;
    }
  }
  const QPointF local = window->mapFromGlobal(kept.global);
  QMouseEvent event(kept.type, local, local, QPointF(kept.global), kept.button, kept.buttons,
                    kept.modifiers);
  event.setTimestamp(kept.timestamp);
  QCoreApplication::sendEvent(window, &event);
}

}  // namespace widgets
