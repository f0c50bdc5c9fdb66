#pragma once
// The number locale from the user's regional settings.
#include <string_view>

#include "base/NumberText.h"

namespace np {

// The decimal separator as the user's settings give it (LOCALE_SDECIMAL): a single
// character that can stand in a number's text and in a one-byte code page; anything
// else (empty, several characters, a digit, a sign, a blank, non-ASCII) gives the point.
NumberLocale numberLocaleFromDecimal(std::wstring_view separator);

// GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL), read as above.
NumberLocale userNumberLocale();

}  // namespace np
