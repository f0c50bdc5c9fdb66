#include "base/PlainNumber.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

namespace np {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// std::to_chars gives printf's forms of the C locale; the widest, a fixed double with 100
// decimals, takes 309 digits, the sign, the point and the decimals.
std::string format(double value, std::chars_format form, int precision) {
  char buf[448];
  const auto res = std::to_chars(buf, buf + sizeof buf, value, form, precision);
  return res.ec == std::errc() ? std::string(buf, res.ptr) : std::string();
}

}  // namespace

std::optional<double> readPlainNumber(std::string_view text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const std::size_t start = i;
  bool digits = false, point = false;
  for (; i < text.size(); ++i) {
    if (isDigit(text[i])) {
      digits = true;
    } else if (text[i] == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (!digits) return std::nullopt;
  if (i < text.size()) {
    if (text[i] != 'e' && text[i] != 'E') return std::nullopt;
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    const std::size_t exponent = i;
    while (i < text.size() && isDigit(text[i])) ++i;
    if (i == exponent || i != text.size()) return std::nullopt;
  }
  // What is left is exactly what from_chars reads (it takes no '+' in front).
  double value = 0.0;
  const char* first = text.data() + start;
  const char* last = text.data() + text.size();
  const auto res = std::from_chars(first, last, value, std::chars_format::general);
  if (res.ec != std::errc() || res.ptr != last) return std::nullopt;
  if (!std::isfinite(value) || (value != 0.0 && !std::isnormal(value))) return std::nullopt;  // as strtod's ERANGE
  return negative ? -value : value;
}

std::string formatPlainFixed(double value, int decimals) {
  return format(value, std::chars_format::fixed, std::clamp(decimals, 0, 100));
}

std::string formatPlainGeneral(double value, int significantDigits) {
  return format(value, std::chars_format::general, std::clamp(significantDigits, 1, 100));
}

}  // namespace np
