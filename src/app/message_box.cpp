#include "app/message_box.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <cstdio>

#include "app/widget_text.h"

namespace app {

namespace {

bool errorBoxRaised = false;

void WriteOut(std::FILE* stream, const char* utf8, std::size_t size) {
  std::fwrite(utf8, 1, size, stream);
  if (size == 0 || utf8[size - 1] != '\n') {
    std::fputc('\n', stream);
  }
  std::fflush(stream);
}

void WriteOut(std::FILE* stream, const QByteArray& utf8) {
  WriteOut(stream, utf8.constData(), static_cast<std::size_t>(utf8.size()));
}

}  // namespace

bool BoxesAreWrittenOut() {
  const QString platform = QGuiApplication::platformName();
  return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

void ShowMessageBox(QWidget* owner, const QString& caption, const QString& text, BoxKind kind) {
  if (kind == BoxKind::Error) {
    errorBoxRaised = true;
  }
  if (BoxesAreWrittenOut()) {
    if (kind == BoxKind::Error) {
      WriteOut(stderr, (caption + QStringLiteral(": ") + text).toUtf8());
    } else {
      WriteOut(stdout, text.toUtf8());
    }
    return;
  }
  QMessageBox box(kind == BoxKind::Error ? QMessageBox::Critical : QMessageBox::NoIcon, caption,
                  text, QMessageBox::Ok, owner);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

void ShowMessageBoxUtf8(QWidget* owner, const QString& caption, const std::string& utf8Text,
                        BoxKind kind) {
  if (kind == BoxKind::Plain && BoxesAreWrittenOut()) {
    WriteOut(stdout, utf8Text.data(), utf8Text.size());
    return;
  }
  ShowMessageBox(owner, caption, QString::fromStdString(utf8Text), kind);
}

void ShowApplicationError(const std::string& ansiMessage) {
  ShowMessageBox(QApplication::activeWindow(), QApplication::applicationName(),
                 FromAnsi(ansiMessage), BoxKind::Error);
}

bool ErrorBoxRaised() { return errorBoxRaised; }

void ResetErrorBoxRaised() { errorBoxRaised = false; }

}  // namespace app
