#pragma once
// The colours the report pictures share: the sky behind the runs (day, twilight, dark),
// the weather, and the distinct colours of the target groups that ran.
#include <QColor>
#include <cstddef>
#include <iterator>

namespace np {

inline const QColor kDay(0xfb, 0xf3, 0xd5);
inline const QColor kTwilight(0xcf, 0xd9, 0xea);
inline const QColor kDark(0xa3, 0xb1, 0xcc);
inline const QColor kWeather(0x45, 0x45, 0x45);

// Distinct colours for the target groups that ran, the one that ran first (or most) first.
inline const QColor kPalette[] = {QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28), QColor(0x2c, 0xa0, 0x2c),
                                  QColor(0x94, 0x67, 0xbd), QColor(0xff, 0x7f, 0x0e), QColor(0x17, 0xbe, 0xcf),
                                  QColor(0xe3, 0x77, 0xc2), QColor(0x8c, 0x56, 0x4b), QColor(0xbc, 0xbd, 0x22),
                                  QColor(0x39, 0x3b, 0x79), QColor(0x00, 0x6d, 0x5b), QColor(0x7b, 0x00, 0x3c)};
inline constexpr std::size_t kPaletteSize = std::size(kPalette);

}  // namespace np
