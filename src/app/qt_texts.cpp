#include "app/qt_texts.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>

namespace app {

namespace {

std::unique_ptr<QTranslator>& InForce() {
  static std::unique_ptr<QTranslator> translator;
  return translator;
}

}  // namespace

bool InstallJapaneseQtTexts(const QString& folder) {
  RemoveJapaneseQtTexts();
  auto translator = std::make_unique<QTranslator>();
  // Only the widgets' own module: the program uses nothing else of Qt that
  // shows a text.
  if (!translator->load(QStringLiteral("qtbase_ja"), folder)) {
    return false;
  }
  QCoreApplication::installTranslator(translator.get());
  InForce() = std::move(translator);
  return true;
}

bool InstallJapaneseQtTexts() {
  return InstallJapaneseQtTexts(QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

void RemoveJapaneseQtTexts() {
  if (InForce() != nullptr) {
    QCoreApplication::removeTranslator(InForce().get());
    InForce().reset();
  }
}

}  // namespace app
