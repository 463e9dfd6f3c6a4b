#include "widgets/flat_button_hooks.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include "widgets/flat_button.h"

namespace widgets {

namespace {
constexpr int kHotCheckInterval = 125;
}

FlatButtonHooks* FlatButtonHooks::instance_ = nullptr;

FlatButtonHooks::FlatButtonHooks() {
  timer_ = new QTimer(this);
  timer_->setInterval(kHotCheckInterval);
  connect(timer_, &QTimer::timeout, this, &FlatButtonHooks::checkHot);
  if (qApp != nullptr) {
    qApp->installEventFilter(this);
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            &FlatButtonHooks::applicationStateChanged);
  }
}

FlatButtonHooks::~FlatButtonHooks() {
  if (qApp != nullptr) {
    qApp->removeEventFilter(this);
  }
}

void FlatButtonHooks::Register(TFlatButton*) {
  if (instance_ == nullptr) {
    instance_ = new FlatButtonHooks;
  }
  ++instance_->registrations_;
}

void FlatButtonHooks::Unregister(TFlatButton* button) {
  if (instance_ == nullptr) {
    return;
  }
  Release(button);
  if (--instance_->registrations_ == 0) {
    delete instance_;
    instance_ = nullptr;
  }
}

TFlatButton* FlatButtonHooks::Hot() {
  return instance_ != nullptr ? instance_->hot_.data() : nullptr;
}

void FlatButtonHooks::MovedOver(TFlatButton* button) {
  if (instance_ == nullptr || instance_->hot_ == button) {
    return;
  }
  if (TFlatButton* previous = instance_->hot_) {
    previous->MouseExit();
    instance_->hot_ = nullptr;
  }
  if (button->ShowBorderWhenInactive() || QApplication::activeWindow() != nullptr) {
    instance_->hot_ = button;
    instance_->timer_->start();
    button->MouseEnter();
  }
}

void FlatButtonHooks::Release(TFlatButton* button) {
  if (instance_ != nullptr && instance_->hot_ == button) {
    instance_->hot_ = nullptr;
    instance_->timer_->stop();
  }
}

bool FlatButtonHooks::IsUnder(const TFlatButton* button, QPoint global) {
  return button->isVisible() && QApplication::widgetAt(global) == button;
}

void FlatButtonHooks::checkHot() {
  if (hot_ != nullptr && !IsUnder(hot_, QCursor::pos())) {
    hot_->MouseExit();
  }
}

void FlatButtonHooks::applicationStateChanged(Qt::ApplicationState state) {
  if (state != Qt::ApplicationActive && hot_ != nullptr && !hot_->ShowBorderWhenInactive()) {
    hot_->MouseExit();
  }
}

bool FlatButtonHooks::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseMove:
      // Any move anywhere in the program that is not over the hot button
      // ends its hot state, whichever widget the move went to.
      if (hot_ != nullptr && watched->isWidgetType()) {
        const auto* move = static_cast<QMouseEvent*>(event);
        if (!IsUnder(hot_, move->globalPosition().toPoint())) {
          hot_->MouseExit();
        }
      }
      break;
    case QEvent::KeyPress: {
      // A key reaches the window itself only when the focused widget did not
      // take it: then it is a dialog key for the window's buttons.
      auto* window = qobject_cast<QWidget*>(watched);
      if (window == nullptr || !window->isWindow()) {
        break;
      }
      auto* key = static_cast<QKeyEvent*>(event);
      for (TFlatButton* button : window->findChildren<TFlatButton*>()) {
        if (button->window() == window && button->handleDialogKey(key->key(), key->modifiers())) {
          key->accept();
          return true;
        }
      }
      break;
    }
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}

QPixmap FlatButtonHooks::LatchPattern(const QColor& face, const QColor& highlight) {
  FlatButtonHooks* self = instance_;
  if (self == nullptr) {
    return {};
  }
  // Made on first use; made again when the colours it was made with changed.
  if (self->latch_.isNull() || self->latchFace_ != face || self->latchHighlight_ != highlight) {
    QImage tile(8, 8, QImage::Format_RGB32);
    for (int y = 0; y < 8; ++y) {
      for (int x = 0; x < 8; ++x) {
        tile.setPixel(x, y, ((x + y) % 2 == 0 ? highlight : face).rgb());
      }
    }
    self->latch_ = QPixmap::fromImage(tile);
    self->latchFace_ = face;
    self->latchHighlight_ = highlight;
  }
  return self->latch_;
}

}  // namespace widgets
