#pragma once
// Design measures in twips (1/1440 inch) converted to the screen's logical pixels.
#include <QRect>
#include <QScreen>
#include <QWidget>
#include <QtGlobal>

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
  double dpiX() const { return dpiX_; }
  double dpiY() const { return dpiY_; }

 private:
  double dpiX_, dpiY_;
};

}  // namespace np
