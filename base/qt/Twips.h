#pragma once
// Design measures in twips (1/1440 inch) converted to the screen's logical pixels.
#include <QAbstractButton>
#include <QFont>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QRect>
#include <QScreen>
#include <QWidget>
#include <QtGlobal>

#include "base/Twips.h"

namespace np {

class TwipsScale {
 public:
  TwipsScale(double dpiX, double dpiY) : dpiX_(dpiX), dpiY_(dpiY) {}
  // The scale of the screen the widget is on (the primary screen before it is shown).
  static TwipsScale of(const QWidget& widget) {
    const QScreen* screen = widget.screen();
    if (!screen) return TwipsScale(96.0, 96.0);
    return TwipsScale(screen->logicalDotsPerInchX(), screen->logicalDotsPerInchY());
  }

  int x(int twips) const { return qRound(twips * dpiX_ / 1440.0); }
  int y(int twips) const { return qRound(twips * dpiY_ / 1440.0); }
  QRect rect(int left, int top, int width, int height) const {
    return QRect(x(left), y(top), x(width), y(height));
  }
  QRect rect(const TwipsRect& r) const { return rect(r.left, r.top, r.width, r.height); }
  double dpiX() const { return dpiX_; }
  double dpiY() const { return dpiY_; }

 private:
  double dpiX_, dpiY_;
};

// Room a caption needs besides its text: a button's frame and margins, a frame's
// indentation of its title.
inline constexpr int kButtonCaptionRoom = 8;
inline constexpr int kFrameTitleRoom = 16;

// True when every caption of the window's labels, buttons and frames fits its control
// at `font`.
inline bool captionsFit(const QWidget& window, const QFont& font) {
  const QFontMetrics metrics(font);
  for (const QAbstractButton* b : window.findChildren<QAbstractButton*>())
    if (metrics.horizontalAdvance(b->text()) > b->width() - kButtonCaptionRoom) return false;
  for (const QLabel* l : window.findChildren<QLabel*>())
    if (metrics.horizontalAdvance(l->text()) > l->width()) return false;
  for (const QGroupBox* g : window.findChildren<QGroupBox*>())
    if (metrics.horizontalAdvance(g->title()) > g->width() - kFrameTitleRoom) return false;
  return true;
}

// The controls keep their design sizes whatever the system's font: the window's font
// becomes the largest size, at most the system's, at which every caption fits (down to
// 6 points).
inline void fitCaptions(QWidget& window) {
  QFont font = window.font();
  double size = font.pointSizeF();
  if (size <= 0) return;  // a font given in pixels is left as it is
  while (size > 6.0 && !captionsFit(window, font)) {
    size -= 0.25;
    font.setPointSizeF(size);
  }
  window.setFont(font);
}

}  // namespace np
