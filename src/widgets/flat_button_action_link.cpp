#include "widgets/flat_button_action_link.h"

#include <QAction>
#include <QDynamicPropertyChangeEvent>
#include <QEvent>

#include "widgets/flat_button.h"

namespace widgets {

namespace {
constexpr char kImageIndexProperty[] = "imageIndex";
}

TFlatButtonActionLink::TFlatButtonActionLink(TFlatButton* button, QAction* action)
    : button_(button), action_(action) {
  checked_ = action->isChecked();
  imageIndex_ = ActionImageIndex(action);
  connect(action, &QAction::changed, this, &TFlatButtonActionLink::actionChanged);
  action->installEventFilter(this);
}

TFlatButtonActionLink::~TFlatButtonActionLink() {
  if (action_ != nullptr) {
    action_->removeEventFilter(this);
  }
}

int TFlatButtonActionLink::ActionImageIndex(const QAction* action) {
  const QVariant value = action->property(kImageIndexProperty);
  return value.isValid() ? value.toInt() : -1;
}

void TFlatButtonActionLink::ActionChange(bool checkDefaults) {
  if (action_ == nullptr) {
    return;
  }
  if (!checkDefaults || button_->Caption().isEmpty()) {
    button_->SetCaption(action_->text());
  }
  if (!checkDefaults || button_->isEnabled()) {
    button_->setEnabled(action_->isEnabled());
  }
  if (!checkDefaults || button_->Hint().isEmpty()) {
    button_->SetHint(action_->toolTip());
  }
  if (!checkDefaults || !button_->isHidden()) {
    button_->setVisible(action_->isVisible());
  }
  if (!checkDefaults || !button_->Down()) {
    button_->SetDown(action_->isChecked());
  }
  if (!checkDefaults || button_->ImageIndex() == -1) {
    button_->SetImageIndex(ActionImageIndex(action_));
  }
  checked_ = action_->isChecked();
  imageIndex_ = ActionImageIndex(action_);
}

void TFlatButtonActionLink::actionChanged() {
  button_->SetCaption(action_->text());
  button_->setEnabled(action_->isEnabled());
  button_->SetHint(action_->toolTip());
  button_->setVisible(action_->isVisible());
  const bool checked = action_->isChecked();
  if (checked != checked_) {
    // Passed on only while the button agreed with the action's old value.
    if (button_->Down() == checked_) {
      button_->SetDown(checked);
    }
    checked_ = checked;
  }
}

void TFlatButtonActionLink::imageIndexChanged() {
  const int index = ActionImageIndex(action_);
  if (index != imageIndex_) {
    if (button_->ImageIndex() == imageIndex_) {
      button_->SetImageIndex(index);
    }
    imageIndex_ = index;
  }
}

bool TFlatButtonActionLink::eventFilter(QObject* watched, QEvent* event) {
  if (watched == action_ && event->type() == QEvent::DynamicPropertyChange &&
      static_cast<QDynamicPropertyChangeEvent*>(event)->propertyName() == kImageIndexProperty) {
    imageIndexChanged();
  }
  return QObject::eventFilter(watched, event);
}

void TFlatButtonActionLink::Execute() {
  if (action_ != nullptr) {
    action_->trigger();
  }
}

void TFlatButtonActionLink::AssignTo(const TFlatButton& button, QAction* action) {
  action->setChecked(button.Down());
}

}  // namespace widgets
