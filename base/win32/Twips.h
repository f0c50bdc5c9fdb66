#pragma once
// Design measures in twips (1/1440 inch) converted to pixels at the screen's logical
// resolution (GetDeviceCaps LOGPIXELSX and LOGPIXELSY).
#include <windows.h>

#include "base/Twips.h"

namespace np {

class TwipsScale {
 public:
  TwipsScale(int dpiX, int dpiY) : dpiX_(dpiX > 0 ? dpiX : 96), dpiY_(dpiY > 0 ? dpiY : 96) {}
  // The logical resolution of the screen.
  static TwipsScale ofScreen();

  // Rounded to the nearest pixel, halves away from zero.
  int x(int twips) const { return toPixels(twips, dpiX_); }
  int y(int twips) const { return toPixels(twips, dpiY_); }
  // Left, top, width and height in twips as a rectangle in pixels: its size is the
  // rounded size, not the difference of the rounded edges.
  RECT rect(int left, int top, int width, int height) const {
    const int l = x(left), t = y(top);
    return RECT{l, t, l + x(width), t + y(height)};
  }
  RECT rect(const TwipsRect& r) const { return rect(r.left, r.top, r.width, r.height); }
  int dpiX() const { return dpiX_; }
  int dpiY() const { return dpiY_; }

  static int toPixels(int twips, int dpi) {
    const long long scaled = static_cast<long long>(twips) * dpi;
    return static_cast<int>(scaled >= 0 ? (scaled + 720) / 1440 : -((-scaled + 720) / 1440));
  }

 private:
  int dpiX_, dpiY_;
};

}  // namespace np
