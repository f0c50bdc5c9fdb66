#include "targets/TargetList.h"
#include "support/RecordingMessageSink.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/HostFakes.h"

namespace np {
namespace {

using test::RecordingMessageSink;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string kMalformed = "Malformed target delimiter line (missing '='?)";
std::string unrecognised(const std::string& name) { return "Unknown target config item name: '" + name + "'"; }
std::string invalidCount(const std::string& line) {
  return "Invalid remaining count in target delimiter line '" + line + "'";
}

// ---- delimiter lines ----

struct DelimiterCase {
  std::string line;
  std::int16_t remaining;
  std::vector<std::string> messages;
  bool countReadable = true;
};

class DelimiterLineTest : public ::testing::TestWithParam<DelimiterCase> {};

TEST_P(DelimiterLineTest, GivesCountAndMessages) {
  const DelimiterCase& c = GetParam();
  RecordingMessageSink messages;
  std::int16_t remaining = 12345;  // must be replaced in every case
  EXPECT_EQ(parseTargetConfig(messages, c.line, remaining), c.countReadable);
  EXPECT_EQ(remaining, c.remaining);
  EXPECT_EQ(messages.messages, c.messages);
}

INSTANTIATE_TEST_SUITE_P(
    ListFormat, DelimiterLineTest,
    ::testing::Values(
        DelimiterCase{"**** remaining=3", 3, {}},
        DelimiterCase{"**** remaining=4", 4, {}},
        DelimiterCase{"*****remaining=3", 3, {}},
        DelimiterCase{"****remaining=3", 0, {unrecognised("emaining")}},
        DelimiterCase{"****", 0, {}},
        DelimiterCase{"****  remaining=3", 0, {}},
        DelimiterCase{"**** remaining=3 ", 3, {}},
        DelimiterCase{"**** remaining=3  other=1", 3, {}},
        DelimiterCase{"**** other=1 remaining=2", 2, {unrecognised("other")}},
        DelimiterCase{"**** remaining3", 0, {kMalformed}},
        DelimiterCase{"**** remaining=4 junk remaining=9", 4, {kMalformed}},
        DelimiterCase{"**** remaining=2 remaining=7", 7, {}},
        DelimiterCase{"**** Remaining=3", 0, {unrecognised("Remaining")}},
        // Further cases of the same rules.
        DelimiterCase{"***** ", 0, {}},
        DelimiterCase{"**** =5", 0, {unrecognised("")}},
        DelimiterCase{"**** a=b=c remaining=1", 1, {unrecognised("a")}},
        DelimiterCase{"**** remaining=-1", -1, {}},
        DelimiterCase{"**** remaining=+5", 5, {}},
        DelimiterCase{"**** remaining=007", 7, {}},
        DelimiterCase{"**** remaining=32767", 32767, {}},
        DelimiterCase{"**** remaining=-32768", -32768, {}},
        DelimiterCase{"****\tremaining=3", 3, {}}));

// A count that is not a whole number within -32768..32767 is reported quoting the line;
// the group counts as 0 and nothing after the faulty item is read.
INSTANTIATE_TEST_SUITE_P(
    UnreadableCount, DelimiterLineTest,
    ::testing::Values(DelimiterCase{"**** remaining=abc", 0, {invalidCount("**** remaining=abc")}, false},
                      DelimiterCase{"**** remaining=four", 0, {invalidCount("**** remaining=four")}, false},
                      DelimiterCase{"**** remaining=", 0, {invalidCount("**** remaining=")}, false},
                      DelimiterCase{"**** remaining=3.5", 0, {invalidCount("**** remaining=3.5")}, false},
                      DelimiterCase{"**** remaining=1e3", 0, {invalidCount("**** remaining=1e3")}, false},
                      DelimiterCase{"**** remaining=32768", 0, {invalidCount("**** remaining=32768")}, false},
                      DelimiterCase{"**** remaining=-32769", 0, {invalidCount("**** remaining=-32769")}, false},
                      DelimiterCase{"**** remaining=99999999999999999999",
                                    0,
                                    {invalidCount("**** remaining=99999999999999999999")},
                                    false},
                      DelimiterCase{"**** remaining=-", 0, {invalidCount("**** remaining=-")}, false},
                      DelimiterCase{"**** remaining=2 remaining=x other=1",
                                    0,
                                    {invalidCount("**** remaining=2 remaining=x other=1")},
                                    false},
                      DelimiterCase{"**** other=1 remaining=0x10",
                                    0,
                                    {unrecognised("other"), invalidCount("**** other=1 remaining=0x10")},
                                    false}));

TEST(DelimiterLine, RecognisedByItsFirstFourCharactersOnly) {
  EXPECT_TRUE(isDelimiterLine("****"));
  EXPECT_TRUE(isDelimiterLine("**** remaining=1"));
  EXPECT_TRUE(isDelimiterLine("*******"));
  EXPECT_FALSE(isDelimiterLine("***"));
  EXPECT_FALSE(isDelimiterLine(""));
  EXPECT_FALSE(isDelimiterLine(" **** remaining=1"));
  EXPECT_FALSE(isDelimiterLine("***-"));
}

TEST(DelimiterLine, LongLinesAreReadWhole) {
  // Positions are not limited to 16 bits: an item far beyond 32,767 characters counts.
  const std::string line = "**** " + std::string(40000, 'x') + "=1 remaining=6";
  RecordingMessageSink messages;
  std::int16_t remaining = 0;
  EXPECT_TRUE(parseTargetConfig(messages, line, remaining));
  EXPECT_EQ(remaining, 6);
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_EQ(messages.messages[0], unrecognised(std::string(40000, 'x')));
}

// ---- target lines ----

struct TargetLineCase {
  std::string line;
  std::string name, raText, decText;
};

class TargetLineTest : public ::testing::TestWithParam<TargetLineCase> {};

TEST_P(TargetLineTest, SplitsIntoNameAndAngleTexts) {
  const TargetLineCase& c = GetParam();
  test::SkyHost host;
  RecordingMessageSink messages;
  host.util.members.HMS_Hours.answer = [&c](const std::string& text) {
    EXPECT_EQ(text, c.raText);
    return 5.25;
  };
  host.util.members.DMS_Degrees.answer = [&c](const std::string& text) {
    EXPECT_EQ(text, c.decText);
    return -12.5;
  };
  host.journal.keeping = true;
  std::string name = "unset";
  float ra = 99, dec = 99;
  EXPECT_TRUE(parseTarget(host.util, messages, c.line, name, ra, dec));
  // Once each, right ascension first, then declination.
  EXPECT_THAT(host.journal.calls, ElementsAre("Util.HMS_Hours", "Util.DMS_Degrees"));
  EXPECT_EQ(name, c.name);
  EXPECT_EQ(ra, 5.25f);
  EXPECT_EQ(dec, -12.5f);
  EXPECT_THAT(messages.messages, IsEmpty());

  std::string extracted = "unset";
  EXPECT_TRUE(extractName(messages, c.line, extracted));
  EXPECT_EQ(extracted, c.name);
}

INSTANTIATE_TEST_SUITE_P(
    ListFormat, TargetLineTest,
    ::testing::Values(TargetLineCase{"M\t1\t2\t3", "M", "1", "2\t3"},
                      TargetLineCase{"\t05:00:00\t+10:00:00", "", "05:00:00", "+10:00:00"},
                      TargetLineCase{"Twin Field North\t05:10:00\t+12:30:00", "Twin Field North", "05:10:00",
                                     "+12:30:00"},
                      TargetLineCase{" A \t 18 40 00 \t -02:15 ", " A ", " 18 40 00 ", " -02:15 "},
                      TargetLineCase{"X\t\t", "X", "", ""}));

struct RejectedLineCase {
  std::string line;
  std::string message;
};

class RejectedTargetLineTest : public ::testing::TestWithParam<RejectedLineCase> {};

TEST_P(RejectedTargetLineTest, IsReportedAndAssignsNothing) {
  const RejectedLineCase& c = GetParam();
  test::SkyHost host;
  RecordingMessageSink messages;
  std::string name = "kept";
  float ra = 1.5f, dec = -2.5f;
  EXPECT_FALSE(parseTarget(host.util, messages, c.line, name, ra, dec));
  EXPECT_EQ(host.util.members.HMS_Hours.calls, 0);
  EXPECT_EQ(host.util.members.DMS_Degrees.calls, 0);
  EXPECT_EQ(name, "kept");
  EXPECT_EQ(ra, 1.5f);
  EXPECT_EQ(dec, -2.5f);
  EXPECT_THAT(messages.messages, ElementsAre(c.message));
}

INSTANTIATE_TEST_SUITE_P(
    ListFormat, RejectedTargetLineTest,
    ::testing::Values(
        RejectedLineCase{"Garden Field 18:40:00 +33:00:00",
                         "Parse error - First tab missing from target line 'Garden Field 18:40:00 +33:00:00'"},
        RejectedLineCase{"", "Parse error - First tab missing from target line ''"},
        RejectedLineCase{"**** remaining=2", "Parse error - First tab missing from target line '**** remaining=2'"},
        RejectedLineCase{"Garden Field\t18:40:00 +33:00:00",
                         "Parse error - Second tab missing from target line 'Garden Field\t18:40:00 +33:00:00'"},
        RejectedLineCase{"A\t", "Parse error - Second tab missing from target line 'A\t'"}));

TEST(ExtractName, LineWithoutTabIsReportedAndLeavesNameAlone) {
  RecordingMessageSink messages;
  std::string name = "kept";
  EXPECT_FALSE(extractName(messages, "no tabs here", name));
  EXPECT_EQ(name, "kept");
  EXPECT_THAT(messages.messages, ElementsAre("Parse error - First tab missing from target line 'no tabs here'"));
}

TEST(ParseTarget, ConvertsToSinglePrecision) {
  test::SkyHost host;
  RecordingMessageSink messages;
  host.util.members.HMS_Hours.answer = [](const std::string& text) {
    EXPECT_EQ(text, "r");
    return 5.123456789012;
  };
  host.util.members.DMS_Degrees.answer = [](const std::string& text) {
    EXPECT_EQ(text, "d");
    return -33.987654321098;
  };
  std::string name;
  float ra = 0, dec = 0;
  ASSERT_TRUE(parseTarget(host.util, messages, "n\tr\td", name, ra, dec));
  EXPECT_EQ(host.util.members.HMS_Hours.calls, 1);
  EXPECT_EQ(host.util.members.DMS_Degrees.calls, 1);
  EXPECT_EQ(ra, static_cast<float>(5.123456789012));
  EXPECT_EQ(dec, static_cast<float>(-33.987654321098));
}

TEST(ParseTarget, AnAngleTheHostCannotReadIsReportedAndAssignsNothing) {
  test::SkyHost host;
  RecordingMessageSink messages;
  host.util.members.HMS_Hours.answer = [](const std::string&) { return 5.0; };
  host.util.members.DMS_Degrees.answer = [](const std::string&) -> double {
    throw RunTimeError("DMS_Degrees: cannot read 'yy'");
  };
  std::string name = "before";
  float ra = 1, dec = 2;
  EXPECT_FALSE(parseTarget(host.util, messages, "n\t5\tyy", name, ra, dec));
  EXPECT_EQ(host.util.members.HMS_Hours.calls, 1);
  EXPECT_EQ(host.util.members.DMS_Degrees.calls, 1);
  EXPECT_THAT(messages.messages,
              ElementsAre("Invalid coordinates in target line 'n\t5\tyy': DMS_Degrees: cannot read 'yy'"));
  EXPECT_EQ(name, "before");
  EXPECT_EQ(ra, 1);
  EXPECT_EQ(dec, 2);
}

// ---- groups ----

struct Fed {
  GroupReader::LineKind kind;
  std::int64_t start = -1, delimiterLine = -1;
  std::string target;
};

std::vector<Fed> feedAll(const std::vector<std::string>& lines) {
  GroupReader reader;
  std::vector<Fed> out;
  for (const std::string& line : lines) {
    const GroupReader::LineKind kind = reader.feed(line);
    if (kind == GroupReader::LineKind::Other) continue;
    Fed f{kind, -1, -1, {}};
    if (kind == GroupReader::LineKind::GroupEnd) {
      f.start = reader.group().start;
      f.delimiterLine = reader.group().delimiterLineNumber;
      f.target = *reader.group().targetLine;
      EXPECT_EQ(*reader.group().delimiterLine, line);
    }
    out.push_back(f);
  }
  return out;
}

TEST(GroupReader, ExampleListHasThreeGroupsStartingAtZeroTwoAndFive) {
  const auto groups = feedAll({"Garden Field\t18:40:00\t+33:00:00", "**** remaining=3",
                               "Twin Field North\t05:10:00\t+12:30:00", "Twin Field South\t05:11:30\t+12:05:00",
                               "**** remaining=1", "Harbour Cluster\t21:05:00\t-02:15:00", "**** remaining=0",
                               "trailing text", "more\t1\t2"});
  ASSERT_EQ(groups.size(), 3u);
  EXPECT_EQ(groups[0].start, 0);
  EXPECT_EQ(groups[0].delimiterLine, 2);
  EXPECT_EQ(groups[0].target, "Garden Field\t18:40:00\t+33:00:00");
  EXPECT_EQ(groups[1].start, 2);
  EXPECT_EQ(groups[1].delimiterLine, 5);
  EXPECT_EQ(groups[1].target, "Twin Field South\t05:11:30\t+12:05:00");
  EXPECT_EQ(groups[2].start, 5);
  EXPECT_EQ(groups[2].target, "Harbour Cluster\t21:05:00\t-02:15:00");
}

TEST(GroupReader, DelimiterAsFirstLineIsFlagged) {
  const auto groups = feedAll({"**** remaining=2", "A\t1\t2"});
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups[0].kind, GroupReader::LineKind::DelimiterFirst);
}

TEST(GroupReader, TwoDelimitersInARowMakeTheFirstTheTargetLineOfTheSecond) {
  const auto groups = feedAll({"A\t1\t2", "**** remaining=1", "**** remaining=4"});
  ASSERT_EQ(groups.size(), 2u);
  EXPECT_EQ(groups[1].start, 2);
  EXPECT_EQ(groups[1].target, "**** remaining=1");
}

}  // namespace
}  // namespace np
