// The condition items of a delimiter line (moon, moonwidth, moonalt, after, before,
// priority): how they are read in every locale, how a wrong value is reported, and how
// the rewrite keeps them.
#include "targets/TargetList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/UtcTime.h"
#include "support/CommaLocale.h"
#include "support/RecordingMessageSink.h"

namespace np {
namespace {

using test::RecordingMessageSink;

double utc(const std::string& text) {
  double unix = 0;
  EXPECT_TRUE(parseUtcInstant(text, unix)) << text;
  return unix;
}

DelimiterItems read(const std::string& line, RecordingMessageSink& messages, bool expectReadable = true) {
  DelimiterItems items;
  EXPECT_EQ(parseDelimiterLine(messages, line, items), expectReadable) << line;
  return items;
}

TEST(DelimiterConditions, EveryItemIsReadWithTheCount) {
  RecordingMessageSink messages;
  const DelimiterItems items =
      read("**** remaining=3 moon=30.5 moonwidth=7 moonalt=-2.5 after=2027-01-10T00:00:00Z "
           "before=2027-01-20T12:30:00Z priority=-4",
           messages);
  EXPECT_TRUE(messages.messages.empty());
  EXPECT_EQ(items.remaining, 3);
  EXPECT_TRUE(items.hasConditionItems);
  const GroupConditions& c = items.conditions;
  EXPECT_EQ(c.moonDistance, 30.5);
  EXPECT_EQ(c.moonWidthDays, 7.0);
  EXPECT_EQ(c.moonAltitude, -2.5);
  EXPECT_EQ(c.afterUnix, utc("2027-01-10T00:00:00Z"));
  EXPECT_EQ(c.beforeUnix, utc("2027-01-20T12:30:00Z"));
  EXPECT_EQ(c.priority, -4);
  EXPECT_TRUE(c.asksMoon());
}

TEST(DelimiterConditions, APlainLineAsksNothing) {
  RecordingMessageSink messages;
  const DelimiterItems items = read("**** remaining=3 other=1", messages);
  EXPECT_FALSE(items.hasConditionItems);
  EXPECT_FALSE(items.conditions.asksMoon());
  EXPECT_FALSE(items.conditions.afterUnix || items.conditions.beforeUnix || items.conditions.moonWidthDays);
  EXPECT_EQ(items.conditions.priority, 0);
  EXPECT_EQ(messages.messages, std::vector<std::string>{"Unknown target config item name: 'other'"});
}

TEST(DelimiterConditions, NumbersReadWithAPointInADecimalCommaLocale) {
  test::CommaLocale comma;
  RecordingMessageSink messages;
  const DelimiterItems items = read("**** remaining=2 moon=12.75 moonalt=0.5", messages);
  EXPECT_EQ(items.conditions.moonDistance, 12.75);
  EXPECT_EQ(items.conditions.moonAltitude, 0.5);
  RecordingMessageSink commaMessages;
  const DelimiterItems withComma = read("**** remaining=2 moon=12,75", commaMessages, false);
  EXPECT_EQ(withComma.remaining, 0);
}

struct WrongValueCase {
  std::string line;
  std::string item;
};

class WrongConditionValueTest : public ::testing::TestWithParam<WrongValueCase> {};

// A limit that cannot be read passes the group over (count 0), is named in a message
// quoting the line, and ends the reading: nothing after it is taken.
TEST_P(WrongConditionValueTest, IsReportedAndPassesTheGroupOver) {
  const WrongValueCase& c = GetParam();
  RecordingMessageSink messages;
  const DelimiterItems items = read(c.line, messages, false);
  EXPECT_EQ(items.remaining, 0);
  EXPECT_EQ(items.conditions.priority, 0) << "nothing after the faulty item is read";
  EXPECT_EQ(messages.messages,
            std::vector<std::string>{"Invalid " + c.item + " value in target delimiter line '" + c.line + "'"});
  std::int16_t remaining = 9;
  RecordingMessageSink again;
  EXPECT_FALSE(parseTargetConfig(again, c.line, remaining));
  EXPECT_EQ(remaining, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Items, WrongConditionValueTest,
    ::testing::Values(WrongValueCase{"**** remaining=3 moon=abc priority=5", "moon"},
                      WrongValueCase{"**** remaining=3 moon= priority=5", "moon"},
                      WrongValueCase{"**** remaining=3 moon=30,5 priority=5", "moon"},
                      WrongValueCase{"**** remaining=3 moon=-1 priority=5", "moon"},
                      WrongValueCase{"**** remaining=3 moon=181 priority=5", "moon"},
                      WrongValueCase{"**** remaining=3 moon=nan priority=5", "moon"},
                      WrongValueCase{"**** remaining=3 moonwidth=0.5 priority=5", "moonwidth"},
                      WrongValueCase{"**** remaining=3 moonwidth=15 priority=5", "moonwidth"},
                      WrongValueCase{"**** remaining=3 moonalt=91 priority=5", "moonalt"},
                      WrongValueCase{"**** remaining=3 moonalt=down priority=5", "moonalt"},
                      WrongValueCase{"**** remaining=3 after=2027-13-01T00:00:00Z priority=5", "after"},
                      WrongValueCase{"**** remaining=3 after=tomorrow priority=5", "after"},
                      WrongValueCase{"**** remaining=3 before=2027-01-10T25:00:00Z priority=5", "before"},
                      WrongValueCase{"**** remaining=3 before= priority=5", "before"},
                      WrongValueCase{"**** remaining=3 priority=1.5", "priority"},
                      WrongValueCase{"**** remaining=3 priority=40000", "priority"},
                      WrongValueCase{"**** remaining=3 priority=high", "priority"}));

struct RewriteCase {
  std::string line;
  std::string rewritten;  // with the count lowered by one
};

class ConditionRewriteTest : public ::testing::TestWithParam<RewriteCase> {};

TEST_P(ConditionRewriteTest, KeepsEveryItemButTheCountsValue) {
  const RewriteCase& c = GetParam();
  RecordingMessageSink messages;
  DelimiterItems items;
  ASSERT_TRUE(parseDelimiterLine(messages, c.line, items));
  EXPECT_EQ(rewrittenDelimiterLine(c.line, items, static_cast<std::int16_t>(items.remaining - 1)), c.rewritten);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ConditionRewriteTest,
    ::testing::Values(
        RewriteCase{"**** remaining=3 moon=30 moonwidth=7", "**** remaining=2 moon=30 moonwidth=7"},
        RewriteCase{"**** moon=30 remaining=10 priority=2", "**** moon=30 remaining=9 priority=2"},
        RewriteCase{"*****moonalt=0 remaining=+007", "*****moonalt=0 remaining=6"},
        // The count that counts is the last; an unknown item and text past the end of the
        // items stay as written.
        RewriteCase{"**** remaining=3 other=x after=2027-01-10T00:00:00Z remaining=5  notes here",
                    "**** remaining=3 other=x after=2027-01-10T00:00:00Z remaining=4  notes here"},
        RewriteCase{"**** moon=30", "**** remaining=-1 moon=30"},
        // The plain form is written as it always has been.
        RewriteCase{"*****remaining=3", "**** remaining=2"},
        RewriteCase{"**** remaining=3 other=x", "**** remaining=2"}));

}  // namespace
}  // namespace np
