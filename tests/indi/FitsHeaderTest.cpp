// The header every image leaves with: what a driver wrote wrong or left out is made
// right, what it wrote right stays as it is, the pixels are not touched, and a file that
// is no FITS file is an error that names it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "host/UtcTime.h"
#include "host/indi/FitsHeader.h"
#include "host/indi/ImageFiles.h"
#include "indi/FitsFiles.h"
#include "indi/IndiServer.h"
#include "support/TempDir.h"

namespace np::indi {
namespace {

using np::test::failureOf;
using np::test::fitsKeys;
using np::test::fitsNumber;
using np::test::fitsPixels;
using np::test::readFileBytes;
using np::test::TempDir;
using np::test::writeSmallFits;
using testing::AllOf;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;

// 2026-12-08 22:04:05.123 UTC.
double start() { return unixFromCivilUtc(CivilTime{2026, 12, 8, 22, 4, 5.123}); }

ImageHeader m1() {
  return ImageHeader{.object = "M 1",
                     .exposure = 0.5,
                     .start = start(),
                     .filter = "green",
                     .binning = 2,
                     .raHours = 5.5755,
                     .decDegrees = 22.0145,
                     .latitude = -30.25,
                     .longitude = -70.75,
                     .telescope = "Big Mount",
                     .instrument = "Main Camera"};
}

// Stamps the image in the file as writeImageFile stamps an image before it writes it: in
// memory; the file is then written again with the bytes as they are after the stamp.
std::vector<std::string> stampFile(const std::string& path, const ImageHeader& header) {
  const std::string before = readFileBytes(path);
  std::vector<char> bytes(before.begin(), before.end());
  std::vector<std::string> written = stampImageHeader(bytes, path, header);
  test::writeFileBytes(path, std::string(bytes.begin(), bytes.end()));
  return written;
}

TEST(FitsHeader, KeysADriverGotWrongOrLeftOutAreWrittenAndTheRestKept) {
  TempDir folder;
  const std::string path = folder.file("image.fits");
  writeSmallFits(path, {{"INSTRUME", "'Main Camera'"},
                        {"TELESCOP", "'Telescope Simulator'"},
                        {"OBJECT", "'Unknown'"},
                        {"EXPTIME", "1.0"},
                        {"XBINNING", "2"},
                        {"YBINNING", "1"},
                        {"FILTER", "'Green'"},  // the wheel's spelling, not the plan's
                        {"SITELAT", "'-30 15 00'"},
                        {"OBJCTRA", "'05 34 31.80'"},
                        {"DATE-OBS", "'2026-12-08T21:04:05.123'"},  // an hour off
                        {"GAIN", "90"}});
  const std::vector<long> pixels = fitsPixels(path);

  EXPECT_THAT(stampFile(path, m1()),
              ElementsAre("OBJECT", "EXPTIME", "DATE-OBS", "FILTER", "YBINNING", "OBJCTRA", "OBJCTDEC", "SITELAT",
                          "SITELONG", "TELESCOP", "IMAGETYP"));
  auto keys = fitsKeys(path);
  EXPECT_EQ(keys["OBJECT"], "M 1");
  EXPECT_DOUBLE_EQ(fitsNumber(keys["EXPTIME"]), 0.5);
  EXPECT_EQ(keys["DATE-OBS"], "2026-12-08T22:04:05.123");
  EXPECT_EQ(keys["FILTER"], "green");
  EXPECT_EQ(keys["XBINNING"], "2");
  EXPECT_EQ(keys["YBINNING"], "2");
  EXPECT_EQ(keys["OBJCTRA"], "05 34 32");
  EXPECT_EQ(keys["OBJCTDEC"], "+22 00 52");
  EXPECT_DOUBLE_EQ(fitsNumber(keys["SITELAT"]), -30.25);
  EXPECT_DOUBLE_EQ(fitsNumber(keys["SITELONG"]), -70.75);
  EXPECT_EQ(keys["TELESCOP"], "Big Mount");
  EXPECT_EQ(keys["INSTRUME"], "Main Camera");
  EXPECT_EQ(keys["IMAGETYP"], "Light Frame");
  EXPECT_EQ(keys["GAIN"], "90");  // what Nightpick has no word on stays
  EXPECT_EQ(fitsPixels(path), pixels);

  // A header that is right already is left byte for byte as it is.
  const std::string stamped = readFileBytes(path);
  EXPECT_THAT(stampFile(path, m1()), IsEmpty());
  EXPECT_EQ(readFileBytes(path), stamped);
}

TEST(FitsHeader, ADriversStartIsKeptOnlyWhenItReadsAndAgreesAndFilterGoesWhenNoneIsAsked) {
  TempDir folder;
  const std::string path = folder.file("image.fits");
  ImageHeader header = m1();
  header.filter.clear();
  struct Case {
    std::string driver;  // the driver's DATE-OBS card value
    std::string after;
  };
  for (const Case& c : {Case{"'2026-12-08T22:04:07.500'", "2026-12-08T22:04:07.500"},  // 2.4 s later: the driver's
                        Case{"'2026-12-08T22:04:01.000'", "2026-12-08T22:04:01.000"},  // 4.1 s earlier
                        Case{"'2026-12-08T22:04:12.000'", "2026-12-08T22:04:05.123"},  // 6.9 s: Nightpick's
                        Case{"'2026-12-08'", "2026-12-08T22:04:05.123"},
                        Case{"'last night'", "2026-12-08T22:04:05.123"},
                        Case{"1765231445", "2026-12-08T22:04:05.123"}}) {
    SCOPED_TRACE(c.driver);
    writeSmallFits(path, {{"DATE-OBS", c.driver}, {"FILTER", "'Red'"}});
    const std::vector<std::string> written = stampFile(path, header);
    auto keys = fitsKeys(path);
    EXPECT_EQ(keys["DATE-OBS"], c.after);
    EXPECT_EQ(std::count(written.begin(), written.end(), "DATE-OBS"), c.after == c.driver.substr(1, 23) ? 0 : 1);
    EXPECT_FALSE(keys.count("FILTER"));
    EXPECT_EQ(std::count(written.begin(), written.end(), "FILTER"), 1);
  }
}

// A header with no room left for Nightpick's keys grows by a block in memory; the keys
// the driver wrote and the pixels stay as they were.
TEST(FitsHeader, AFullHeaderGrowsByABlockAndThePixelsStay) {
  TempDir folder;
  const std::string path = folder.file("full.fits");
  std::vector<std::pair<std::string, std::string>> cards;
  for (int i = 1; i <= 20; ++i) cards.emplace_back("NOTE" + std::to_string(i), std::to_string(i));
  writeSmallFits(path, cards);
  const std::string sent = readFileBytes(path);
  ASSERT_EQ(sent.size(), 2u * 2880) << "a header block with too little room left, and a data block";
  std::vector<char> bytes(sent.begin(), sent.end());
  EXPECT_EQ(stampImageHeader(bytes, path, m1()).size(), 13u);
  EXPECT_EQ(bytes.size(), sent.size() + 2880);
  test::writeFileBytes(folder.file("stamped.fits"), std::string(bytes.begin(), bytes.end()));
  auto keys = fitsKeys(folder.file("stamped.fits"));
  EXPECT_EQ(keys["OBJECT"], "M 1");
  EXPECT_EQ(keys["IMAGETYP"], "Light Frame");
  EXPECT_EQ(keys["NOTE20"], "20");
  EXPECT_EQ(fitsPixels(folder.file("stamped.fits")), fitsPixels(path));
}

// A stamp that fails leaves the image's bytes as they came.
TEST(FitsHeader, BytesThatAreNoFitsImageAreLeftAsTheyCame) {
  for (const std::string& junk : {std::string("no FITS file at all"), std::string(), std::string(2880, ' ')}) {
    std::vector<char> bytes(junk.begin(), junk.end());
    EXPECT_THAT(failureOf([&] { stampImageHeader(bytes, "/night/Images/.M_1.part", m1()); }),
                HasSubstr("the image of Main Camera ('/night/Images/.M_1.part') cannot be opened as FITS: "));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), junk);
  }
}

