#pragma once
// Numbers in the files the program and the simulated observatory read and write: always
// with a point, whatever locale the process runs in (the windowed program runs in the
// user's, which may well use a decimal comma).
#include <optional>
#include <string>
#include <string_view>

namespace np {

// The whole text as a number: an optional sign, digits with at most one point (at least
// one digit, before or after it), an optional exponent (e or E, an optional sign, digits).
// Nothing else, not even blanks. nullopt for anything else and for values a double cannot
// hold in full (too large, or so small that it turns to zero or loses precision).
std::optional<double> readPlainNumber(std::string_view text);

// printf's "%.<decimals>f" in the C locale: "-1.235", "360.000".
std::string formatPlainFixed(double value, int decimals);

// printf's "%.<significantDigits>g" in the C locale: "37.5", "1e+20", "-0".
std::string formatPlainGeneral(double value, int significantDigits = 6);

}  // namespace np
