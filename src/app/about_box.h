// The about box: the program's name, version and where its makers can be
// reached.
#pragma once

#include <QDialog>

#include "widgets/flat_button.h"

class QFrame;
class QLabel;

class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutBox(QWidget* parent = nullptr);

  static constexpr char kHomepage[] = "https://www.vantrel.example/";
  static constexpr char kMailAddress[] = "developers@vantrel.example";
  static constexpr char kAuthorNotice[] = "Copyright (C) 2026 The Vantrel developers";

  // "&OK": closes the box with the result OK.
  void FlatButton1Click();
  // "&Homepage": opens the home page with the desktop's opener.
  void FlatButton2Click();

  QFrame* Panel1 = nullptr;
  QLabel* ProgramIcon = nullptr;
  QLabel* ProductName = nullptr;
  QLabel* Tagline = nullptr;
  QLabel* Version = nullptr;
  QLabel* Copyright = nullptr;
  QLabel* WebAddress = nullptr;
  QLabel* MailAddress = nullptr;
  QFrame* ButtonFrame = nullptr;
  widgets::TFlatButton* FlatButton2 = nullptr;
  widgets::TFlatButton* FlatButton1 = nullptr;

 private:
  void createComponents();
};
