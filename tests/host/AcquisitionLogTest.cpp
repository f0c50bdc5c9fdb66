#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "base/Errors.h"
#include "host/AcquisitionLog.h"
#include "support/TempDir.h"

namespace np {
namespace {

using ::testing::HasSubstr;
using test::TempDir;
using test::writeFileBytes;

TEST(AcquisitionLogReader, ReadsEveryKind) {
  TempDir dir;
  writeFileBytes(dir.file("a.log"),
                 "2024-03-10 04:00:03\tSTART\t/obs/Plans/nightpickplan.txt\r\n"
                 "2024-03-10 04:00:03\tIGNORED\t#FILTER Red\r\n"
                 "2024-03-10 04:03:03\tAUTOFOCUS\t180\r\n"
                 "2024-03-10 04:06:03\tEXPOSURE\tTwin Field North\t120\t64.350\t181.250\r\n"
                 "2024-03-10 04:06:03\tSKIPPED\tHarbour\tbelow horizon\t12.500\t270.000\r\n"
                 "\r\n"
                 "2024-03-10 04:08:00\tEND\terror\tplan 'x' line 2: cannot read\r\n"
                 "2024-03-10 04:09:00\tEND\tquit\r\n"
                 "2024-03-10 12:00:00\tPARK\r\n"
                 "2024-03-11 01:00:00\tUNPARK\n");
  const auto e = readAcquisitionLog(dir.file("a.log"));
  ASSERT_EQ(e.size(), 9u);
  EXPECT_EQ(e[0].kind, acqlog::kStart);
  EXPECT_EQ(e[0].text, "/obs/Plans/nightpickplan.txt");
  EXPECT_EQ(e[0].utc, 1710043203.0);
  EXPECT_EQ(e[0].time, "2024-03-10 04:00:03");
  EXPECT_EQ(e[1].text, "#FILTER Red");
  EXPECT_EQ(e[2].seconds, 180.0);
  EXPECT_EQ(e[3].text, "Twin Field North");
  EXPECT_EQ(e[3].seconds, 120.0);
  EXPECT_EQ(e[3].elevation, 64.35);
  EXPECT_EQ(e[3].azimuth, 181.25);
  EXPECT_EQ(e[4].reason, acqlog::kSkippedBelowHorizon);
  EXPECT_EQ(e[4].elevation, 12.5);
  EXPECT_EQ(e[5].reason, acqlog::kEndError);
  EXPECT_EQ(e[5].detail, "plan 'x' line 2: cannot read");
  EXPECT_EQ(e[6].reason, acqlog::kEndQuit);
  EXPECT_EQ(e[7].kind, acqlog::kPark);
  EXPECT_EQ(e[8].kind, acqlog::kUnpark);
  EXPECT_EQ(e[8].utc - e[7].utc, 13 * 3600.0);
}

TEST(AcquisitionLogReader, MissingFileHoldsNoEvents) {
  TempDir dir;
  EXPECT_TRUE(readAcquisitionLog(dir.file("none.log")).empty());
}

TEST(AcquisitionLogReader, WrittenLinesReadBack) {
  AcquisitionEvent exposure;
  exposure.utc = 1710043563.4;  // written rounded to the second
  exposure.kind = acqlog::kExposure;
  exposure.text = "A\tB";  // a TAB cannot survive inside a field
  exposure.seconds = 37.5;
  exposure.elevation = -1.23456;
  exposure.azimuth = 359.9996;
  const std::string line = formatAcquisitionEvent(exposure);
  EXPECT_EQ(line, "2024-03-10 04:06:03\tEXPOSURE\tA B\t37.5\t-1.235\t360.000");
  const AcquisitionEvent back = parseAcquisitionEvent(line);
  EXPECT_EQ(back.utc, 1710043563.0);
  EXPECT_EQ(back.text, "A B");
  EXPECT_EQ(back.seconds, 37.5);

  AcquisitionEvent end;
  end.utc = 1710043563.0;
  end.kind = acqlog::kEnd;
  end.reason = acqlog::kEndError;
  end.detail = "two\r\nlines";
  EXPECT_EQ(formatAcquisitionEvent(end), "2024-03-10 04:06:03\tEND\terror\ttwo  lines");
  end.reason = acqlog::kEndAborted;
  EXPECT_EQ(formatAcquisitionEvent(end), "2024-03-10 04:06:03\tEND\taborted");
}

TEST(AcquisitionLogReader, ExposureCarriesTheImageFileWhenThereIsOne) {
  AcquisitionEvent exposure;
  exposure.utc = 1710043563.0;
  exposure.kind = acqlog::kExposure;
  exposure.text = "M 42";
  exposure.seconds = 120.0;
  exposure.elevation = 45.0;
  exposure.azimuth = 181.25;
  // Without a file the line keeps the four fields every reader of the log knows.
  EXPECT_EQ(formatAcquisitionEvent(exposure), "2024-03-10 04:06:03\tEXPOSURE\tM 42\t120\t45.000\t181.250");
  EXPECT_EQ(parseAcquisitionEvent(formatAcquisitionEvent(exposure)).file, "");

  exposure.file = "C:\\Images\\M 42\tL.fits";
  const std::string line = formatAcquisitionEvent(exposure);
  EXPECT_EQ(line, "2024-03-10 04:06:03\tEXPOSURE\tM 42\t120\t45.000\t181.250\tC:\\Images\\M 42 L.fits");
  const AcquisitionEvent back = parseAcquisitionEvent(line);
  EXPECT_EQ(back.file, "C:\\Images\\M 42 L.fits");
  EXPECT_EQ(back.text, "M 42");
  EXPECT_EQ(back.seconds, 120.0);
  EXPECT_EQ(back.azimuth, 181.25);
}

class AcquisitionLogBadLine : public ::testing::TestWithParam<const char*> {};

TEST_P(AcquisitionLogBadLine, NamesFileAndLine) {
  TempDir dir;
  writeFileBytes(dir.file("bad.log"), std::string("2024-03-10 04:00:00\tPARK\r\n") + GetParam() + "\r\n");
  try {
    readAcquisitionLog(dir.file("bad.log"));
    FAIL() << GetParam();
  } catch (const RunTimeError& e) {
    EXPECT_THAT(e.what(), HasSubstr("bad.log' line 2"));
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, AcquisitionLogBadLine,
                         ::testing::Values("2024-03-10 04:00:00", "yesterday\tPARK", "2024-03-10 04:00:00\tPARKED",
                                           "2024-03-10 04:00:00\tPARK\textra", "2024-03-10 04:00:00\tEND",
                                           "2024-03-10 04:00:00\tEND\terror",
                                           "2024-03-10 04:00:00\tEXPOSURE\tA\t120\t45.000",
                                           "2024-03-10 04:00:00\tEXPOSURE\tA\tlong\t45.000\t10.000",
                                           "2024-03-10 04:00:00\tEXPOSURE\tA\t120\t45.000\t10.000\t",
                                           "2024-03-10 04:00:00\tEXPOSURE\tA\t120\t45.000\t10.000\tf\tg",
                                           "2024-03-10 04:00:00\tAUTOFOCUS\t"));

}  // namespace
}  // namespace np
