// TFlatButton: hot tracking, press, drag and release, auto-repeat, the click
// and the drop-down menu.
#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QMenu>
#include <QMouseEvent>
#include <QTimer>

#include "widgets/flat_button.h"
#include "widgets/flat_button_action_link.h"
#include "widgets/flat_button_hooks.h"
#include "widgets/menu_click_replay.h"

namespace widgets {

namespace {
constexpr int kComboPartWidth = 11;
}  // namespace

bool TFlatButton::comboWithMenu() const { return dropdownCombo_ && hasMenu_; }

bool TFlatButton::insideMainPart(QPoint pos) const {
  const int right = width() - (comboWithMenu() ? kComboPartWidth : 0);
  return pos.x() >= 0 && pos.x() < right && pos.y() >= 0 && pos.y() < height();
}

void TFlatButton::MouseEnter() {
  if (!isEnabled() || pointerOver_) {
    return;
  }
  pointerOver_ = true;
  if (state_ == bfUp) {
    state_ = bfHot;
  }
  if (flat_ || glyph_.NumGlyphs() == 5) {
    Redraw(down_ || glyph_.NumGlyphs() == 5);
  }
  if (OnMouseEnter) {
    OnMouseEnter(this);
  }
}

void TFlatButton::MouseExit() {
  if (!isEnabled() || !pointerOver_ || tracking_) {
    return;
  }
  pointerOver_ = false;
  FlatButtonHooks::Release(this);
  const TButtonFaceState old = state_;
  if (state_ == bfHot || (state_ == bfPressed && !clicking_)) {
    state_ = down_ && groupIndex_ != 0 ? bfLatched : bfUp;
  }
  if (flat_ || glyph_.NumGlyphs() == 5 || (state_ != old && old != bfHot)) {
    Redraw(true);
  }
  if (OnMouseExit) {
    OnMouseExit(this);
  }
}

void TFlatButton::checkCursor() {
  if (FlatButtonHooks::IsUnder(this, QCursor::pos())) {
    MouseEnter();
    // Taking the hot role as well lets the watchers end the border when the
    // pointer leaves without moving over the button again.
    FlatButtonHooks::MovedOver(this);
  } else {
    MouseExit();
  }
}

void TFlatButton::enterEvent(QEnterEvent* event) {
  if (isEnabled()) {
    FlatButtonHooks::MovedOver(this);
  }
  QWidget::enterEvent(event);
}

void TFlatButton::leaveEvent(QEvent* event) {
  // The watchers would notice within 125 ms; Qt tells us at once.
  if (!tracking_ && !FlatButtonHooks::IsUnder(this, QCursor::pos())) {
    MouseExit();
  }
  QWidget::leaveEvent(event);
}

void TFlatButton::hideEvent(QHideEvent* event) {
  cancelMode();
  MouseExit();
  QWidget::hideEvent(event);
}

void TFlatButton::cancelMode() {
  delete repeatTimer_;
  repeatTimer_ = nullptr;
  if (tracking_) {
    tracking_ = false;
    MouseExit();
  }
}

void TFlatButton::mousePressEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  if (!isEnabled()) {
    QWidget::mousePressEvent(event);
    return;
  }
  MouseEnter();
  if (event->button() == Qt::LeftButton) {
    menuPress_ = hasMenu_ && (!dropdownCombo_ || pos.x() >= width() - kComboPartWidth);
    if (!down_) {
      state_ = bfPressed;
      Redraw(true);
    } else if (allowAllUp_) {
      Redraw(true);
    }
    if (!menuPress_) {
      tracking_ = true;
      lastTrackedPos_ = pos;
    }
  }
  if (OnMouseDown) {
    OnMouseDown(this, event->button(), event->modifiers(), pos);
  }
  if (event->button() == Qt::LeftButton) {
    const QPointer<TFlatButton> alive(this);
    if (menuPress_) {
      Click();
    } else if (repeating_) {
      Click();
      if (!alive) {
        return;  // the click freed the button
      }
      if (repeatTimer_ == nullptr) {
        repeatTimer_ = new QTimer(this);
        connect(repeatTimer_, &QTimer::timeout, this, &TFlatButton::repeatTick);
      }
      repeatTimer_->start(repeatDelay_);
    }
    if (!alive) {
      return;
    }
    menuPress_ = false;
  }
  event->accept();
}

