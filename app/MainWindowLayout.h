#pragma once
// The main window's fixed layout, in twips, positions inside the client area: the one
// table that the Qt and the Windows views place their controls from.
#include <array>

#include "base/Twips.h"

namespace np {

struct MainWindowLayout {
  // A push button. The keyboard goes through the buttons in the order of tabIndex.
  struct Button {
    const char* name;
    const char* caption;
    TwipsRect rect;
    int tabIndex;
  };
  // A straight line, one pixel thick; the views draw horizontal lines only.
  struct Line {
    const char* name;
    TwipsPoint from, to;
  };
  // The status bar, docked to the bottom edge over the full width.
  struct StatusBar {
    const char* name;
    TwipsRect rect;
  };

  static constexpr const char* kName = "frmMain";
  static constexpr const char* kTitle = "Nightpick";
  // The client area; the window is placed at the window system's default position.
  static constexpr int kClientWidth = 5205;
  static constexpr int kClientHeight = 3045;

  static constexpr Button kStartButton{"StartButton", "Start Nightpick", {360, 360, 2055, 1095}, 0};
  static constexpr Button kStopAndAbortButton{"StopAndAbortButton", "Stop Nightpick and ACP", {2880, 360, 1935, 495}, 5};
  static constexpr Button kStopButton{"StopButton", "Stop Nightpick", {2880, 960, 1935, 495}, 1};
  static constexpr Button kPrefsButton{"PrefsButton", "Preferences", {240, 1920, 1215, 495}, 4};
  static constexpr Button kAbout{"About", "About", {4080, 1920, 975, 495}, 3};
  static constexpr Line kLine1{"Line1", {120, 1680}, {5040, 1680}};
  static constexpr Line kLine2{"Line2", {0, 0}, {4920, 0}};
  static constexpr StatusBar kStatusBar{"sbStatusBar", {0, 2670, 5205, 375}};

  static constexpr std::array<const Button*, 5> kButtons{&kStartButton, &kStopAndAbortButton, &kStopButton,
                                                         &kPrefsButton, &kAbout};
  static constexpr std::array<const Line*, 2> kLines{&kLine1, &kLine2};
};

static_assert(MainWindowLayout::kLine1.from.y == MainWindowLayout::kLine1.to.y &&
                  MainWindowLayout::kLine2.from.y == MainWindowLayout::kLine2.to.y,
              "the views draw horizontal lines only");

}  // namespace np
