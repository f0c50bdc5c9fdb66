#pragma once
#include <string>
#include <string_view>

#include "base/FileSystem.h"
#include "settings/Settings.h"

namespace np {

inline constexpr std::string_view kConfigFileName = "config.ini";

// The exact text of config.ini for these settings: seven lines "key,value" with CR LF.
std::string formatConfig(const Settings& settings);

// LoadConfig: the settings from the file at `path` when it exists (FileExists), the
// defaults otherwise. Values are read by position; a value that is not a number gives 0,
// a number outside the field's range (a double overflow, beyond a 32-bit float, outside
// -32768..32767 for focusInterval) gives that field's default; a file that ends early
// leaves the missing fields at their defaults. A file that exists
// but cannot be read is a RunTimeError naming the file and the cause.
void loadConfigFile(FileSystem& files, const std::string& path, Settings& settings);

// SaveConfig: writes formatConfig(settings) to a temporary file beside `path` and puts it
// in place of `path` in one step.
void saveConfigFile(FileSystem& files, const std::string& path, const Settings& settings);

}  // namespace np
