// What all flat buttons of the process share: the one hot button, the 125 ms
// timer that takes the border away when the pointer has left, an
// application-wide event filter that sees every mouse move and the dialog keys
// of every window, and the latch pattern. Set up with the first button and
// taken down with the last.
#pragma once

#include <QColor>
#include <QObject>
#include <QPixmap>
#include <QPointer>

class QTimer;

namespace widgets {

class TFlatButton;

class FlatButtonHooks : public QObject {
  Q_OBJECT

 public:
  static void Register(TFlatButton* button);
  static void Unregister(TFlatButton* button);
  // True while any button exists, and with it the timer and the filter.
  static bool Installed() { return instance_ != nullptr; }

  static TFlatButton* Hot();
  // The pointer moved over `button`: the border moves to it at once.
  static void MovedOver(TFlatButton* button);
  // `button` gives up being the hot button.
  static void Release(TFlatButton* button);
  // True when the widget under the global point is `button` itself.
  static bool IsUnder(const TFlatButton* button, QPoint global);

  // An 8 x 8 tile of the face colour with the highlight colour on every pixel
  // whose x + y is even: the face of a latched button.
  static QPixmap LatchPattern(const QColor& face, const QColor& highlight);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  FlatButtonHooks();
  ~FlatButtonHooks() override;
  void checkHot();
  void applicationStateChanged(Qt::ApplicationState state);

  static FlatButtonHooks* instance_;
  int registrations_ = 0;
  QTimer* timer_ = nullptr;
  QPointer<TFlatButton> hot_;
  QPixmap latch_;
  QColor latchFace_;
  QColor latchHighlight_;
};

}  // namespace widgets
