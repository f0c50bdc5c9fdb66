#pragma once
// How GoogleTest prints the layout tables' measures in a failure message.
#include <ostream>

#include "base/Twips.h"

namespace np {

inline void PrintTo(const TwipsRect& r, std::ostream* os) {
  *os << "(" << r.left << ", " << r.top << ") " << r.width << " x " << r.height << " twips";
}

inline void PrintTo(const TwipsPoint& p, std::ostream* os) { *os << "(" << p.x << ", " << p.y << ")"; }

}  // namespace np
