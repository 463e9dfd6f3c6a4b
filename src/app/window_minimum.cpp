#include "app/window_minimum.h"

#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace app {

namespace {

class MinimumSizeKeeper : public QObject {
 public:
  explicit MinimumSizeKeeper(QWidget* window) : QObject(window), window_(window) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != window_ || event->type() != QEvent::Resize || !window_->isWindow()) {
      return false;
    }
    const QSize size = window_->size();
    const QSize minimum = window_->minimumSize();
    if (size.width() >= minimum.width() && size.height() >= minimum.height()) {
      refused_ = QSize();
      return false;
    }
    // A window manager that insists on the same small size again is not
    // argued with for ever.
    if (size == refused_) {
      return false;
    }
    refused_ = size;
    // Not from inside the resize the window system is still delivering.
    QTimer::singleShot(0, window_, [window = QPointer<QWidget>(window_)] {
      if (window != nullptr) {
        window->resize(window->size().expandedTo(window->minimumSize()));
      }
    });
    return false;
  }

 private:
  QWidget* window_;
  QSize refused_;
};

}  // namespace

void KeepAtLeastMinimumSize(QWidget* window) {
  window->installEventFilter(new MinimumSizeKeeper(window));
}

}  // namespace app
