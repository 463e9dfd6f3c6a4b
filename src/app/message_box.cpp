#include "app/message_box.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <cstdio>

#include "app/widget_text.h"

namespace app {

namespace {

bool boxesWrittenOut = false;

void WriteOut(std::FILE* stream, const QByteArray& utf8) {
  std::fwrite(utf8.constData(), 1, static_cast<std::size_t>(utf8.size()), stream);
  if (!utf8.endsWith('\n')) {
    std::fputc('\n', stream);
  }
  std::fflush(stream);
}

}  // namespace

bool BoxesAreWrittenOut() {
  if (boxesWrittenOut) {
    return true;
  }
  const QString platform = QGuiApplication::platformName();
  return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

void ShowMessageBox(QWidget* owner, const QString& caption, const QString& text, BoxKind kind) {
  if (kind == BoxKind::Error) {
    MarkRunFailed();
  }
  if (BoxesAreWrittenOut()) {
    if (kind == BoxKind::Error) {
      WriteOut(stderr, (caption + QStringLiteral(": ") + text).toUtf8());
    } else {
      StandardOutputWriter out;
      out.Write(text.toStdString());
      out.Finish();
    }
    return;
  }
  QMessageBox box(kind == BoxKind::Error ? QMessageBox::Critical : QMessageBox::NoIcon, caption,
                  text, QMessageBox::Ok, owner);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

void ShowMessageBoxStreamed(QWidget* owner, const QString& caption, const TextProducer& produce,
                            BoxKind kind) {
  if (kind == BoxKind::Plain && BoxesAreWrittenOut()) {
    StandardOutputWriter out;
    produce([&out](std::string_view piece) { out.Write(piece); });
    out.Finish();
    return;
  }
  std::string text;
  produce([&text](std::string_view piece) { text += piece; });
  ShowMessageBox(owner, caption, QString::fromStdString(text), kind);
}

void WriteBoxesOutFromNowOn() { boxesWrittenOut = true; }

void ReportFailure(const std::string& ansiMessage) {
  MarkRunFailed();
  WriteOut(stderr, FromAnsi(ansiMessage).toUtf8());
}

std::string TextWithPath(const char* pattern, const std::string& path) {
  std::string text = pattern;
  const std::size_t at = text.find("%s");
  if (at != std::string::npos) {
    text.replace(at, 2, platform::Utf8ToAnsi(path));
  }
  return text;
}

void ShowApplicationError(const std::string& ansiMessage) {
  ShowMessageBox(QApplication::activeWindow(), QApplication::applicationName(),
                 FromAnsi(ansiMessage), BoxKind::Error);
}

}  // namespace app
