#include "base/win32/Twips.h"

namespace np {

TwipsScale TwipsScale::ofScreen() {
  HDC screen = GetDC(nullptr);
  if (!screen) return TwipsScale(96, 96);
  const TwipsScale scale(GetDeviceCaps(screen, LOGPIXELSX), GetDeviceCaps(screen, LOGPIXELSY));
  ReleaseDC(nullptr, screen);
  return scale;
}

}  // namespace np
