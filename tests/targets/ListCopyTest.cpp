// The list copy a fleet's dry run shares: its takes as the fleet's database takes, its text
// as the database exports it.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "targets/ListCopy.h"

namespace np {
namespace {

const std::string kList =
    "\xEF\xBB\xBF; shared list\r\n"
    "Plain\t10:00:00\t+30:00:00\r\n"
    "**** remaining=3\r\n"
    "With items\t11:00:00\t+35:00:00\n"
    "**** moon=30 remaining=2 moonwidth=7\n"
    "Negative\t12:00:00\t+40:00:00\r\n"
    "**** remaining=-2\r\n"
    "Lowest\t13:00:00\t+40:00:00\r\n"
    "**** remaining=-32768\r\n"
    "Done\t14:00:00\t+40:00:00\r"
    "**** remaining=0\r"
    "Unreadable\t15:00:00\t+40:00:00\r\n"
    "**** remaining=many\r\n"
    "; the end";

TEST(ListCopy, FindsTheGroupsAndTheirCountsAsTheProgramReadsThem) {
  const std::vector<CountedGroup> groups = countedGroups(kList);
  ASSERT_EQ(groups.size(), 6u);
  EXPECT_EQ(groups[0].name, "Plain");
  EXPECT_EQ(groups[0].delimiterLine, 3);
  EXPECT_EQ(groups[0].remaining, 3);
  EXPECT_EQ(groups[1].name, "With items");
  EXPECT_EQ(groups[1].remaining, 2);
  EXPECT_EQ(groups[2].remaining, -2);
  EXPECT_EQ(groups[4].delimiterLine, 11);  // a lone CR ends a line too
  EXPECT_EQ(groups[4].remaining, 0);
  EXPECT_EQ(groups[5].name, "Unreadable");
  EXPECT_FALSE(groups[5].remaining.has_value());

  EXPECT_THROW(countedGroups(std::string("\xFF\xFE;\0 \0", 6)), std::runtime_error);
  EXPECT_THROW(ListCopy(std::string("\xFF\xFE;\0 \0", 6)), std::runtime_error);
}

TEST(ListCopy, ATakeLowersTheCountAndTheTextIsRewrittenAsTheDatabaseExportsIt) {
  ListCopy copy(kList);
  EXPECT_EQ(copy.listText(), kList);  // nothing taken: the bytes as given

  EXPECT_EQ(copy.takeRun(3, 1'700'000'000, "plan"), 2);
  EXPECT_EQ(copy.takeRun(5, 1'700'000'000, "plan"), 1);
  std::string expected = kList;
  expected.replace(expected.find("**** remaining=3"), 16, "**** remaining=2");
  expected.replace(expected.find("remaining=2 moonwidth"), 11, "remaining=1");
  EXPECT_EQ(copy.listText(), expected);

  // Down to zero and no further: a refused take changes nothing.
  EXPECT_EQ(copy.takeRun(3, 1'700'000'100, "plan"), 1);
  EXPECT_EQ(copy.takeRun(3, 1'700'000'200, "plan"), 0);
  EXPECT_EQ(copy.takeRun(3, 1'700'000'300, "plan"), std::nullopt);
  EXPECT_EQ(copy.takeRun(11, 1'700'000'300, "plan"), std::nullopt);
  expected.replace(expected.find("**** remaining=2"), 16, "**** remaining=0");
  EXPECT_EQ(copy.listText(), expected);
}

TEST(ListCopy, NegativeCountsNeverFinishAndUnreadableOnesAreNeverTaken) {
  ListCopy copy(kList);
  EXPECT_EQ(copy.takeRun(7, 0, ""), -3);
  EXPECT_EQ(copy.takeRun(7, 0, ""), -4);
  EXPECT_EQ(copy.takeRun(9, 0, ""), -32768);
  EXPECT_EQ(copy.takeRun(9, 0, ""), -32768);
  EXPECT_EQ(copy.takeRun(13, 0, ""), std::nullopt);
  // Lines that close no group: a target line, a line outside the groups, past the end.
  EXPECT_EQ(copy.takeRun(2, 0, ""), std::nullopt);
  EXPECT_EQ(copy.takeRun(1, 0, ""), std::nullopt);
  EXPECT_EQ(copy.takeRun(99, 0, ""), std::nullopt);
  const std::string text = copy.listText();
  EXPECT_NE(text.find("**** remaining=-4\r\n"), std::string::npos);
  EXPECT_NE(text.find("**** remaining=-32768\r\n"), std::string::npos);
  EXPECT_NE(text.find("**** remaining=many\r\n"), std::string::npos);
}

TEST(ListCopy, SitesTakingAtOnceGetEachRunOnce) {
  ListCopy copy("Busy\t10:00:00\t+30:00:00\n**** remaining=500\n");
  std::atomic<int> taken{0};
  std::vector<std::thread> sites;
  for (int s = 0; s < 4; ++s)
    sites.emplace_back([&] {
      for (int i = 0; i < 200; ++i)
        if (copy.takeRun(2, i, "")) ++taken;
    });
  for (std::thread& t : sites) t.join();
  EXPECT_EQ(taken.load(), 500);
  EXPECT_EQ(copy.listText(), "Busy\t10:00:00\t+30:00:00\n**** remaining=0\n");
}

}  // namespace
}  // namespace np
