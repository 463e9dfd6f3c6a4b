#include "app/answer_box.h"

#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

#include "app/output_pane.h"
#include "app/ui_fonts.h"
#include "app/window_minimum.h"

namespace app {

namespace {

// Of the screen's free area, the box takes at most this share, which leaves
// room for a window manager's frame.
constexpr double kScreenShare = 0.9;
constexpr int kMargin = 8;

}  // namespace

AnswerBox::AnswerBox(QWidget* owner, const QString& caption, const PaneLines& lines)
    : QDialog(owner) {
  setWindowTitle(caption);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(kMargin, kMargin, kMargin, kMargin);

  pane_ = new OutputPane;
  pane_->setObjectName(QStringLiteral("AnswerPane"));
  pane_->setFont(FixedFont());
  pane_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  pane_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  pane_->setLines(&lines);
  column->addWidget(pane_, 1);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  ok_->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  column->addWidget(buttons);

  fitToScreen(lines);
  KeepAtLeastMinimumSize(this);
  // The answer has the keys, so PgDn scrolls it at once; Return still presses
  // OK (below).
  pane_->setFocus();
}

void AnswerBox::fitToScreen(const PaneLines& lines) {
  QScreen* screen = parentWidget() != nullptr ? parentWidget()->screen() : nullptr;
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  const QRect free = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 800, 600);
  const QSize most(static_cast<int>(free.width() * kScreenShare),
                   static_cast<int>(free.height() * kScreenShare));

  // The whole answer when it is small; otherwise as much as the screen gives.
  const QSize around = sizeHint() - pane_->sizeHint();
  const qint64 textWidth = static_cast<qint64>(lines.LongestLine()) * pane_->cellWidth();
  const qint64 textHeight = static_cast<qint64>(std::max<std::size_t>(lines.LineCount(), 1)) *
                            pane_->fontMetrics().lineSpacing();
  const int frame = 2 * pane_->frameWidth() + 8;
  const int scrollBar = pane_->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  const QSize wanted(static_cast<int>(std::min<qint64>(
                         textWidth + frame + scrollBar + around.width(), most.width())),
                     static_cast<int>(std::min<qint64>(
                         textHeight + frame + scrollBar + around.height(), most.height())));
  setMinimumSize(minimumSizeHint().boundedTo(most));
  resize(wanted.expandedTo(minimumSize()).expandedTo(QSize(240, 120)).boundedTo(most));
  move(free.center() - rect().center());
}

void AnswerBox::keyPressEvent(QKeyEvent* event) {
  // Enter presses OK wherever the focus is, the answer included.
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
      (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
    ok_->click();
    return;
  }
  QDialog::keyPressEvent(event);
}

void ShowAnswerBox(QWidget* owner, const QString& caption, const PaneLines& lines) {
  AnswerBox box(owner, caption, lines);
  box.exec();
}

}  // namespace app
