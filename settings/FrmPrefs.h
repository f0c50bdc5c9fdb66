#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "base/NumberText.h"

namespace np {

// The preferences dialog object: five held values that outlive every showing of its
// window. The accessors never touch a window.
class frmPrefs {
 public:
  void setFocusInterval(std::int16_t value) { focusInterval_ = value; }
  std::int16_t getFocusInterval() const { return focusInterval_; }
  void setMaxElevation(float value) { maxElevation_ = value; }
  float getMaxElevation() const { return maxElevation_; }
  void setMinAzimuth(float value) { minAzimuth_ = value; }
  float getMinAzimuth() const { return minAzimuth_; }
  void setMaxAzimuth(float value) { maxAzimuth_ = value; }
  float getMaxAzimuth() const { return maxAzimuth_; }
  void setSunElev(float value) { sunElev_ = value; }
  float getSunElev() const { return sunElev_; }

  // The texts of the dialog's five boxes.
  struct Texts {
    std::string focusIntervalText, maxElevationText, minAzimuthText, maxAzimuthText, sunElevText;
  };
  // Dialog load: the boxes filled from the held values in the locale's general form.
  Texts textsForLoad(NumberLocale locale) const;
  // cmdOK: converts the texts into the held values, in the dialog's order. When a box does
  // not convert, nothing is taken over and the result names the field in a message.
  std::optional<std::string> acceptTexts(const Texts& texts, NumberLocale locale);

 private:
  std::int16_t focusInterval_ = 0;
  float maxElevation_ = 0, minAzimuth_ = 0, maxAzimuth_ = 0, sunElev_ = 0;
};

}  // namespace np
