#include "app/pane_find_box.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/texts.h"
#include "app/widget_text.h"

PaneFindBox::PaneFindBox(OutputPane* pane) : QDialog(pane), pane_(pane) {
  setObjectName(QStringLiteral("PaneFindBox"));
  setWindowTitle(app::FromAnsi(app::texts::kFindCaption));
  auto* grid = new QGridLayout(this);

  auto* label = new QLabel(app::FromAnsi(app::texts::kFindLabel));
  text_ = new QLineEdit;
  text_->setObjectName(QStringLiteral("FindText"));
  label->setBuddy(text_);
  matchCase_ = new QCheckBox(app::FromAnsi(app::texts::kFindMatchCase));
  matchCase_->setObjectName(QStringLiteral("FindMatchCase"));
  outcome_ = new QLabel;
  outcome_->setObjectName(QStringLiteral("FindOutcome"));
  grid->addWidget(label, 0, 0);
  grid->addWidget(text_, 0, 1);
  grid->addWidget(matchCase_, 1, 0, 1, 2);
  grid->addWidget(outcome_, 2, 0, 1, 2);

  auto* buttons = new QVBoxLayout;
  next_ = new QPushButton(app::FromAnsi(app::texts::kFindNext));
  next_->setObjectName(QStringLiteral("FindNext"));
  next_->setDefault(true);
  previous_ = new QPushButton(app::FromAnsi(app::texts::kFindPrevious));
  previous_->setObjectName(QStringLiteral("FindPrevious"));
  auto* close = new QPushButton(app::FromAnsi(app::texts::kFindClose));
  close->setObjectName(QStringLiteral("FindClose"));
  buttons->addWidget(next_);
  buttons->addWidget(previous_);
  buttons->addWidget(close);
  buttons->addStretch(1);
  grid->addLayout(buttons, 0, 2, 3, 1);

  connect(next_, &QPushButton::clicked, this, [this] { findFrom(false); });
  connect(previous_, &QPushButton::clicked, this, [this] { findFrom(true); });
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  connect(text_, &QLineEdit::textEdited, outcome_, &QLabel::clear);
  // F3 and Shift+F3 work here as in the pane's window.
  addAction(pane->findNextAction());
  addAction(pane->findPreviousAction());
}

QString PaneFindBox::Outcome() const { return outcome_->text(); }

void PaneFindBox::findFrom(bool backward) {
  if (text_->text().isEmpty()) return;
  showOutcome(pane_->find(text_->text(), backward, matchCase_->isChecked()), backward);
}

void PaneFindBox::showOutcome(OutputPane::FindResult result, bool backward) {
  switch (result) {
    case OutputPane::FindResult::Found:
      outcome_->clear();
      break;
    case OutputPane::FindResult::Wrapped:
      outcome_->setText(app::FromAnsi(backward ? app::texts::kFindWrappedToEnd
                                               : app::texts::kFindWrappedToTop));
      break;
    case OutputPane::FindResult::NotFound:
      outcome_->setText(app::FromAnsi(app::texts::kFindNotFound));
      break;
  }
}
