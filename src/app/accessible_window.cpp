// The program's accessibility factory and the interfaces of the lamp panel
// and of plain containers. The output pane's interface lives in
// accessible_pane.cpp, the flat button's beside the button.
#include "app/accessible_window.h"

#include <QAccessibleWidget>
#include <QAbstractItemView>
#include <QComboBox>
#include <QPointer>
#include <QSet>
#include <QSplitter>

#include "app/accessible_pane.h"
#include "app/accessible_texts.h"
#include "app/output_pane.h"
#include "app/widget_text.h"
#include "widgets/accessible_flat_button.h"

namespace app {

namespace {

QSet<QObject*>& Asked() {
  static QSet<QObject*> asked;
  return asked;
}

// Rides on the lamp panel as a child object (not a widget, so the layout
// never sees it) and holds what its interface asks.
class LampPanelRole : public QObject {
 public:
  LampPanelRole(QWidget* panel, QWidget* picture, std::function<bool()> busy,
                std::function<void()> abort)
      : QObject(panel), picture(picture), busy(std::move(busy)), abort(std::move(abort)) {}
  QPointer<QWidget> picture;
  std::function<bool()> busy;
  std::function<void()> abort;
};

LampPanelRole* LampPanelRoleOf(QObject* object) {
  for (QObject* child : object->children()) {
    if (auto* role = dynamic_cast<LampPanelRole*>(child)) return role;
  }
  return nullptr;
}

// The child widgets a screen reader is shown: those not hidden on purpose.
// Qt's own containers list hidden children too, as controls "not showing",
// and some readers still announce them.
QList<QWidget*> ShownChildren(const QWidget* parent) {
  QList<QWidget*> shown;
  for (QObject* child : parent->children()) {
    auto* widget = qobject_cast<QWidget*>(child);
    if (widget != nullptr && !widget->isWindow() && !widget->isHidden()) shown << widget;
  }
  return shown;
}

// A container whose child list is `children()` of the derived class.
class ListedChildrenAccessible : public QAccessibleWidget {
 public:
  using QAccessibleWidget::QAccessibleWidget;

  int childCount() const override { return static_cast<int>(listed().size()); }
  QAccessibleInterface* child(int index) const override {
    const QList<QWidget*> children = listed();
    if (index < 0 || index >= children.size()) return nullptr;
    return QAccessible::queryAccessibleInterface(children.at(index));
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    if (child == nullptr) return -1;
    return static_cast<int>(listed().indexOf(qobject_cast<QWidget*>(child->object())));
  }

 protected:
  virtual QList<QWidget*> listed() const = 0;
};

class ContainerAccessible : public ListedChildrenAccessible {
 public:
  explicit ContainerAccessible(QWidget* widget) : ListedChildrenAccessible(widget) {}

 protected:
  QList<QWidget*> listed() const override { return ShownChildren(widget()); }
};

// A splitter's panes in the order they are shown (its children are in the
// order they were made); its handles are for the mouse.
class SplitterAccessible : public ListedChildrenAccessible {
 public:
  explicit SplitterAccessible(QSplitter* splitter)
      : ListedChildrenAccessible(splitter, QAccessible::Splitter) {}

 protected:
  QList<QWidget*> listed() const override {
    const auto* splitter = static_cast<const QSplitter*>(widget());
    QList<QWidget*> shown;
    for (int i = 0; i < splitter->count(); ++i) {
      if (!splitter->widget(i)->isHidden()) shown << splitter->widget(i);
    }
    return shown;
  }
};

class LampPanelAccessible : public ListedChildrenAccessible {
 public:
  LampPanelAccessible(QWidget* panel, LampPanelRole* role)
      : ListedChildrenAccessible(panel, QAccessible::StatusBar), role_(role) {
    MarkListened(panel, true);
  }
  ~LampPanelAccessible() override { MarkListened(object(), false); }

  QString text(QAccessible::Text kind) const override {
    // Busy or idle leads the description whatever the tool tip says: not
    // every reader hears a change of the busy state.
    if (kind == QAccessible::Description) {
      return FromAnsi(busy() ? texts::kLampPanelBusy : texts::kLampPanelIdle) +
             FromAnsi(texts::kLampPanelDescription);
    }
    QString text = QAccessibleWidget::text(kind);
    if (text.isEmpty() && kind == QAccessible::Name) return FromAnsi(texts::kLampPanelName);
    return text;
  }

  QAccessible::State state() const override {
    QAccessible::State state = QAccessibleWidget::state();
    state.busy = busy();
    return state;
  }

