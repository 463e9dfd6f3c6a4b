// The application object. Its only addition to Qt's is the last line of
// defence against errors: an exception that escapes one of our handlers is
// caught where the event was delivered and shown in the application's error
// box, and the program goes on.
#pragma once

#include <QApplication>

class VantrelApplication : public QApplication {
  Q_OBJECT

 public:
  VantrelApplication(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;
};
