#include "settings/FrmPrefs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace np {
namespace {

using ::testing::HasSubstr;

const NumberLocale kPoint{'.'};
const NumberLocale kComma{','};

frmPrefs dialogWith(std::int16_t interval, float maxEl, float minAz, float maxAz, float sun) {
  frmPrefs d;
  d.setFocusInterval(interval);
  d.setMaxElevation(maxEl);
  d.setMinAzimuth(minAz);
  d.setMaxAzimuth(maxAz);
  d.setSunElev(sun);
  return d;
}

void expectHeld(const frmPrefs& d, std::int16_t interval, float maxEl, float minAz, float maxAz, float sun) {
  EXPECT_EQ(d.getFocusInterval(), interval);
  EXPECT_EQ(d.getMaxElevation(), maxEl);
  EXPECT_EQ(d.getMinAzimuth(), minAz);
  EXPECT_EQ(d.getMaxAzimuth(), maxAz);
  EXPECT_EQ(d.getSunElev(), sun);
}

TEST(FrmPrefsTest, BoxesShowTheHeldValuesInGeneralForm) {
  const frmPrefs d = dialogWith(30, 75.5f, 0.1f, 360.0f, -18.0f);
  const frmPrefs::Texts point = d.textsForLoad(kPoint);
  EXPECT_EQ(point.focusIntervalText, "30");
  EXPECT_EQ(point.maxElevationText, "75.5");
  EXPECT_EQ(point.minAzimuthText, "0.1");
  EXPECT_EQ(point.maxAzimuthText, "360");
  EXPECT_EQ(point.sunElevText, "-18");
  const frmPrefs::Texts comma = d.textsForLoad(kComma);
  EXPECT_EQ(comma.maxElevationText, "75,5");
  EXPECT_EQ(comma.minAzimuthText, "0,1");
  EXPECT_EQ(comma.sunElevText, "-18");
  EXPECT_EQ(dialogWith(-32768, 0, 0, 0, 0).textsForLoad(kPoint).focusIntervalText, "-32768");
}

TEST(FrmPrefsTest, UnchangedBoxesGiveBackTheSameValues) {
  for (NumberLocale locale : {kPoint, kComma}) {
    frmPrefs d = dialogWith(45, 75.5f, 12.34f, 359.9f, -12.5f);
    EXPECT_EQ(d.acceptTexts(d.textsForLoad(locale), locale), std::nullopt);
    expectHeld(d, 45, 75.5f, 12.34f, 359.9f, -12.5f);
  }
}

TEST(FrmPrefsTest, IntervalIsRoundedHalfToEven) {
  struct Case {
    const char* text;
    NumberLocale locale;
    std::int16_t held;
  } const cases[] = {
      {"12.5", kPoint, 12}, {"13.5", kPoint, 14}, {"12,5", kComma, 12}, {"13,5", kComma, 14},
      {"45", kPoint, 45},   {"-0.5", kPoint, 0},  {"0", kPoint, 0},     {"-7", kPoint, -7},
      {"32767.4", kPoint, 32767}, {"-32768.5", kPoint, -32768}, {" 60 ", kPoint, 60},
  };
  for (const auto& c : cases) {
    frmPrefs d = dialogWith(30, 90, 0, 360, -18);
    frmPrefs::Texts t = d.textsForLoad(c.locale);
    t.focusIntervalText = c.text;
    EXPECT_EQ(d.acceptTexts(t, c.locale), std::nullopt) << c.text;
    expectHeld(d, c.held, 90, 0, 360, -18);
  }
}

TEST(FrmPrefsTest, NothingBeyondTheConversionIsChecked) {
  frmPrefs d = dialogWith(30, 90, 0, 360, -18);
  const frmPrefs::Texts t{"0", "120", "300", "60", "5"};
  EXPECT_EQ(d.acceptTexts(t, kPoint), std::nullopt);
  expectHeld(d, 0, 120, 300, 60, 5);
}

TEST(FrmPrefsTest, BoxThatDoesNotConvertNamesItsFieldAndChangesNothing) {
  struct Case {
    int box;  // 0..4 in the dialog's conversion order
    const char* text;
    NumberLocale locale;
    const char* message;
  } const cases[] = {
      {0, "12x", kPoint, "Autofocus interval in minutes: '12x' is not a number"},
      {0, "", kPoint, "Autofocus interval in minutes"},
      {0, "32767.5", kPoint, "Autofocus interval in minutes: '32767.5'"},
      {0, "40000", kPoint, "Autofocus interval in minutes: '40000'"},
      {0, "-32769", kPoint, "Autofocus interval in minutes: '-32769'"},
      {0, "12.5", kComma, "Autofocus interval in minutes: '12.5' is not a number"},
      {1, "high", kPoint, "maximum Elevation [Degrees]: 'high' is not a number"},
      {1, "75,5", kPoint, "maximum Elevation [Degrees]: '75,5' is not a number"},
      {2, "  ", kPoint, "minimum Azimuth [Degrees]"},
      {2, "1e39", kPoint, "minimum Azimuth [Degrees]: '1e39'"},
      {3, "1.2.3", kPoint, "maximum Azimuth [Degrees]: '1.2.3' is not a number"},
      {4, "-18 deg", kPoint, "Max Sun elevation: '-18 deg' is not a number"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    frmPrefs d = dialogWith(30, 90, 0, 360, -18);
    // All other boxes hold valid new values, before and after the bad one.
    frmPrefs::Texts t = dialogWith(45, 80, 10, 350, -12).textsForLoad(c.locale);
    std::string* boxes[] = {&t.focusIntervalText, &t.maxElevationText, &t.minAzimuthText, &t.maxAzimuthText,
                            &t.sunElevText};
    *boxes[c.box] = c.text;
    const std::optional<std::string> message = d.acceptTexts(t, c.locale);
    ASSERT_TRUE(message.has_value());
    EXPECT_THAT(*message, HasSubstr(c.message));
    expectHeld(d, 30, 90, 0, 360, -18);
  }
}

TEST(FrmPrefsTest, FirstBadBoxInTheDialogOrderIsReported) {
  frmPrefs d = dialogWith(30, 90, 0, 360, -18);
  const frmPrefs::Texts t{"30", "90", "a", "360", "b"};
  EXPECT_THAT(d.acceptTexts(t, kPoint).value_or(""), HasSubstr("minimum Azimuth"));
  const frmPrefs::Texts u{"30", "90", "0", "360", "b"};
  EXPECT_THAT(d.acceptTexts(u, kPoint).value_or(""), HasSubstr("Max Sun elevation"));
}

}  // namespace
}  // namespace np
