#include "settings/win32/UserLocale.h"

#include <windows.h>

namespace np {

NumberLocale numberLocaleFromDecimal(std::wstring_view separator) {
  NumberLocale locale;
  if (separator.size() != 1) return locale;
  const wchar_t c = separator[0];
  const bool usable = c > 0x20 && c < 0x7F && !(c >= L'0' && c <= L'9') && c != L'+' && c != L'-' && c != L'e' &&
                      c != L'E';
  if (usable) locale.decimalSeparator = static_cast<char>(c);
  return locale;
}

NumberLocale userNumberLocale() {
  wchar_t buffer[8] = {};
  const int n = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, buffer, 8);
  if (n <= 1) return NumberLocale{};
  return numberLocaleFromDecimal(std::wstring_view(buffer, static_cast<size_t>(n - 1)));
}

}  // namespace np
