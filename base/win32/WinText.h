#pragma once
// Text between the program and Windows. The program's strings are in the ANSI code page
// (its files are ANSI text); Windows' own strings are UTF-16.
#include <string>
#include <string_view>

#include <windows.h>

namespace np {

std::string ansiFromWide(std::wstring_view text);
std::wstring wideFromAnsi(std::string_view text);

// The full path of the running executable (no length limit).
std::wstring modulePathW();

// A window's text, and setting it, in the ANSI code page.
std::string windowTextOf(HWND window);
void setWindowTextOf(HWND window, const std::string& text);

}  // namespace np
