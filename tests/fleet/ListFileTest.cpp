// Taking a target list apart and putting it back: every byte kept, the groups and counts
// found as the program finds them.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "support/TempDir.h"
#include "targets/fleet/ListFile.h"

namespace np::fleet {
namespace {

// A list with what users' lists hold: a byte-order mark, comment lines before and after
// the groups, mixed line ends, delimiter items past the count, a count that cannot be
// read, a negative count and a last line without a line end.
const std::string kMixedList =
    "\xEF\xBB\xBF; my list\r\n"
    "#COUNT 6\r\n"
    "M31 Andromeda Galaxy\t00:42:44\t+41:16:09\r\n"
    "**** remaining=3 moon=30 moonwidth=7\r\n"
    "\n"
    "M42 Orion Nebula\t05:35:17\t-05:23:28\n"
    "**** remaining=4\r"
    "M45\t03:47:24\t+24:07:00\r\n"
    "**** remaining=lots\r\n"
    "NoTabTarget\n"
    "**** remaining=-2\n"
    "; done for this season\r\n"
    "trailing words";

TEST(ListFile, GivesBackEveryByteOfListsOfEveryShape) {
  const std::string sample = np::test::readFileBytes(std::string(NIGHTPICK_TEST_DATA) + "/sample-night/targets-before.txt");
  for (const std::string& bytes :
       {sample, kMixedList, std::string(), std::string("\n"), std::string("\r\r\n\n"), std::string("\xEF\xBB\xBF"),
        std::string("only line"), std::string("\xEF\xBB\xBF\r\n**** remaining=1\r\n")}) {
    EXPECT_EQ(listFileBytes(parseListFile(bytes)), bytes);
  }
}

TEST(ListFile, KeepsEachLineEndAndTakesTheByteOrderMarkOffTheFirstLine) {
  const ListFile list = parseListFile(kMixedList);
  EXPECT_TRUE(list.byteOrderMark);
  ASSERT_EQ(list.lines.size(), 13u);
  EXPECT_EQ(list.lines[0].text, "; my list");
  EXPECT_EQ(list.lines[0].end, LineEnd::CRLF);
  EXPECT_EQ(list.lines[4].text, "");
  EXPECT_EQ(list.lines[4].end, LineEnd::LF);
  EXPECT_EQ(list.lines[6].text, "**** remaining=4");
  EXPECT_EQ(list.lines[6].end, LineEnd::CR);
  EXPECT_EQ(list.lines[12].text, "trailing words");
  EXPECT_EQ(list.lines[12].end, LineEnd::None);
  for (const LineEnd end : {LineEnd::None, LineEnd::LF, LineEnd::CRLF, LineEnd::CR})
    EXPECT_EQ(lineEndFromName(lineEndName(end)), end);
  EXPECT_FALSE(lineEndFromName("CRCR"));
}

TEST(ListFile, FindsTheGroupsAndCountsAsTheProgramReadsThem) {
  const ListFile list = parseListFile(kMixedList);
  ASSERT_EQ(list.groups.size(), 4u);
  EXPECT_EQ(list.groups[0].start, 0);
  EXPECT_EQ(list.groups[0].delimiterLine, 4);
  EXPECT_EQ(list.groups[0].name, "M31 Andromeda Galaxy");
  EXPECT_EQ(list.groups[0].remaining, 3);  // the items after the count do not change it
  EXPECT_EQ(list.groups[1].start, 4);
  EXPECT_EQ(list.groups[1].delimiterLine, 7);
  EXPECT_EQ(list.groups[1].name, "M42 Orion Nebula");
  EXPECT_EQ(list.groups[1].remaining, 4);
  EXPECT_EQ(list.groups[2].name, "M45");
  EXPECT_EQ(list.groups[2].remaining, std::nullopt);  // "lots": the program never lowers it
  EXPECT_EQ(list.groups[3].name, "NoTabTarget");
  EXPECT_EQ(list.groups[3].remaining, -2);
}

TEST(ListFile, RefusesAListSavedAsUtf16WithTheProgramsMessage) {
  const std::string utf16("\xFF\xFE" "M\0" "3\0" "1\0" "\r\0\n\0", 12);
  try {
    parseListFile(utf16);
    FAIL() << "a UTF-16 list was taken";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("UTF-16 little-endian"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace np::fleet
