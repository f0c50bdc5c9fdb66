#pragma once
// Numbers as text, written once for the whole program, whatever locale the process runs in
// (the windowed program runs in the user's, which may well use a decimal comma). Two forms:
// - the general numeric form of config.ini, the run log, the status line and the
//   preferences dialog (at most 7 significant digits for single precision, 15 for double,
//   no trailing zeros, no leading blank, a minus sign when negative, no exponent at
//   ordinary magnitudes) with a given decimal separator, and the reverse conversion;
// - printf's forms in the C locale, always with a point, of the simulated observatory's
//   files and the headless runner's reports, and the strict reading of those files.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace np {

// The user's numeric locale as far as the program uses it.
struct NumberLocale {
  char decimalSeparator = '.';
};

// General form of `value` rounded to `significantDigits` significant digits.
// Exponent form ("1E+15", "1.5E-07") only when the rounded value's decimal exponent is
// below -4 or at least `significantDigits`: a double stays fixed up to 15 digits before
// the point, a single up to 7, and both show 0.0001 fixed but 0.00001 as "1E-05".
// Zero is "0", never "-0". NaN and infinities give "NaN", "Infinity", "-Infinity".
std::string formatGeneral(double value, int significantDigits, char decimalSeparator = '.');
// The same text appended to `out` (no new string is made).
void appendGeneral(std::string& out, double value, int significantDigits, char decimalSeparator = '.');
inline void appendSingle(std::string& out, float value, char decimalSeparator = '.') {
  appendGeneral(out, static_cast<double>(value), 7, decimalSeparator);
}
inline void appendDouble(std::string& out, double value, char decimalSeparator = '.') {
  appendGeneral(out, value, 15, decimalSeparator);
}
inline std::string formatSingle(float value, char decimalSeparator = '.') {
  return formatGeneral(static_cast<double>(value), 7, decimalSeparator);
}
inline std::string formatDouble(double value, char decimalSeparator = '.') {
  return formatGeneral(value, 15, decimalSeparator);
}

// printf's "%.<significantDigits>g" in the C locale: "37.5", "1e+20", "-0". Unlike the
// general form: a lower-case exponent, "-0" kept, any number of digits up to 100.
std::string formatPrintfGeneral(double value, int significantDigits = 6);
// printf's "%.<decimals>f" in the C locale: "-1.235", "360.000".
std::string formatPrintfFixed(double value, int decimals);

// A number in the general form with the given separator: optional blanks around it, an
// optional sign, digits with at most one separator, an optional exponent. Anything else
// (empty text, letters, a second separator) gives nullopt.
std::optional<double> parseDecimal(std::string_view text, char decimalSeparator = '.');

// The same reading, telling apart text that is not a number from a number written in
// the general form whose magnitude no double can hold (such as 1e400): parseDecimal
// gives nullopt for both. A number too small for a double reads as zero.
struct DecimalReading {
  enum Kind { Number, NotANumber, TooLarge };
  Kind kind = NotANumber;
  double value = 0.0;  // when kind is Number
};
DecimalReading readDecimal(std::string_view text, char decimalSeparator = '.');

// The strict reading of the simulated observatory's files and the run's logs: the whole
// text as a number with a point (an optional sign, digits with at most one point, at least
// one digit before or after it, an optional exponent), nothing else, not even blanks.
// nullopt for anything else and for values a double cannot hold in full (too large, or so
// small that they turn to zero or lose precision).
std::optional<double> parseStrictDecimal(std::string_view text);

// Rounds half to even (12.5 -> 12, 13.5 -> 14); nullopt outside -32768..32767.
std::optional<std::int16_t> roundToInt16(double value);

}  // namespace np
