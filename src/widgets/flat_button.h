// TFlatButton: a toolbar button that shows only its face and caption until the
// mouse comes over it, with a glyph, latching groups, auto-repeat and an
// optional drop-down menu. A plain child widget without a native window,
// painted with QPainter in the palette's 3-D colours.
#pragma once

#include <QImage>
#include <QMenu>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "widgets/button_glyph.h"
#include "widgets/button_types.h"

class QAction;
class QTimer;

namespace widgets {

class TFlatButtonActionLink;
class TImageList;
class FlatButtonHooks;

class TFlatButton : public QWidget {
  Q_OBJECT

 public:
  explicit TFlatButton(QWidget* parent = nullptr);
  ~TFlatButton() override;

  // --- Properties (Enabled, Visible, Font and the tool tip are QWidget's) ---
  QAction* Action() const;
  void SetAction(QAction* action);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value);
  bool AllowAllUp() const { return allowAllUp_; }
  void SetAllowAllUp(bool value);
  bool Cancel() const { return cancel_; }
  void SetCancel(bool value) { cancel_ = value; }
  // The face colour: the palette's button colour unless set, or the parent's
  // background with ParentColor.
  QColor Color() const;
  void SetColor(const QColor& color);
  bool ParentColor() const { return parentColor_; }
  void SetParentColor(bool value);
  int GroupIndex() const { return groupIndex_; }
  void SetGroupIndex(int value);
  bool Default() const { return default_; }
  void SetDefault(bool value) { default_ = value; }
  TButtonDisplayMode DisplayMode() const { return displayMode_; }
  void SetDisplayMode(TButtonDisplayMode value);
  bool Down() const { return down_; }
  void SetDown(bool value);
  bool DropdownArrow() const { return dropdownArrow_; }
  void SetDropdownArrow(bool value);
  bool DropdownCombo() const { return dropdownCombo_; }
  void SetDropdownCombo(bool value);
  QMenu* DropdownMenu() const { return dropdownMenu_; }
  void SetDropdownMenu(QMenu* menu);
  // An ampersand marks the accelerator, Alt plus that letter in the window.
  QString Caption() const { return caption_; }
  void SetCaption(const QString& caption);
  bool Flat() const { return flat_; }
  void SetFlat(bool value);
  const QImage& Glyph() const { return glyph_.Glyph(); }
  void SetGlyph(const QImage& glyph);
  const QImage& GlyphMask() const { return glyph_.GlyphMask(); }
  void SetGlyphMask(const QImage& mask);
  int ImageIndex() const { return glyph_.ImageIndex(); }
  void SetImageIndex(int index);
  TImageList* Images() const { return glyph_.Images(); }
  void SetImages(TImageList* images);
  TButtonLayout Layout() const { return layout_; }
  void SetLayout(TButtonLayout value);
  // Pixels from the edge to the glyph; -1 centres the content. Values below
  // -1 are ignored.
  int Margin() const { return margin_; }
  void SetMargin(int value);
  // Handed to the parent dialog's done() on a click; 0 leaves it open.
  int ModalResult() const { return modalResult_; }
  void SetModalResult(int value) { modalResult_ = value; }
  bool NoBorder() const { return noBorder_; }
  void SetNoBorder(bool value);
  int NumGlyphs() const { return glyph_.NumGlyphs(); }
  void SetNumGlyphs(int count);
  bool OldDisabledStyle() const { return glyph_.OldDisabledStyle(); }
  void SetOldDisabledStyle(bool value);
  // Opaque buttons paint their whole face; a flat one that is not lets the
  // parent's background show through.
  bool Opaque() const { return opaque_; }
  void SetOpaque(bool value);
  bool ParentFont() const;
  void SetParentFont(bool value);
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool value);
  bool ParentShowHint() const { return parentShowHint_; }
  void SetParentShowHint(bool value);
  QString Hint() const { return toolTip(); }
  void SetHint(const QString& hint) { setToolTip(hint); }
  bool Repeating() const { return repeating_; }
  void SetRepeating(bool value) { repeating_ = value; }
  int RepeatDelay() const { return repeatDelay_; }
  void SetRepeatDelay(int ms) { repeatDelay_ = ms; }
  int RepeatInterval() const { return repeatInterval_; }
  void SetRepeatInterval(int ms) { repeatInterval_ = ms; }
  bool ShowBorderWhenInactive() const { return showBorderWhenInactive_; }
  void SetShowBorderWhenInactive(bool value) { showBorderWhenInactive_ = value; }
  // Pixels between glyph and caption; -1 spreads the content evenly.
  int Spacing() const { return spacing_; }
  void SetSpacing(int value);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool value);

  // --- Events, raised only when set ---
  std::function<void(TFlatButton*)> OnClick;
  std::function<void(TFlatButton*)> OnDblClick;
  std::function<void(TFlatButton*)> OnMouseEnter;
  std::function<void(TFlatButton*)> OnMouseExit;
  std::function<void(TFlatButton*, Qt::MouseButton, Qt::KeyboardModifiers, QPoint)> OnMouseDown;
  std::function<void(TFlatButton*, Qt::MouseButton, Qt::KeyboardModifiers, QPoint)> OnMouseUp;
  std::function<void(TFlatButton*, Qt::KeyboardModifiers, QPoint)> OnMouseMove;

  // --- Behaviour ---
  // The full click: latching, the pressed look, the dialog's result, OnClick
  // or the action, and the drop-down menu.
  void Click();
  TButtonFaceState FaceState() const { return state_; }
  bool PointerOver() const { return pointerOver_; }
  bool Tracking() const { return tracking_; }
  // The one button of the process whose border follows the mouse, if any.
  static TFlatButton* HotButton();
  // The glyph object, whose state images live in the shared glyph lists.
  const TButtonGlyph& ButtonGlyph() const { return glyph_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool event(QEvent* event) override;

 private:
  friend class FlatButtonHooks;

  // The button's own mouse-enter and mouse-exit, kept apart from Qt's enter
  // and leave events, which only prompt the hot-tracking checks.
  void MouseEnter();
  void MouseExit();
  // The framework's part of a click: OnClick, else the action.
  void frameworkClick();
  void DblClick();
  // After a click or a menu: enter or exit as the cursor says.
  void checkCursor();
  bool insideMainPart(QPoint pos) const;
  bool comboWithMenu() const;
  // Leaves mouse tracking: repeat timer off, tracking ended with mouse-exit.
  void cancelMode();
  void enabledChanged();
  void paletteChanged();
  void Redraw(bool erase);
  // Properties that change the look redraw only when they really change.
  template <typename T>
  void assignAndRedraw(T& field, T value);
  void setState(TButtonFaceState state);
  void updateExclusive();
  bool parentCanFocus() const;
  // Enter for Default, Escape for Cancel: clicks when the button may take it.
  bool handleDialogKey(int key, Qt::KeyboardModifiers modifiers);
  void popUpMenu();
  void repeatTick();
  void updateOpaqueAttribute();
  void grabMnemonic();

  TButtonGlyph glyph_;
  std::unique_ptr<TFlatButtonActionLink> actionLink_;
  TAlignment alignment_ = taCenter;
  bool allowAllUp_ = false;
  bool cancel_ = false;
  std::optional<QColor> color_;
  bool parentColor_ = false;
  int groupIndex_ = 0;
  bool default_ = false;
  TButtonDisplayMode displayMode_ = dmBoth;
  bool down_ = false;
  bool dropdownArrow_ = true;
  bool dropdownCombo_ = false;
  QPointer<QMenu> dropdownMenu_;
  QString caption_;
  bool flat_ = true;
  TButtonLayout layout_ = blGlyphLeft;
  int margin_ = -1;
  int modalResult_ = 0;
  bool noBorder_ = false;
  bool opaque_ = true;
  bool showHint_ = true;
  bool parentShowHint_ = true;
  bool repeating_ = false;
  int repeatDelay_ = 400;
  int repeatInterval_ = 100;
  bool showBorderWhenInactive_ = false;
  int spacing_ = kDefaultSpacing;
  bool wordWrap_ = false;

  TButtonFaceState state_ = bfUp;
  bool pointerOver_ = false;
  bool tracking_ = false;
  bool clicking_ = false;
  bool menuPress_ = false;
  bool hasMenu_ = false;
  bool destroying_ = false;
  QPoint lastTrackedPos_;
  QTimer* repeatTimer_ = nullptr;
  int mnemonicId_ = 0;
};

}  // namespace widgets
