#pragma once
// Design measures in twips (1/1440 inch), as the windows' layout tables give them. The
// views turn them into pixels at the screen's resolution (base/qt/Twips.h,
// base/win32/Twips.h).

namespace np {

// A control's place: left and top inside its parent, width and height.
struct TwipsRect {
  int left = 0, top = 0, width = 0, height = 0;
  friend constexpr bool operator==(const TwipsRect&, const TwipsRect&) = default;
};

struct TwipsPoint {
  int x = 0, y = 0;
  friend constexpr bool operator==(const TwipsPoint&, const TwipsPoint&) = default;
};

}  // namespace np
