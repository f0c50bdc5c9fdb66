#include "settings/FrmPrefs.h"

#include <cfloat>
#include <cmath>

namespace np {
namespace {

// The captions of the labels beside the boxes, which name the fields in messages.
constexpr const char* kFocusIntervalField = "Autofocus interval in minutes";
constexpr const char* kMaxElevationField = "maximum Elevation [Degrees]";
constexpr const char* kMinAzimuthField = "minimum Azimuth [Degrees]";
constexpr const char* kMaxAzimuthField = "maximum Azimuth [Degrees]";
constexpr const char* kSunElevField = "Max Sun elevation";

bool isBlankText(const std::string& text) { return text.find_first_not_of(" \t") == std::string::npos; }

std::string problem(const char* field, const std::string& text, const std::string& what) {
  if (isBlankText(text)) return std::string(field) + ": a number is required";
  return std::string(field) + ": '" + text + "' " + what;
}

// The box as a 32-bit float, or the message that names the field.
std::optional<std::string> convertFloat(const char* field, const std::string& text, char separator, float& out) {
  const std::optional<double> v = parseDecimal(text, separator);
  if (!v) return problem(field, text, "is not a number");
  if (std::fabs(*v) > static_cast<double>(FLT_MAX)) return problem(field, text, "is too large");
  out = static_cast<float>(*v);
  return std::nullopt;
}

}  // namespace

frmPrefs::Texts frmPrefs::textsForLoad(NumberLocale locale) const {
  const char sep = locale.decimalSeparator;
  return Texts{std::to_string(focusInterval_), formatSingle(maxElevation_, sep), formatSingle(minAzimuth_, sep),
               formatSingle(maxAzimuth_, sep), formatSingle(sunElev_, sep)};
}

std::optional<std::string> frmPrefs::acceptTexts(const Texts& texts, NumberLocale locale) {
  const char sep = locale.decimalSeparator;
  // Everything is converted before anything is stored: a box that does not convert
  // leaves all five held values as they were.
  const std::optional<double> interval = parseDecimal(texts.focusIntervalText, sep);
  if (!interval) return problem(kFocusIntervalField, texts.focusIntervalText, "is not a number");
  const std::optional<std::int16_t> focusInterval = roundToInt16(*interval);
  if (!focusInterval)
    return problem(kFocusIntervalField, texts.focusIntervalText, "is outside -32768 to 32767");

  float maxElevation = 0, minAzimuth = 0, maxAzimuth = 0, sunElev = 0;
  if (auto m = convertFloat(kMaxElevationField, texts.maxElevationText, sep, maxElevation)) return m;
  if (auto m = convertFloat(kMinAzimuthField, texts.minAzimuthText, sep, minAzimuth)) return m;
  if (auto m = convertFloat(kMaxAzimuthField, texts.maxAzimuthText, sep, maxAzimuth)) return m;
  if (auto m = convertFloat(kSunElevField, texts.sunElevText, sep, sunElev)) return m;

  focusInterval_ = *focusInterval;
  maxElevation_ = maxElevation;
  minAzimuth_ = minAzimuth;
  maxAzimuth_ = maxAzimuth;
  sunElev_ = sunElev;
  return std::nullopt;
}

}  // namespace np
