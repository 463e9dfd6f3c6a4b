// TFlatButton: construction, properties, and the reactions to enabling, font
// and palette changes. Mouse handling and clicks are in
// flat_button_mouse.cpp, painting in flat_button_paint.cpp.
#include "widgets/flat_button.h"

#include <QAction>
#include <QEvent>
#include <QKeySequence>
#include <QMenu>
#include <QTimer>

#include "widgets/flat_button_action_link.h"
#include "widgets/flat_button_hooks.h"

namespace widgets {

namespace {
constexpr int kNewWidth = 23;
constexpr int kNewHeight = 22;
constexpr int kComboPartWidth = 11;
}  // namespace

TFlatButton::TFlatButton(QWidget* parent) : QWidget(parent) {
  resize(kNewWidth, kNewHeight);
  // Moves arrive without a button held, for hot tracking.
  setMouseTracking(true);
  setFocusPolicy(Qt::NoFocus);
  updateOpaqueAttribute();
  FlatButtonHooks::Register(this);
}

TFlatButton::~TFlatButton() {
  destroying_ = true;
  if (mnemonicId_ != 0) {
    releaseShortcut(mnemonicId_);
  }
  FlatButtonHooks::Unregister(this);
}

TFlatButton* TFlatButton::HotButton() { return FlatButtonHooks::Hot(); }

void TFlatButton::Redraw(bool /*erase*/) {
  // A transparent button always has the parent painted underneath; an opaque
  // one is marked so that nothing below it is repainted.
  update();
}

template <typename T>
void TFlatButton::assignAndRedraw(T& field, T value) {
  if (field != value) {
    field = value;
    Redraw(true);
  }
}

void TFlatButton::setState(TButtonFaceState state) {
  if (state != state_) {
    state_ = state;
    Redraw(true);
  }
}

void TFlatButton::updateOpaqueAttribute() {
  setAttribute(Qt::WA_OpaquePaintEvent, opaque_ || !flat_);
}

QAction* TFlatButton::Action() const {
  return actionLink_ != nullptr ? actionLink_->Action() : nullptr;
}

void TFlatButton::SetAction(QAction* action) {
  actionLink_.reset();
  if (action != nullptr) {
    actionLink_ = std::make_unique<TFlatButtonActionLink>(this, action);
    actionLink_->ActionChange(false);
  }
}

void TFlatButton::SetAlignment(TAlignment value) { assignAndRedraw(alignment_, value); }

void TFlatButton::SetAllowAllUp(bool value) {
  if (value != allowAllUp_) {
    allowAllUp_ = value;
    updateExclusive();
  }
}

QColor TFlatButton::Color() const {
  if (parentColor_ && parentWidget() != nullptr) {
    return parentWidget()->palette().color(QPalette::Window);
  }
  return color_.value_or(palette().color(QPalette::Active, QPalette::Button));
}

void TFlatButton::SetColor(const QColor& color) {
  parentColor_ = false;
  if (color_ != color) {
    color_ = color;
    Redraw(true);
  }
}

void TFlatButton::SetParentColor(bool value) { assignAndRedraw(parentColor_, value); }

void TFlatButton::SetGroupIndex(int value) {
  if (value != groupIndex_) {
    groupIndex_ = value;
    updateExclusive();
  }
}

void TFlatButton::SetDisplayMode(TButtonDisplayMode value) { assignAndRedraw(displayMode_, value); }

void TFlatButton::SetDown(bool value) {
  if (groupIndex_ == 0) {
    value = false;
  }
  if (value == down_ || (down_ && !allowAllUp_)) {
    return;
  }
  down_ = value;
  setState(!isEnabled() ? bfDisabled : value ? bfLatched : bfUp);
  Redraw(true);
  if (value) {
    updateExclusive();
  }
}

// Latching within a group: a button that goes down releases the others, and
// the group shares one AllowAllUp.
void TFlatButton::updateExclusive() {
  if (groupIndex_ == 0 || parentWidget() == nullptr) {
    return;
  }
  for (TFlatButton* other :
       parentWidget()->findChildren<TFlatButton*>(Qt::FindDirectChildrenOnly)) {
    if (other == this || other->groupIndex_ != groupIndex_) {
      continue;
    }
    if (down_ && other->down_) {
      other->down_ = false;
      other->setState(other->isEnabled() ? bfUp : bfDisabled);
      other->Redraw(true);
    }
    other->allowAllUp_ = allowAllUp_;
  }
}

void TFlatButton::SetDropdownArrow(bool value) { assignAndRedraw(dropdownArrow_, value); }

void TFlatButton::SetDropdownCombo(bool value) {
  if (value == dropdownCombo_) {
    return;
  }
  dropdownCombo_ = value;
  resize(value ? width() + kComboPartWidth : std::max(width() - kComboPartWidth, 1), height());
  Redraw(true);
}

void TFlatButton::SetDropdownMenu(QMenu* menu) {
  if (menu == dropdownMenu_) {
    return;
  }
  if (dropdownMenu_ != nullptr) {
    disconnect(dropdownMenu_, &QObject::destroyed, this, nullptr);
  }
  dropdownMenu_ = menu;
  hasMenu_ = menu != nullptr;
  if (menu != nullptr) {
    // A menu freed elsewhere clears the property.
    connect(menu, &QObject::destroyed, this, [this] {
      hasMenu_ = false;
      if (dropdownArrow_) {
        Redraw(true);
      }
    });
  }
  if (dropdownArrow_) {
    Redraw(true);
  }
}

void TFlatButton::SetCaption(const QString& caption) {
  if (caption != caption_) {
    caption_ = caption;
    grabMnemonic();
    Redraw(true);
  }
}

void TFlatButton::grabMnemonic() {
  if (mnemonicId_ != 0) {
    releaseShortcut(mnemonicId_);
    mnemonicId_ = 0;
  }
  const QKeySequence mnemonic = QKeySequence::mnemonic(caption_);
  if (!mnemonic.isEmpty()) {
    mnemonicId_ = grabShortcut(mnemonic);
  }
}

void TFlatButton::SetFlat(bool value) {
  if (value != flat_) {
    flat_ = value;
    updateOpaqueAttribute();
    Redraw(true);
  }
}

void TFlatButton::SetGlyph(const QImage& glyph) {
  glyph_.SetGlyph(glyph);
  Redraw(true);
}

void TFlatButton::SetGlyphMask(const QImage& mask) {
  glyph_.SetGlyphMask(mask);
  Redraw(true);
}

void TFlatButton::SetImageIndex(int index) {
  if (index != glyph_.ImageIndex()) {
    glyph_.SetImageIndex(index);
    Redraw(true);
  }
}

void TFlatButton::SetImages(TImageList* images) {
  if (images == glyph_.Images()) {
    return;
  }
  if (TImageList* old = glyph_.Images()) {
    disconnect(old, &QObject::destroyed, this, nullptr);
  }
  glyph_.SetImages(images);
  if (images != nullptr) {
    connect(images, &QObject::destroyed, this, [this] {
      glyph_.SetImages(nullptr);
      Redraw(true);
    });
  }
  Redraw(true);
}

void TFlatButton::SetLayout(TButtonLayout value) { assignAndRedraw(layout_, value); }

void TFlatButton::SetMargin(int value) {
  if (value != margin_ && value >= -1) {
    margin_ = value;
    Redraw(true);
  }
}

void TFlatButton::SetNoBorder(bool value) {
  if (value != noBorder_) {
    noBorder_ = value;
    update();
  }
}

void TFlatButton::SetNumGlyphs(int count) {
  if (count != glyph_.NumGlyphs()) {
    glyph_.SetNumGlyphs(count);
    Redraw(true);
  }
}

void TFlatButton::SetOldDisabledStyle(bool value) {
  if (value != glyph_.OldDisabledStyle()) {
    glyph_.SetOldDisabledStyle(value);
    Redraw(true);
  }
}

void TFlatButton::SetOpaque(bool value) {
  if (value != opaque_) {
    opaque_ = value;
    updateOpaqueAttribute();
    update();
  }
}

bool TFlatButton::ParentFont() const { return !testAttribute(Qt::WA_SetFont); }

void TFlatButton::SetParentFont(bool value) {
  if (value) {
    // An empty font resolves nothing, so the parent's font shows through.
    setFont(QFont());
  } else {
    QFont own = font();
    own.setResolveMask(QFont::AllPropertiesResolved);
    setFont(own);
  }
}

void TFlatButton::SetShowHint(bool value) {
  showHint_ = value;
  parentShowHint_ = false;
}

void TFlatButton::SetParentShowHint(bool value) { parentShowHint_ = value; }

void TFlatButton::SetSpacing(int value) { assignAndRedraw(spacing_, value); }

void TFlatButton::SetWordWrap(bool value) { assignAndRedraw(wordWrap_, value); }

void TFlatButton::enabledChanged() {
  if (!isEnabled()) {
    state_ = bfDisabled;
    pointerOver_ = false;
    tracking_ = false;
    FlatButtonHooks::Release(this);
    cancelMode();
  } else if (state_ == bfDisabled) {
    state_ = down_ && groupIndex_ != 0 ? bfLatched : bfUp;
  }
  Redraw(true);
}

void TFlatButton::paletteChanged() {
  // The palette is the system's colours: images made from them are stale.
  glyph_.Invalidate();
  Redraw(true);
}

void TFlatButton::changeEvent(QEvent* event) {
  switch (event->type()) {
    case QEvent::EnabledChange:
      enabledChanged();
      break;
    case QEvent::PaletteChange:
      paletteChanged();
      break;
    case QEvent::FontChange:
      Redraw(true);
      break;
    default:
      break;
  }
  QWidget::changeEvent(event);
}

bool TFlatButton::parentCanFocus() const {
  const QWidget* parent = parentWidget();
  return parent != nullptr && parent->isVisible() && parent->isEnabled();
}

bool TFlatButton::handleDialogKey(int key, Qt::KeyboardModifiers modifiers) {
  const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
  const bool escape = key == Qt::Key_Escape;
  const bool shifted =
      modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
  if (((enter && default_) || (escape && cancel_)) && !shifted && parentCanFocus() && isEnabled() &&
      isVisible()) {
    Click();
    return true;
  }
  return false;
}

}  // namespace widgets
