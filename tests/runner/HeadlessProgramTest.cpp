// nightpick-headless started as a service manager starts it: in a program folder, against
// an observatory whose clock runs 600 times real time from shortly before dusk. What it
// prints and when, how SIGTERM and SIGINT end it, and how every other end shows.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "support/ProgramProcess.h"
#include "RunnerPath.h"
#include "settings/ConfigFile.h"
#include "support/TestText.h"
#include "support/TestWorld.h"

namespace np {
namespace {

using test::headlessPath;
using test::ProgramProcess;
using test::readFileBytes;
using test::splitLines;
using test::TestWorld;
using test::waitForText;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// 18:40 local at the default site (UTC-7): dusk (the Sun at -18 degrees) comes about
// seven minutes later, 0.7 real seconds at this speed.
constexpr char kBeforeDusk[] = "[clock]\nspeed = 600\nstart = 2026-12-08T01:40:00Z\n";
// 13:00 local, in real time: hours before dusk.
constexpr char kAfternoon[] = "[clock]\nspeed = 1\nstart = 2026-12-07T20:00:00Z\n";
// One group whose plan lasts over an hour and a half of the observatory's time (ten real
// seconds), so that a stop finds it under way.
const std::vector<std::string> kLongPlan = {"#COUNT 10", "#INTERVAL 600", "M45 Pleiades\t03:47:24\t+24:07:00",
                                            "**** remaining=5"};
// Settings whose autofocus is not due, so that nothing but the window's close saves them;
// written with LF, where the program writes CR LF.
constexpr char kSettings[] =
    "lastFocusJD,2461382.5\nfocusInterval,30000\nbaseDir,C:\\Astronomy\\Nightpick\\\nmaxElevation,90\n"
    "minAzimuth,0\nmaxAzimuth,360\nsunElev,-18\n";

class HeadlessProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    if (headlessPath().empty() || !std::filesystem::exists(headlessPath()))
      GTEST_SKIP() << "nightpick-headless is not built (GUI build off)";
  }
  void setUp(const std::string& ini, const std::string& settings = kSettings) {
    test::writeFileBytes(joinPath(f.hostDir(), "observatory.ini"), ini);
    test::writeFileBytes(f.configPath(), settings);
    f.writeList(kLongPlan);
  }
  std::string out(const std::string& name = "out.txt") const { return f.dir.file(name); }
  // config.ini as the program saves the settings of `settings`.
  std::string savedConfig(const std::string& settings) {
    test::writeFileBytes(f.dir.file("settings.txt"), settings);
    Settings read;
    loadConfigFile(f.files, f.dir.file("settings.txt"), read);
    return formatConfig(read);
  }

  TestWorld f;
};

// The status texts of the output, each line checked for its local time.
std::vector<std::string> statusTexts(const std::string& output) {
  static const std::regex line("[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} (.+)");
  std::vector<std::string> texts;
  for (const std::string& l : splitLines(output)) {
    std::smatch m;
    EXPECT_TRUE(std::regex_match(l, m, line)) << "not a status line: '" << l << "'";
    texts.push_back(m.size() > 1 ? m[1].str() : l);
  }
  return texts;
}

TEST_F(HeadlessProgram, RunsTheNightUntilSigtermThenAbortsTheAcquisitionAndSaves) {
  setUp(kBeforeDusk);
  ProgramProcess program(headlessPath(), {"--program-dir", f.programDir()}, out());
  // Each status line is out as it comes (the output is a file here, not a terminal).
  ASSERT_TRUE(waitForText(out(), "Running ACP plan for selected target: M45 Pleiades\n"))
      << readFileBytes(out() + ".err");
  ASSERT_TRUE(waitForText(f.acquisitionLogPath(), "\tSTART\t"));
  EXPECT_THAT(readFileBytes(f.planPath()), HasSubstr("M45 Pleiades\t03:47:24\t+24:07:00"));
  EXPECT_THAT(f.listText(), HasSubstr("**** remaining=4\r\n"));
  EXPECT_EQ(readFileBytes(f.configPath()), kSettings);

  program.signal(SIGTERM);
  ASSERT_EQ(program.wait(), 0) << readFileBytes(out() + ".err");

  EXPECT_THAT(readFileBytes(out() + ".err"), IsEmpty());
  const std::string output = readFileBytes(out());
  EXPECT_EQ(output.rfind("2026-12-07 18:4", 0), 0u) << output;
  const std::vector<std::string> texts = statusTexts(output);
  ASSERT_GE(texts.size(), 4u);
  EXPECT_EQ(texts.front(), "Waiting for Sun to reach an elevation of -18 degrees");
  EXPECT_THAT(std::vector<std::string>(texts.end() - 3, texts.end()),
              ElementsAre("Running ACP plan for selected target: M45 Pleiades", "Nightpick and ACP stopping",
                          "Nightpick stopped"));
  EXPECT_THAT(f.listText(), HasSubstr("**** remaining=4\r\n")) << "one plan only";
  const std::vector<std::string> acquisition = splitLines(f.acquisitionLog());
  ASSERT_FALSE(acquisition.empty());
  EXPECT_THAT(acquisition.back(), testing::EndsWith("\tEND\taborted"));
  // The run log holds the whole run, down to its last line.
  const std::string runLog = f.runLog();
  EXPECT_THAT(runLog, testing::EndsWith("Running ACP plan for selected target:M45 Pleiades\r\n"));
  EXPECT_EQ(readFileBytes(f.configPath()), savedConfig(kSettings));
}

