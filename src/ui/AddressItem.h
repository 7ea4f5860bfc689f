#pragma once

#include <QComboBox>
#include <QPainter>
#include <QRect>
#include <QStyledItemDelegate>
#include <cstdint>
#include <functional>

#include "ui/OwnerDraw.h"

namespace tarnel {

// Draws the address Index (0 .. 255) three ways, "ascii:", "dec:" and "hex:", into Rect of a list whose
// standard row height is ItemHeight. The caller prepares Canvas as the list does: its brush is the row's
// background (the highlight for a selected row) and its font the list's font. A row taller than ItemHeight
// carries a second line for 254 and 255. A null Canvas draws nothing.
void DrawAddressItem(QPainter* Canvas, int32_t Index, const QRect& Rect, TOwnerDrawState State,
                     int32_t ItemHeight);

// The draw-item handler of both address lists.
void cbbOldAddressDrawItem(QPainter* Canvas, int32_t Index, const QRect& Rect, TOwnerDrawState State,
                           int32_t ItemHeight);

// The measure-item handler of the current-address list: 254 and above get a double-height row.
void cbbOldAddressMeasureItem(int32_t Index, int32_t& Height, int32_t ItemHeight);

// A drop-down list whose rows are drawn by OnDrawItem and may differ in height through OnMeasureItem; the
// closed box draws its selected entry the same way. Without OnDrawItem a row shows its text.
class TAddressComboBox : public QComboBox {
  Q_OBJECT
 public:
  using TDrawItemEvent = std::function<void(QPainter* Canvas, int32_t Index, const QRect& Rect,
                                            TOwnerDrawState State, int32_t ItemHeight)>;
  using TMeasureItemEvent = std::function<void(int32_t Index, int32_t& Height, int32_t ItemHeight)>;

  explicit TAddressComboBox(QWidget* Parent = nullptr);

  int32_t ItemHeight() const { return FItemHeight; }
  void SetItemHeight(int32_t Value);
  // The height of row Index after OnMeasureItem had its say.
  int32_t MeasureItem(int32_t Index) const;
  // Prepares Canvas as the list does (font, background, text colour) and calls OnDrawItem.
  void DrawItem(QPainter* Canvas, int32_t Index, const QRect& Rect, TOwnerDrawState State) const;

  TDrawItemEvent OnDrawItem;
  TMeasureItemEvent OnMeasureItem;

 protected:
  void paintEvent(QPaintEvent* Event) override;

 private:
  int32_t FItemHeight = 16;
};

// Paints and measures the dropped-down rows of a TAddressComboBox.
class TAddressItemDelegate : public QStyledItemDelegate {
  Q_OBJECT
 public:
  explicit TAddressItemDelegate(TAddressComboBox* Combo);
  void paint(QPainter* Painter, const QStyleOptionViewItem& Option, const QModelIndex& Index) const override;
  QSize sizeHint(const QStyleOptionViewItem& Option, const QModelIndex& Index) const override;

 private:
  TAddressComboBox* FCombo;
};

}  // namespace tarnel
