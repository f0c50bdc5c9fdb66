// The preferences dialog's layout table, which both views place their controls from,
// against the design: names, captions, places in twips (those in Frame1 relative to the
// frame) and tab indices, and that every control lies inside its parent.
#include "settings/PrefsDialogLayout.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "support/TwipsPrint.h"

namespace np {
namespace {

using L = PrefsDialogLayout;

TEST(PrefsDialogLayout, DialogAndControlsAsDesigned) {
  EXPECT_STREQ(L::kName, "frmPrefs");
  EXPECT_STREQ(L::kTitle, "Preferences");
  EXPECT_EQ(L::kClientWidth, 4485);
  EXPECT_EQ(L::kClientHeight, 4365);

  const struct {
    const L::Control& control;
    const char* name;
    const char* caption;  // nullptr: a text box
    TwipsRect rect;
    bool inFrame;
    int tabIndex;
  } design[] = {
      {L::kLabel1, "Label1", "Autofocus interval in minutes:", {600, 360, 2175, 255}, false, 0},
      {L::kFocusIntervalText, "focusIntervalText", nullptr, {3000, 360, 975, 285}, false, 1},
      {L::kCmdOK, "cmdOK", "OK", {720, 3600, 1215, 495}, false, 2},
      {L::kCmdCancel, "cmdCancel", "Cancel", {2520, 3600, 1095, 495}, false, 3},
      {L::kLabel2, "Label2", "Max Sun elevation:", {600, 840, 1455, 255}, false, 4},
      {L::kSunElevText, "sunElevText", nullptr, {3000, 840, 975, 285}, false, 5},
      {L::kFrame1, "Frame1", "Observation Window", {240, 1440, 3975, 1935}, false, 6},
      {L::kLabel6, "Label6", "maximum Elevation [Degrees]", {120, 360, 2175, 255}, true, 7},
      {L::kMaxElevationText, "maxElevationText", nullptr, {2400, 360, 975, 285}, true, 8},
      {L::kLabel7, "Label7", "minimum Azimuth [Degrees]", {240, 840, 1935, 255}, true, 9},
      {L::kMinAzimuthText, "minAzimuthText", nullptr, {2400, 840, 975, 285}, true, 10},
      {L::kLabel8, "Label8", "maximum Azimuth [Degrees]", {240, 1320, 2055, 255}, true, 11},
      {L::kMaxAzimuthText, "maxAzimuthText", nullptr, {2400, 1320, 975, 285}, true, 12},
  };
  std::set<const L::Control*> designed;
  for (const auto& d : design) {
    SCOPED_TRACE(d.name);
    EXPECT_STREQ(d.control.name, d.name);
    if (d.caption) {
      EXPECT_STREQ(d.control.caption, d.caption);
    } else {
      EXPECT_EQ(d.control.caption, nullptr);
    }
    EXPECT_EQ(d.control.rect, d.rect);
    EXPECT_EQ(d.control.inFrame, d.inFrame);
    EXPECT_EQ(d.control.tabIndex, d.tabIndex);
    designed.insert(&d.control);
  }
  // The list the views' tests walk holds each control once, in the order of the tab
  // indices.
  EXPECT_EQ(std::set<const L::Control*>(L::kControls.begin(), L::kControls.end()), designed);
  ASSERT_EQ(L::kControls.size(), designed.size());
  for (size_t i = 0; i < L::kControls.size(); ++i) EXPECT_EQ(L::kControls[i]->tabIndex, static_cast<int>(i));
}

TEST(PrefsDialogLayout, EveryControlLiesInsideItsParent) {
  for (const L::Control* c : L::kControls) {
    SCOPED_TRACE(c->name);
    const int width = c->inFrame ? L::kFrame1.rect.width : L::kClientWidth;
    const int height = c->inFrame ? L::kFrame1.rect.height : L::kClientHeight;
    EXPECT_GE(c->rect.left, 0);
    EXPECT_GE(c->rect.top, 0);
    EXPECT_LE(c->rect.left + c->rect.width, width);
    EXPECT_LE(c->rect.top + c->rect.height, height);
  }
  EXPECT_FALSE(L::kFrame1.inFrame);
}

}  // namespace
}  // namespace np
