// What a screen reader learns of the flat toolbar button: a push button named
// by its caption, with a press action that clicks it. The button paints
// itself and takes no focus, so without this it is an unnamed piece of the
// window that nothing can press.
#pragma once

class QAccessibleInterface;
class QObject;
class QString;

namespace widgets {

// The accessibility factory of the flat widgets, for QAccessible::installFactory.
QAccessibleInterface* FlatWidgetAccessible(const QString& className, QObject* object);

}  // namespace widgets