void TFlatButton::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  if (rect().contains(pos) && isEnabled()) {
    FlatButtonHooks::MovedOver(this);
  }
  if (OnMouseMove) {
    OnMouseMove(this, event->modifiers(), pos);
  }
  if (!tracking_) {
    return;
  }
  lastTrackedPos_ = pos;
  const bool inside = insideMainPart(pos);
  if (inside && repeatTimer_ != nullptr && !repeatTimer_->isActive()) {
    repeatTimer_->start();
  }
  setState(down_ ? bfLatched : inside ? bfPressed : bfUp);
}

void TFlatButton::repeatTick() {
  repeatTimer_->setInterval(repeatInterval_);
  // Only a button still held down with the pointer inside repeats; otherwise
  // the timer rests until the pointer comes back.
  if (repeating_ && tracking_ && insideMainPart(lastTrackedPos_)) {
    Click();
  } else {
    repeatTimer_->stop();
  }
}

void TFlatButton::mouseReleaseEvent(QMouseEvent* event) {
  delete repeatTimer_;
  repeatTimer_ = nullptr;
  const QPoint pos = event->position().toPoint();
  if (event->button() == Qt::RightButton && isEnabled()) {
    tracking_ = false;
    MouseExit();
  } else if (event->button() == Qt::LeftButton && tracking_) {
    tracking_ = false;
    if (!insideMainPart(pos) || repeating_) {
      MouseExit();
    } else {
      const QPointer<TFlatButton> alive(this);
      Click();
      if (!alive) {
        return;  // the click freed the button
      }
    }
  }
  if (OnMouseUp) {
    OnMouseUp(this, event->button(), event->modifiers(), pos);
  }
  event->accept();
}

void TFlatButton::mouseDoubleClickEvent(QMouseEvent* event) {
  // The second press of a double click is a press like the first.
  DblClick();
  mousePressEvent(event);
}

void TFlatButton::DblClick() {
  if (down_ && OnDblClick) {
    OnDblClick(this);
  }
}

void TFlatButton::frameworkClick() {
  if (OnClick) {
    OnClick(this);
  } else if (actionLink_ != nullptr) {
    actionLink_->Execute();
  }
}

void TFlatButton::Click() {
  if (repeating_ && !menuPress_) {
    frameworkClick();
    return;
  }
  const QPointer<TFlatButton> alive(this);
  clicking_ = true;
  if (groupIndex_ != 0) {
    SetDown(!down_);
  }
  if (state_ == bfUp || state_ == bfHot) {
    setState(bfPressed);
  }
  MouseExit();
  if (!hasMenu_ || (dropdownCombo_ && !menuPress_)) {
    if (auto* dialog = qobject_cast<QDialog*>(window()); dialog != nullptr && modalResult_ != 0) {
      dialog->done(modalResult_);
    }
    frameworkClick();
  } else {
    if (!dropdownCombo_) {
      frameworkClick();
    }
    if (alive) {
      popUpMenu();
    }
  }
  if (!alive) {
    return;  // a handler freed the button
  }
  clicking_ = false;
  if (state_ == bfPressed) {
    state_ = bfUp;
  }
  if (!destroying_) {
    Redraw(true);
    checkCursor();
  }
}

void TFlatButton::popUpMenu() {
  QMenu* menu = dropdownMenu_;
  if (menu == nullptr) {
    return;
  }
  repaint();  // pressed while the menu is open
  const QPointer<TFlatButton> self(this);
  auto* replay = new MenuClickReplay(menu, [self](QPoint global) {
    return self != nullptr && self->rect().contains(self->mapFromGlobal(global));
  });
  menu->exec(mapToGlobal(QPoint(0, height())));
  replay->PassOnAndDelete();
}

bool TFlatButton::event(QEvent* event) {
  switch (event->type()) {
    case QEvent::Shortcut: {
      const auto* shortcut = static_cast<QShortcutEvent*>(event);
      if (shortcut->shortcutId() == mnemonicId_ && !shortcut->isAmbiguous()) {
        if (parentCanFocus() && isEnabled() && isVisible() && displayMode_ != dmGlyphOnly) {
          Click();
        }
        return true;
      }
      break;
    }
    case QEvent::ToolTip:
      if (!parentShowHint_ && !showHint_) {
        return true;
      }
      break;
    case QEvent::WindowDeactivate:
      cancelMode();
      break;
    default:
      break;
  }
  return QWidget::event(event);
}

}  // namespace widgets