TEST(FitsHeader, PlacesAndTimesAreWrittenToTheWholeSecondAndMillisecond) {
  EXPECT_EQ(sexagesimalHours(0), "00 00 00");
  EXPECT_EQ(sexagesimalHours(5.5755), "05 34 32");
  EXPECT_EQ(sexagesimalHours(12.999999), "13 00 00");
  EXPECT_EQ(sexagesimalHours(23.99999), "00 00 00");
  EXPECT_EQ(sexagesimalDegrees(90), "+90 00 00");
  EXPECT_EQ(sexagesimalDegrees(-12.5083333333), "-12 30 30");
  EXPECT_EQ(sexagesimalDegrees(-0.0001), "+00 00 00");  // no minus on a zero
  EXPECT_EQ(sexagesimalDegrees(-0.0002), "-00 00 01");
  EXPECT_EQ(sexagesimalDegrees(5.9999999), "+06 00 00");
  EXPECT_EQ(isoUtcMilliseconds(start()), "2026-12-08T22:04:05.123");
  EXPECT_EQ(isoUtcMilliseconds(unixFromCivilUtc(CivilTime{2026, 12, 31, 23, 59, 59.9996})), "2027-01-01T00:00:00.000");
}

TEST(FitsHeader, AnImageThatIsNoFitsFileFailsNamingTheCameraAndTheFileAndIsNotKept) {
  TempDir folder;
  const std::string junk = folder.file("junk.fits");
  test::writeFileBytes(junk, "no FITS file at all");
  EXPECT_THAT(failureOf([&] { stampFile(junk, m1()); }),
              AllOf(HasSubstr("the image of Main Camera ('" + junk + "') cannot be opened as FITS: "),
                    HasSubstr("cfitsio status")));
  EXPECT_EQ(readFileBytes(junk), "no FITS file at all");

  const std::string images = folder.file("Images");
  LocalFileSystem files;
  ReceivedImage image;
  image.device = "Main Camera";
  image.format = ".fits";
  image.bytes.assign(2880, 'x');
  EXPECT_THAT(failureOf([&] { writeImageFile(files, images, "2026-12-08", "M 1", "green", image, m1()); }),
              AllOf(HasSubstr("the image of Main Camera"), HasSubstr("cannot be opened as FITS")));
  EXPECT_TRUE(std::filesystem::is_empty(images));  // neither the image nor its .part

  // Only FITS images are stamped; another format is kept as the camera sent it.
  image.format = ".jpg";
  const std::string jpeg = writeImageFile(files, images, "2026-12-08", "M 1", "green", image, m1());
  EXPECT_EQ(std::filesystem::path(jpeg).filename(), "2026-12-08_M_1_green_001.jpg");
  EXPECT_EQ(readFileBytes(jpeg), std::string(2880, 'x'));

  // A FITS image gets its final name with its header made right.
  writeSmallFits(folder.file("sent.fits"), {{"FILTER", "'Red'"}});
  const std::string sent = readFileBytes(folder.file("sent.fits"));
  image.format = ".fits";
  image.bytes.assign(sent.begin(), sent.end());
  const std::string fits = writeImageFile(files, images, "2026-12-08", "M 1", "green", image, m1());
  EXPECT_EQ(std::filesystem::path(fits).filename(), "2026-12-08_M_1_green_001.fits");
  EXPECT_EQ(fitsKeys(fits)["FILTER"], "green");
  EXPECT_EQ(fitsKeys(fits)["OBJECT"], "M 1");
  EXPECT_EQ(fitsPixels(fits), fitsPixels(folder.file("sent.fits")));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(images), std::filesystem::directory_iterator()), 2);
}

}  // namespace
}  // namespace np::indi
