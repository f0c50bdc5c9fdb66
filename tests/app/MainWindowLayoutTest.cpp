// The main window's layout table, which both views place their controls from, against
// the design: names, captions, places in twips and tab indices, and what the views take
// for granted (the status bar docked, the lines horizontal, all inside the client area).
#include "app/MainWindowLayout.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "support/TwipsPrint.h"

namespace np {
namespace {

using L = MainWindowLayout;

TEST(MainWindowLayout, WindowAndButtonsAsDesigned) {
  EXPECT_STREQ(L::kName, "frmMain");
  EXPECT_STREQ(L::kTitle, "Nightpick");
  EXPECT_EQ(L::kClientWidth, 5205);
  EXPECT_EQ(L::kClientHeight, 3045);

  const struct {
    const L::Button& button;
    const char* name;
    const char* caption;
    TwipsRect rect;
    int tabIndex;
  } design[] = {
      {L::kStartButton, "StartButton", "Start Nightpick", {360, 360, 2055, 1095}, 0},
      {L::kStopAndAbortButton, "StopAndAbortButton", "Stop Nightpick and ACP", {2880, 360, 1935, 495}, 5},
      {L::kStopButton, "StopButton", "Stop Nightpick", {2880, 960, 1935, 495}, 1},
      {L::kPrefsButton, "PrefsButton", "Preferences", {240, 1920, 1215, 495}, 4},
      {L::kAbout, "About", "About", {4080, 1920, 975, 495}, 3},
  };
  std::set<const L::Button*> designed;
  for (const auto& d : design) {
    SCOPED_TRACE(d.name);
    EXPECT_STREQ(d.button.name, d.name);
    EXPECT_STREQ(d.button.caption, d.caption);
    EXPECT_EQ(d.button.rect, d.rect);
    EXPECT_EQ(d.button.tabIndex, d.tabIndex);
    designed.insert(&d.button);
  }
  // The list the views and their tests walk holds each button once.
  EXPECT_EQ(std::set<const L::Button*>(L::kButtons.begin(), L::kButtons.end()), designed);
  EXPECT_EQ(L::kButtons.size(), designed.size());
}

TEST(MainWindowLayout, LinesAndStatusBarAsDesigned) {
  EXPECT_STREQ(L::kLine1.name, "Line1");
  EXPECT_EQ(L::kLine1.from, (TwipsPoint{120, 1680}));
  EXPECT_EQ(L::kLine1.to, (TwipsPoint{5040, 1680}));
  EXPECT_STREQ(L::kLine2.name, "Line2");
  EXPECT_EQ(L::kLine2.from, (TwipsPoint{0, 0}));
  EXPECT_EQ(L::kLine2.to, (TwipsPoint{4920, 0}));
  EXPECT_EQ(L::kLines.size(), 2u);
  EXPECT_EQ(L::kLines[0], &L::kLine1);
  EXPECT_EQ(L::kLines[1], &L::kLine2);

  EXPECT_STREQ(L::kStatusBar.name, "sbStatusBar");
  EXPECT_EQ(L::kStatusBar.rect, (TwipsRect{0, 2670, 5205, 375}));
  // Docked: the views place the bar from its height alone, flush with the bottom edge
  // over the full width, which is where the design has it.
  EXPECT_EQ(L::kStatusBar.rect.left, 0);
  EXPECT_EQ(L::kStatusBar.rect.width, L::kClientWidth);
  EXPECT_EQ(L::kStatusBar.rect.top + L::kStatusBar.rect.height, L::kClientHeight);
}

TEST(MainWindowLayout, EverythingLiesInsideTheClientAreaAboveTheStatusBar) {
  std::set<int> tabIndices;
  for (const L::Button* b : L::kButtons) {
    SCOPED_TRACE(b->name);
    EXPECT_GE(b->rect.left, 0);
    EXPECT_GE(b->rect.top, 0);
    EXPECT_LE(b->rect.left + b->rect.width, L::kClientWidth);
    EXPECT_LE(b->rect.top + b->rect.height, L::kStatusBar.rect.top);
    EXPECT_TRUE(tabIndices.insert(b->tabIndex).second) << "tab index " << b->tabIndex << " twice";
  }
  for (const L::Line* l : L::kLines) {
    SCOPED_TRACE(l->name);
    EXPECT_LE(l->from.x, l->to.x);
    EXPECT_LE(l->to.x, L::kClientWidth);
    EXPECT_LT(l->from.y, L::kStatusBar.rect.top);
  }
}

}  // namespace
}  // namespace np
