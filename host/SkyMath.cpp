#include "host/SkyMath.h"

#include <erfa.h>
#include <erfam.h>

#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>

#include "base/Errors.h"
#include "base/NumberText.h"

namespace np {
namespace {

bool isNumberChar(char c) { return (c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-'; }

// One field: an optional sign (only on the first field), digits with at most one point.
bool readField(std::string_view field, bool first, double& value, bool& negative) {
  std::size_t pos = 0;
  negative = false;
  if (pos < field.size() && (field[pos] == '+' || field[pos] == '-')) {
    if (!first) return false;
    negative = field[pos] == '-';
    ++pos;
  }
  bool digit = false, point = false;
  // The digits as a whole number and how many follow the point: a short field (every
  // list's) is that number over a power of ten, both exact, so the one rounded division
  // gives the same double as reading the text does.
  std::uint64_t mantissa = 0;
  int digits = 0, decimals = 0;
  for (std::size_t i = pos; i < field.size(); ++i) {
    char c = field[i];
    if (c >= '0' && c <= '9') {
      digit = true;
      if (mantissa != 0 || c != '0') ++digits;
      mantissa = mantissa * 10 + static_cast<std::uint64_t>(c - '0');
      if (point) ++decimals;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  if (!digit) return false;
  if (digits <= 15 && decimals <= 15) {
    static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    value = static_cast<double>(mantissa) / kPowers[decimals];
    return true;
  }
  const std::optional<double> read = parseStrictDecimal(field.substr(pos));
  if (!read) return false;
  value = *read;
  return true;
}

}  // namespace

double parseSexagesimal(const std::string& text, const char* member) {
  auto fail = [&]() -> double { throw RunTimeError(std::string(member) + ": cannot read '" + text + "'"); };
  std::string_view fields[3];
  std::size_t count = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    if (!isNumberChar(text[i])) {
      ++i;
      continue;
    }
    std::size_t start = i;
    while (i < text.size() && isNumberChar(text[i])) ++i;
    if (count == 3) return fail();
    fields[count++] = std::string_view(text).substr(start, i - start);
  }
  if (count == 0) return fail();
  double total = 0.0;
  double scale = 1.0;
  bool negative = false;
  for (std::size_t f = 0; f < count; ++f) {
    double value = 0.0;
    bool fieldNegative = false;
    if (!readField(fields[f], f == 0, value, fieldNegative)) return fail();
    if (f == 0) negative = fieldNegative;
    total += value / scale;
    scale *= 60.0;
  }
  return negative ? -total : total;
}

double greenwichMeanSiderealHours(double julianDate) {
  // Split the date for precision; terrestrial time is taken as UTC too (its effect on
  // the mean sidereal time is far below a millisecond).
  const double whole = 2400000.5;
  const double part = julianDate - whole;
  return eraGmst06(whole, part, whole, part) * 12.0 / ERFA_DPI;
}

double localSiderealHours(double julianDate, double longitudeDegrees) {
  double lst = std::fmod(greenwichMeanSiderealHours(julianDate) + longitudeDegrees / 15.0, 24.0);
  return lst < 0.0 ? lst + 24.0 : lst;
}

double hourAngle12(double rightAscensionHours, double localSiderealHours) {
  double h = std::fmod(localSiderealHours - rightAscensionHours, 24.0);
  if (h > 12.0) h -= 24.0;
  if (h <= -12.0) h += 24.0;
  return h;
}

Horizontal horizontalFromHourAngle(double hourAngleHours, double declinationDegrees, double latitudeDegrees) {
  double az = 0.0, el = 0.0;
  eraHd2ae(hourAngleHours * 15.0 * ERFA_DD2R, declinationDegrees * ERFA_DD2R, latitudeDegrees * ERFA_DD2R, &az,
           &el);
  return Horizontal{az * ERFA_DR2D, el * ERFA_DR2D};
}

Horizontal horizontalAt(double rightAscensionHours, double declinationDegrees, double latitudeDegrees,
                        double longitudeDegrees, double julianDate) {
  double lst = localSiderealHours(julianDate, longitudeDegrees);
  return horizontalFromHourAngle(lst - rightAscensionHours, declinationDegrees, latitudeDegrees);
}

}  // namespace np
