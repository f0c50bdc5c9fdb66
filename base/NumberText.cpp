#include "base/NumberText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace np {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// std::to_chars writes printf's forms of the C locale whatever the process locale is. The
// widest, a fixed double with 100 decimals, takes 309 digits, the sign, the point and the
// decimals.
void appendChars(std::string& out, double value, std::chars_format form, int precision) {
  char buf[448];
  const auto res = std::to_chars(buf, buf + sizeof buf, value, form, precision);
  if (res.ec == std::errc()) out.append(buf, res.ptr);
}

std::string printfForm(double value, std::chars_format form, int precision) {
  std::string out;
  appendChars(out, value, form, precision);
  return out;
}

}  // namespace

// The general form is printf's %g at the given precision: fixed notation while the
// decimal exponent X of the rounded value satisfies -5 < X < significantDigits, otherwise
// d.dddE+XX. So a double keeps fixed notation up to 15 digits before the point and a
// single up to 7, and both show 0.0001 fixed but 0.00001 as 1E-05. Trailing zeros and a
// trailing point go.
void appendGeneral(std::string& out, double value, int significantDigits, char decimalSeparator) {
  if (std::isnan(value)) {
    out += "NaN";
    return;
  }
  if (std::isinf(value)) {
    out += value < 0 ? "-Infinity" : "Infinity";
    return;
  }
  if (value == 0.0) {  // also -0
    out += '0';
    return;
  }
  const std::size_t from = out.size();
  appendChars(out, value, std::chars_format::general, std::clamp(significantDigits, 1, 17));
  for (std::size_t i = from; i < out.size(); ++i) {
    if (out[i] == '.') out[i] = decimalSeparator;
    else if (out[i] == 'e') out[i] = 'E';
  }
}

std::string formatGeneral(double value, int significantDigits, char decimalSeparator) {
  std::string out;
  appendGeneral(out, value, significantDigits, decimalSeparator);
  return out;
}

std::string formatPrintfGeneral(double value, int significantDigits) {
  return printfForm(value, std::chars_format::general, std::clamp(significantDigits, 1, 100));
}

std::string formatPrintfFixed(double value, int decimals) {
  return printfForm(value, std::chars_format::fixed, std::clamp(decimals, 0, 100));
}

namespace {

// The power of ten of the first non-zero digit of a number in the form
// "<digits>[.<digits>][e[+-]<digits>]" (one that is not zero): 2 for "123", -2 for
// "0.05e0", 1 for "0.05e3". Exponents past any double's range are clamped, which keeps
// the sign of the result right.
long long decimalMagnitude(std::string_view normal) {
  const std::size_t e = normal.find('e');
  const std::string_view mantissa = normal.substr(0, e);
  const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
  const std::size_t first = mantissa.find_first_of("123456789");
  if (first == std::string_view::npos) return 0;
  long long magnitude = first < point ? static_cast<long long>(point - first) - 1
                                      : -static_cast<long long>(first - point);
  if (e != std::string_view::npos) {
    std::string_view exponent = normal.substr(e + 1);
    bool negative = false;
    if (!exponent.empty() && (exponent.front() == '+' || exponent.front() == '-')) {
      negative = exponent.front() == '-';
      exponent.remove_prefix(1);
    }
    long long value = 0;
    for (char c : exponent) value = std::min(value * 10 + (c - '0'), 1000000000LL);
    magnitude += negative ? -value : value;
  }
  return magnitude;
}

}  // namespace

DecimalReading readDecimal(std::string_view text, char decimalSeparator) {
  const DecimalReading notANumber{DecimalReading::NotANumber, 0.0};
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);

  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  // Mantissa: digits with at most one separator, at least one digit.
  std::string normal;
  std::size_t i = 0;
  bool separatorSeen = false, digitSeen = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      digitSeen = true;
      normal.push_back(c);
    } else if (c == decimalSeparator && !separatorSeen) {
      separatorSeen = true;
      normal.push_back('.');
    } else {
      break;
    }
  }
  if (!digitSeen) return notANumber;
  // Optional exponent: E or e, optional sign, at least one digit.
  if (i < text.size()) {
    if (text[i] != 'e' && text[i] != 'E') return notANumber;
    normal.push_back('e');
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) normal.push_back(text[i++]);
    const std::size_t expStart = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') normal.push_back(text[i++]);
    if (i == expStart || i != text.size()) return notANumber;
  }
  double value = 0.0;
  const auto res = std::from_chars(normal.data(), normal.data() + normal.size(), value);
  if (res.ptr != normal.data() + normal.size()) return notANumber;
  if (res.ec == std::errc::result_out_of_range) {
    // Too small to represent is zero; too large is not a number the program can hold.
    // Which of the two it is depends on the decimal exponent of its first significant
    // digit, not on the sign of the written exponent (0.000...08E08 is tiny).
    if (decimalMagnitude(normal) >= 0) return {DecimalReading::TooLarge, 0.0};
    value = 0.0;
  } else if (res.ec != std::errc()) {
    return notANumber;
  }
  return {DecimalReading::Number, negative ? -value : value};
}

std::optional<double> parseDecimal(std::string_view text, char decimalSeparator) {
  const DecimalReading r = readDecimal(text, decimalSeparator);
  if (r.kind != DecimalReading::Number) return std::nullopt;
  return r.value;
}

std::optional<double> parseStrictDecimal(std::string_view text) {
  if (text.empty() || isBlank(text.front()) || isBlank(text.back())) return std::nullopt;
  const DecimalReading r = readDecimal(text, '.');
  if (r.kind != DecimalReading::Number) return std::nullopt;
  if (r.value == 0.0) {
    // Zero only when written so: a tiny number that read as zero is refused.
    const std::string_view mantissa = text.substr(0, text.find_first_of("eE"));
    if (mantissa.find_first_not_of("+-.0") != std::string_view::npos) return std::nullopt;
  } else if (!std::isnormal(r.value)) {
    return std::nullopt;  // a subnormal has lost precision
  }
  return r.value;
}

std::optional<std::int16_t> roundToInt16(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  double whole = std::floor(value);
  const double fraction = value - whole;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
  if (whole < std::numeric_limits<std::int16_t>::min() || whole > std::numeric_limits<std::int16_t>::max())
    return std::nullopt;
  return static_cast<std::int16_t>(whole);
}

}  // namespace np
