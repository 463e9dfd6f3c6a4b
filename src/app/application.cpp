#include "app/application.h"

#include "app/message_box.h"

VantrelApplication::VantrelApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool VantrelApplication::notify(QObject* receiver, QEvent* event) {
  bool handled = false;
  app::Guarded([&] { handled = QApplication::notify(receiver, event); });
  return handled;
}