  QStringList actionNames() const override { return {pressAction()}; }
  void doAction(const QString& name) override {
    if (name == pressAction() && role_ != nullptr && role_->abort) role_->abort();
  }
  QStringList keyBindingsForAction(const QString&) const override { return {}; }

 protected:
  bool busy() const { return role_ != nullptr && role_->busy && role_->busy(); }

  QList<QWidget*> listed() const override {
    if (role_ == nullptr || role_->picture == nullptr || role_->picture->isHidden()) return {};
    return {role_->picture.data()};
  }

 private:
  QPointer<LampPanelRole> role_;
};

// A drop-down list named by its label, as every other field, where Qt's own
// interface on this desktop takes the current entry for the name. The entry
// is its value and its description, so a reader still says which it is.
class ComboBoxAccessible : public QAccessibleWidget {
 public:
  explicit ComboBoxAccessible(QComboBox* box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

  QString text(QAccessible::Text kind) const override {
    if (kind == QAccessible::Value) return box()->currentText();
    QString text = QAccessibleWidget::text(kind);
    if (kind == QAccessible::Description && text.isEmpty()) text = box()->currentText();
    return text;
  }

  // The list it drops, as Qt's own interface shows it.
  int childCount() const override { return 1; }
  QAccessibleInterface* child(int index) const override {
    return index == 0 ? QAccessible::queryAccessibleInterface(box()->view()) : nullptr;
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    return child != nullptr && child->object() == box()->view() ? 0 : -1;
  }

  QAccessible::State state() const override {
    QAccessible::State state = QAccessibleWidget::state();
    state.expandable = true;
    state.expanded = box()->view()->isVisible();
    state.hasPopup = true;
    return state;
  }

  QStringList actionNames() const override {
    return {showMenuAction(), pressAction(), setFocusAction()};
  }
  void doAction(const QString& name) override {
    if (name == showMenuAction() || name == pressAction()) {
      box()->showPopup();
    } else {
      QAccessibleWidget::doAction(name);
    }
  }

 private:
  QComboBox* box() const { return static_cast<QComboBox*>(widget()); }
};

QAccessibleInterface* WindowAccessible(const QString& className, QObject* object) {
  if (object == nullptr || !object->isWidgetType()) return nullptr;
  auto* widget = static_cast<QWidget*>(object);
  if (className == QLatin1String(OutputPane::staticMetaObject.className())) {
    return NewOutputPaneAccessible(static_cast<OutputPane*>(widget));
  }
  if (className == QLatin1String(object->metaObject()->className())) {
    if (LampPanelRole* role = LampPanelRoleOf(object)) return new LampPanelAccessible(widget, role);
  }
  // The lamp panel's picture is painted, not a label's text or pixmap.
  if (LampPanelRole* role = widget->parent() != nullptr ? LampPanelRoleOf(widget->parent()) : nullptr;
      role != nullptr && role->picture == widget) {
    return new QAccessibleWidget(widget, QAccessible::Graphic);
  }
  if (className == QLatin1String("QComboBox")) {
    return new ComboBoxAccessible(static_cast<QComboBox*>(widget));
  }
  // Plain containers (Qt's own helpers among them keep their interfaces).
  if (className == QLatin1String("QWidget") &&
      !widget->objectName().startsWith(QLatin1String("qt_"))) {
    return new ContainerAccessible(widget);
  }
  if (className == QLatin1String("QSplitter")) {
    return new SplitterAccessible(static_cast<QSplitter*>(widget));
  }
  return nullptr;
}

}  // namespace

void InstallAccessibility() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  QAccessible::installFactory(widgets::FlatWidgetAccessible);
  QAccessible::installFactory(WindowAccessible);
}

void MarkLampPanel(QWidget* panel, QWidget* picture, std::function<bool()> busy,
                   std::function<void()> abort) {
  new LampPanelRole(panel, picture, std::move(busy), std::move(abort));
}

bool Listened(QObject* object) { return QAccessible::isActive() || Asked().contains(object); }

void MarkListened(QObject* object, bool listened) {
  if (listened) {
    Asked().insert(object);
  } else {
    Asked().remove(object);
  }
}

void AnnounceLampState(QWidget* panel) {
  if (!Listened(panel)) return;
  QAccessible::State changed;
  changed.busy = true;
  QAccessibleStateChangeEvent event(panel, changed);
  QAccessible::updateAccessibility(&event);
  // Not every bridge passes a change of the busy state on; the description
  // that tells it goes everywhere.
  QAccessibleEvent described(panel, QAccessible::DescriptionChanged);
  QAccessible::updateAccessibility(&described);
}

}  // namespace app
