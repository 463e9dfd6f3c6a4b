// The flat button as a push button. A press is queued rather than run inside
// the accessibility call: a click may open a modal dialog or drop a menu, and
// the screen reader that asked would wait for its answer until they close.
#include "widgets/accessible_flat_button.h"

#include <QAccessibleWidget>
#include <QKeySequence>
#include <QPointer>
#include <QTimer>

#include "widgets/flat_button.h"

namespace widgets {

namespace {

// "&Homepage" is read "Homepage"; "&&" stands for one ampersand.
QString WithoutAccelerator(const QString& caption) {
  QString text;
  text.reserve(caption.size());
  for (qsizetype i = 0; i < caption.size(); ++i) {
    if (caption.at(i) == QLatin1Char('&')) {
      if (i + 1 >= caption.size()) break;
      ++i;
    }
    text += caption.at(i);
  }
  return text;
}

class FlatButtonAccessible : public QAccessibleWidget {
 public:
  explicit FlatButtonAccessible(TFlatButton* button)
      : QAccessibleWidget(button, QAccessible::PushButton) {}

  QString text(QAccessible::Text kind) const override {
    if (kind == QAccessible::Name && widget()->accessibleName().isEmpty()) {
      return WithoutAccelerator(button()->Caption());
    }
    if (kind == QAccessible::Accelerator) {
      return QKeySequence::mnemonic(button()->Caption()).toString(QKeySequence::NativeText);
    }
    return QAccessibleWidget::text(kind);
  }

  QAccessible::State state() const override {
    QAccessible::State state = QAccessibleWidget::state();
    state.pressed = button()->FaceState() == bfPressed;
    if (button()->GroupIndex() != 0) {
      state.checkable = true;
      state.checked = button()->Down();
    }
    state.hasPopup = button()->DropdownMenu() != nullptr;
    return state;
  }

  QStringList actionNames() const override {
    QStringList names{pressAction()};
    if (button()->DropdownMenu() != nullptr) names << showMenuAction();
    return names;
  }

  void doAction(const QString& name) override {
    if (name != pressAction() && name != showMenuAction()) {
      QAccessibleWidget::doAction(name);
      return;
    }
    if (!button()->isEnabled() || !button()->isVisible()) return;
    // With a menu, the click is what drops it.
    QTimer::singleShot(0, button(), [target = QPointer<TFlatButton>(button())] {
      if (target != nullptr && target->isEnabled() && target->isVisible()) target->Click();
    });
  }

  QStringList keyBindingsForAction(const QString& name) const override {
    const QKeySequence mnemonic = QKeySequence::mnemonic(button()->Caption());
    if (name == pressAction() && !mnemonic.isEmpty()) {
      return {mnemonic.toString(QKeySequence::NativeText)};
    }
    return {};
  }

 private:
  TFlatButton* button() const { return static_cast<TFlatButton*>(widget()); }
};

}  // namespace

QAccessibleInterface* FlatWidgetAccessible(const QString& className, QObject* object) {
  if (className == QLatin1String(TFlatButton::staticMetaObject.className()) &&
      object != nullptr && object->isWidgetType()) {
    return new FlatButtonAccessible(static_cast<TFlatButton*>(object));
  }
  return nullptr;
}

}  // namespace widgets