TEST_F(HeadlessProgram, SigintStopsItTooAndASecondSignalDoesNotCutTheStopShort) {
  setUp(kAfternoon);
  ProgramProcess program(headlessPath(), {"--program-dir", f.programDir()}, out());
  ASSERT_TRUE(waitForText(out(), "Waiting for Sun")) << readFileBytes(out() + ".err");
  program.signal(SIGINT);
  program.signal(SIGINT);
  ASSERT_EQ(program.wait(), 0) << readFileBytes(out() + ".err");
  EXPECT_THAT(statusTexts(readFileBytes(out())),
              ElementsAre("Waiting for Sun to reach an elevation of -18 degrees", "Nightpick and ACP stopping",
                          "Nightpick stopped"));
  EXPECT_EQ(readFileBytes(f.configPath()), savedConfig(kSettings));
  EXPECT_FALSE(std::filesystem::exists(f.planPath()));
}

TEST_F(HeadlessProgram, ASecondCopyOnTheSameFolderExitsNonZeroWithoutSaving) {
  setUp(kAfternoon);
  ProgramProcess first(headlessPath(), {"--program-dir", f.programDir()}, out("first.txt"));
  ASSERT_TRUE(waitForText(out("first.txt"), "Waiting for Sun")) << readFileBytes(out("first.txt.err"));

  ProgramProcess second(headlessPath(), {"--program-dir", f.programDir()}, out("second.txt"));
  EXPECT_EQ(second.wait(), 1);
  EXPECT_THAT(readFileBytes(out("second.txt.err")),
              HasSubstr("message: Nightpick is already running on this folder: " + f.programDir()));
  EXPECT_THAT(readFileBytes(out("second.txt")), IsEmpty());
  EXPECT_EQ(readFileBytes(f.configPath()), kSettings);

  first.signal(SIGTERM);
  EXPECT_EQ(first.wait(), 0) << readFileBytes(out("first.txt.err"));
}

TEST_F(HeadlessProgram, EveryOtherEndExitsNonZeroNamingWhy) {
  struct Case {
    std::string name, ini, settings;
    bool list;
    std::string error;
    bool saved;  // the window's close saves the settings: not after a failure
  };
  const Case cases[] = {
      {"an unknown key", std::string(kBeforeDusk) + "colour = red\n", kSettings, true,
       "line 4: unknown key 'clock.colour'", false},
      {"no target list", kBeforeDusk, kSettings, false, "targets.txt", false},
      {"a dusk that never comes", kBeforeDusk, std::regex_replace(kSettings, std::regex("sunElev,-18"), "sunElev,-89"), true,
       "error: the run ended without a stop request", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    setUp(c.ini, c.settings);
    if (!c.list) std::filesystem::remove(f.listPath());
    ProgramProcess program(headlessPath(), {"--program-dir", f.programDir()}, out());
    EXPECT_EQ(program.wait(std::chrono::seconds(60)), 1);
    const std::string err = readFileBytes(out() + ".err");
    EXPECT_THAT(err, HasSubstr(c.error));
    EXPECT_THAT(err, testing::ContainsRegex("error: [^\n]+\n$"));
    EXPECT_EQ(readFileBytes(f.configPath()), c.saved ? savedConfig(c.settings) : c.settings);
  }
}

}  // namespace
}  // namespace np
