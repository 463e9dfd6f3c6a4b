// The about box's layout and its two buttons.
#include "app/about_box.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

#include "app/accessible_texts.h"
#include "app/app_icon.h"
#include "app/session_texts.h"
#include "app/ui_fonts.h"
#include "app/widget_text.h"

// Compiled in, as the main window's glyphs.
#include "app/glyphs/homepage.xpm"
#include "app/glyphs/ok.xpm"
#include "app/window_minimum.h"
#include "platform/system.h"

namespace {

using app::FromAnsi;

QFrame* DecorativeLine(QWidget* parent, int x, int y, int width) {
  auto* line = new QFrame(parent);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  line->setGeometry(x, y, width, 2);
  return line;
}

}  // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) { createComponents(); }

void TAboutBox::createComponents() {
  setObjectName("AboutBox");
  setWindowTitle(FromAnsi(app::texts::kAboutCaption));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFixedSize(295, 183);
  app::KeepAtLeastMinimumSize(this);
  setFont(app::ProportionalFont());

  // A lowered outer and a raised inner bevel: the etched edge of a panel
  // sunk into the window.
  Panel1 = new QFrame(this);
  Panel1->setObjectName("Panel1");
  Panel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
  Panel1->setLineWidth(1);
  Panel1->setMidLineWidth(0);
  Panel1->setGeometry(8, 8, 279, 130);

  ProgramIcon = new QLabel(Panel1);
  ProgramIcon->setObjectName("ProgramIcon");
  ProgramIcon->setGeometry(12, 12, 32, 32);
  ProgramIcon->setAccessibleName(FromAnsi(app::texts::kProgramIconName));
  ProgramIcon->setPixmap(
      app::ApplicationPixmap().scaled(32, 32, Qt::KeepAspectRatio, Qt::SmoothTransformation));

  ProductName = new QLabel(QStringLiteral("Vantrel"), Panel1);
  ProductName->setObjectName("ProductName");
  QFont nameFont(QStringLiteral("Arial"));
  nameFont.setPixelSize(16);
  nameFont.setBold(true);
  nameFont.setItalic(true);
  ProductName->setFont(nameFont);
  QPalette namePalette = ProductName->palette();
  namePalette.setColor(QPalette::WindowText, Qt::blue);
  ProductName->setPalette(namePalette);
  ProductName->move(56, 12);
  ProductName->adjustSize();

  Tagline = new QLabel(FromAnsi(app::texts::kAboutTagline), Panel1);
  Tagline->setObjectName("Tagline");
  Tagline->move(56, 34);
  Tagline->adjustSize();

  DecorativeLine(Panel1, 8, 54, 263);

  Version = new QLabel(QStringLiteral("Version 1.21"), Panel1);
  Version->setObjectName("Version");
  Version->move(56, 62);
  Version->adjustSize();

  Copyright = new QLabel(QString::fromLatin1(kAuthorNotice), Panel1);
  Copyright->setObjectName("Copyright");
  Copyright->move(12, 84);
  Copyright->adjustSize();

  WebAddress = new QLabel(QString::fromLatin1(kHomepage), Panel1);
  WebAddress->setObjectName("WebAddress");
  WebAddress->move(12, 98);
  WebAddress->adjustSize();

  MailAddress = new QLabel(QString::fromLatin1(kMailAddress), Panel1);
  MailAddress->setObjectName("MailAddress");
  MailAddress->move(12, 112);
  MailAddress->adjustSize();

  ButtonFrame = new QFrame(this);
  ButtonFrame->setObjectName("ButtonFrame");
  ButtonFrame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  ButtonFrame->setGeometry(8, 144, 279, 32);

  FlatButton2 = new widgets::TFlatButton(ButtonFrame);
  FlatButton2->setObjectName("FlatButton2");
  FlatButton2->SetCaption(QStringLiteral("&Homepage"));
  FlatButton2->SetGlyph(QImage(homepage_xpm));
  FlatButton2->setGeometry(4, 4, 90, 24);
  FlatButton2->OnClick = [this](widgets::TFlatButton*) { FlatButton2Click(); };

  FlatButton1 = new widgets::TFlatButton(ButtonFrame);
  FlatButton1->setObjectName("FlatButton1");
  FlatButton1->SetCaption(QStringLiteral("&OK"));
  FlatButton1->SetGlyph(QImage(ok_xpm));
  FlatButton1->setGeometry(185, 4, 90, 24);
  FlatButton1->SetDefault(true);
  FlatButton1->OnClick = [this](widgets::TFlatButton*) { FlatButton1Click(); };

  // Centred on the screen, whichever screen the program starts on.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
}

void TAboutBox::FlatButton1Click() { accept(); }

void TAboutBox::FlatButton2Click() { platform::ShellOpen(kHomepage); }
