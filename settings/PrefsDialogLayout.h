#pragma once
// The preferences dialog's fixed layout, in twips: the one table that the Qt and the
// Windows views place their controls from. The controls in Frame1 are placed relative
// to the frame.
#include <array>

#include "base/Twips.h"

namespace np {

struct PrefsDialogLayout {
  // A label, a text box (no caption), a push button or the frame. The keyboard goes
  // through those that take the focus in the order of tabIndex.
  struct Control {
    const char* name;
    const char* caption;  // nullptr for a text box
    TwipsRect rect;
    bool inFrame;
    int tabIndex;
  };

  static constexpr const char* kName = "frmPrefs";
  static constexpr const char* kTitle = "Preferences";
  static constexpr int kClientWidth = 4485;
  static constexpr int kClientHeight = 4365;

  static constexpr Control kLabel1{"Label1", "Autofocus interval in minutes:", {600, 360, 2175, 255}, false, 0};
  static constexpr Control kFocusIntervalText{"focusIntervalText", nullptr, {3000, 360, 975, 285}, false, 1};
  static constexpr Control kCmdOK{"cmdOK", "OK", {720, 3600, 1215, 495}, false, 2};
  static constexpr Control kCmdCancel{"cmdCancel", "Cancel", {2520, 3600, 1095, 495}, false, 3};
  static constexpr Control kLabel2{"Label2", "Max Sun elevation:", {600, 840, 1455, 255}, false, 4};
  static constexpr Control kSunElevText{"sunElevText", nullptr, {3000, 840, 975, 285}, false, 5};
  static constexpr Control kFrame1{"Frame1", "Observation Window", {240, 1440, 3975, 1935}, false, 6};
  static constexpr Control kLabel6{"Label6", "maximum Elevation [Degrees]", {120, 360, 2175, 255}, true, 7};
  static constexpr Control kMaxElevationText{"maxElevationText", nullptr, {2400, 360, 975, 285}, true, 8};
  static constexpr Control kLabel7{"Label7", "minimum Azimuth [Degrees]", {240, 840, 1935, 255}, true, 9};
  static constexpr Control kMinAzimuthText{"minAzimuthText", nullptr, {2400, 840, 975, 285}, true, 10};
  static constexpr Control kLabel8{"Label8", "maximum Azimuth [Degrees]", {240, 1320, 2055, 255}, true, 11};
  static constexpr Control kMaxAzimuthText{"maxAzimuthText", nullptr, {2400, 1320, 975, 285}, true, 12};

  static constexpr std::array<const Control*, 13> kControls{
      &kLabel1, &kFocusIntervalText, &kCmdOK,           &kCmdCancel,      &kLabel2,  &kSunElevText,    &kFrame1,
      &kLabel6, &kMaxElevationText,  &kLabel7,          &kMinAzimuthText, &kLabel8,  &kMaxAzimuthText};
};

}  // namespace np
