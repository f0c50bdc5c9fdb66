#include "settings/ConfigFile.h"

#include <cfloat>
#include <cmath>
#include <optional>
#include <vector>

#include "base/Errors.h"
#include "base/NumberText.h"
#include "base/TempName.h"

namespace np {
namespace {

constexpr char kCrLf[] = "\r\n";

std::vector<std::string> configLines(const Settings& s) {
  return {
      "lastFocusJD," + formatDouble(s.lastFocusJD),
      "focusInterval," + std::to_string(s.focusInterval),
      "baseDir," + s.baseDir,
      "maxElevation," + formatSingle(s.maxElevation),
      "minAzimuth," + formatSingle(s.minAzimuth),
      "maxAzimuth," + formatSingle(s.maxAzimuth),
      "sunElev," + formatSingle(s.sunElev),
  };
}

// Reads the file item by item: an item ends at a comma or at the end of its line, blanks
// before an item are skipped, and a line end separates items like a comma does.
class ItemReader {
 public:
  explicit ItemReader(TextReader& in) : in_(in) {}

  // The next item, or nullopt at the end of the file. With `toLineEnd`, an item that
  // starts on the line of the item before it runs to the end of that line, commas and all.
  std::optional<std::string> next(bool toLineEnd = false) {
    if (!lineOpen_) {
      if (in_.AtEndOfStream()) return std::nullopt;
      line_ = in_.ReadLine();
      pos_ = 0;
      lineOpen_ = true;
      toLineEnd = false;
    }
    while (pos_ < line_.size() && (line_[pos_] == ' ' || line_[pos_] == '\t')) ++pos_;
    const std::size_t comma = toLineEnd ? std::string::npos : line_.find(',', pos_);
    std::string item;
    if (comma == std::string::npos) {
      item = line_.substr(pos_);
      lineOpen_ = false;
    } else {
      item = line_.substr(pos_, comma - pos_);
      pos_ = comma + 1;
    }
    return item;
  }

  // True when no item is left: the current line is used up and the file has ended.
  bool atEnd() { return !lineOpen_ && in_.AtEndOfStream(); }

 private:
  TextReader& in_;
  std::string line_;
  std::size_t pos_ = 0;
  bool lineOpen_ = false;
};

// A value item as the field of the given default reads it: text that is not a number
// gives 0, while a number the field cannot hold (too large for a double, for a 32-bit
// float, or outside -32768..32767 once rounded) gives the field's default. Loading 0 for
// such a number would turn it into a limit that empties the night or an autofocus in
// every plan, and the next save would write that 0 back.
double toDouble(const std::string& item, double fallback) {
  const DecimalReading r = readDecimal(item, '.');
  if (r.kind == DecimalReading::TooLarge) return fallback;
  return r.kind == DecimalReading::Number ? r.value : 0.0;
}

float toFloat(const std::string& item, float fallback) {
  const DecimalReading r = readDecimal(item, '.');
  if (r.kind == DecimalReading::NotANumber) return 0.0f;
  if (r.kind == DecimalReading::TooLarge || std::fabs(r.value) > static_cast<double>(FLT_MAX)) return fallback;
  return static_cast<float>(r.value);
}

// Rounded half to even.
std::int16_t toInt16(const std::string& item, std::int16_t fallback) {
  const DecimalReading r = readDecimal(item, '.');
  if (r.kind == DecimalReading::NotANumber) return 0;
  if (r.kind == DecimalReading::TooLarge) return fallback;
  return roundToInt16(r.value).value_or(fallback);
}

void readSettings(TextReader& in, Settings& s) {
  ItemReader items(in);
  const Settings defaults;
  // Each field takes the value item of its line; the key item before it is skipped
  // unread. When the file runs out, the remaining fields keep their defaults.
  auto value = [&](bool toLineEnd = false) -> std::optional<std::string> {
    if (!items.next()) return std::nullopt;
    return items.next(toLineEnd);
  };
  auto v = value();
  if (!v) return;
  s.lastFocusJD = toDouble(*v, defaults.lastFocusJD);
  if (!(v = value())) return;
  s.focusInterval = toInt16(*v, defaults.focusInterval);
  // The folder is the one value that is text, and a comma in it must not shift the
  // fields after it: it runs to the end of its line.
  if (!(v = value(true))) return;
  s.baseDir = *v;
  if (!(v = value())) return;
  s.maxElevation = toFloat(*v, defaults.maxElevation);
  if (!(v = value())) return;
  s.minAzimuth = toFloat(*v, defaults.minAzimuth);
  if (!(v = value())) return;
  s.maxAzimuth = toFloat(*v, defaults.maxAzimuth);
  if (items.atEnd()) return;  // six lines: sunElev keeps its default
  if (!(v = value())) return;
  s.sunElev = toFloat(*v, defaults.sunElev);
  // Whatever follows the seventh line is not read.
}

}  // namespace

std::string formatConfig(const Settings& settings) {
  std::string text;
  for (const std::string& line : configLines(settings)) text += line + kCrLf;
  return text;
}

void loadConfigFile(FileSystem& files, const std::string& path, Settings& settings) {
  if (!files.FileExists(path)) {
    settings = Settings{};
    return;
  }
  Settings loaded;  // the defaults, for whatever the file does not supply
  try {
    std::unique_ptr<TextReader> in = files.OpenTextFile(path);
    readSettings(*in, loaded);
    in->Close();
  } catch (const RunTimeError& e) {
    throw RunTimeError("Cannot read the settings file '" + path + "': " + e.what());
  }
  settings = loaded;
}

void saveConfigFile(FileSystem& files, const std::string& path, const Settings& settings) {
  // The new content goes to a file beside config.ini that then takes its place in one
  // step, so an interrupted save never leaves a truncated or half-written config.ini. The
  // file's name is this save's own: another copy of the program saving at the same moment
  // (one that was started by mistake and is closing) must not move it away.
  const std::string temp = tempNameBeside(path);
  bool created = false;
  try {
    std::unique_ptr<TextWriter> out = files.CreateTextFile(temp);
    created = true;
    for (const std::string& line : configLines(settings)) out->WriteLine(line);
    out->Close();
    files.Replace(temp, path);
  } catch (const RunTimeError& e) {
    if (created && files.FileExists(temp)) {
      try {
        files.Remove(temp);
      } catch (const RunTimeError&) {
        // The save has failed already; a stray temporary file is the lesser problem.
      }
    }
    throw RunTimeError("Cannot save the settings file '" + path + "': " + e.what());
  }
}

}  // namespace np
