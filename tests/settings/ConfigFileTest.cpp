#include "settings/ConfigFile.h"
#include "support/TestText.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "base/Errors.h"
#include "support/FaultyFileSystem.h"
#include "support/TempDir.h"

namespace np {
namespace {

using test::FaultyFileSystem;
using test::readFileBytes;
using test::TempDir;
using test::writeFileBytes;
using ::testing::HasSubstr;

const std::string& kDefaultFile = test::kDefaultConfigText;

Settings someSettings() {
  Settings s;
  s.lastFocusJD = 2459000.5;
  s.focusInterval = 45;
  s.baseDir = "D:\\Obs\\";
  s.maxElevation = 75.5f;
  s.minAzimuth = 300.0f;
  s.maxAzimuth = 60.0f;
  s.sunElev = -12.5f;
  return s;
}

// The names of the entries of a folder, sorted.
std::vector<std::string> filesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Another copy of the program saves config.ini while this save is between writing its
// temporary file and putting it in place (a second window opened by mistake and closed
// while a run goes on).
class OvertakingFileSystem : public FaultyFileSystem {
 public:
  OvertakingFileSystem(FileSystem& inner, Settings other) : FaultyFileSystem(inner), inner_(inner), other_(other) {}
  void Replace(const std::string& from, const std::string& to) override {
    if (!overtaken_) {
      overtaken_ = true;
      saveConfigFile(inner_, to, other_);
    }
    FaultyFileSystem::Replace(from, to);
  }

 private:
  FileSystem& inner_;
  Settings other_;
  bool overtaken_ = false;
};

class ConfigFileTest : public ::testing::Test {
 protected:
  // Loads the given file content into settings that start far from the defaults.
  Settings loadFrom(const std::string& bytes) {
    writeFileBytes(path, bytes);
    Settings s = someSettings();
    loadConfigFile(files, path, s);
    return s;
  }

  TempDir dir;
  std::string path = dir.file("config.ini");
  LocalFileSystem files;
};

TEST_F(ConfigFileTest, DefaultsFormatAsTheSevenStandardLines) {
  EXPECT_EQ(formatConfig(Settings{}), kDefaultFile);
}

TEST_F(ConfigFileTest, FormatsEveryFieldInItsLine) {
  EXPECT_EQ(formatConfig(someSettings()),
            "lastFocusJD,2459000.5\r\nfocusInterval,45\r\nbaseDir,D:\\Obs\\\r\nmaxElevation,75.5\r\n"
            "minAzimuth,300\r\nmaxAzimuth,60\r\nsunElev,-12.5\r\n");
  Settings s;
  s.lastFocusJD = 2460123.456789012345;
  s.focusInterval = -32768;
  s.maxElevation = 0.1f;
  s.minAzimuth = -0.0f;
  s.sunElev = 1.0f / 3.0f;
  EXPECT_EQ(formatConfig(s),
            "lastFocusJD,2460123.45678901\r\nfocusInterval,-32768\r\nbaseDir,C:\\Astronomy\\Nightpick\\\r\n"
            "maxElevation,0.1\r\nminAzimuth,0\r\nmaxAzimuth,360\r\nsunElev,0.3333333\r\n");
}

TEST_F(ConfigFileTest, NoFileGivesDefaultsAndCreatesNothing) {
  Settings s = someSettings();
  loadConfigFile(files, path, s);
  EXPECT_EQ(s, Settings{});
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(ConfigFileTest, FolderInPlaceOfTheFileGivesDefaults) {
  std::filesystem::create_directory(path);
  Settings s = someSettings();
  loadConfigFile(files, path, s);
  EXPECT_EQ(s, Settings{});
}

TEST_F(ConfigFileTest, FirstSaveWritesExactlyTheDefaultLines) {
  Settings s;
  loadConfigFile(files, path, s);
  saveConfigFile(files, path, s);
  EXPECT_EQ(readFileBytes(path), kDefaultFile);
  EXPECT_EQ(std::filesystem::directory_iterator(dir.path())->path().filename(), "config.ini");  // no leftovers
}

TEST_F(ConfigFileTest, SaveThenLoadRoundTrips) {
  saveConfigFile(files, path, someSettings());
  Settings s;
  loadConfigFile(files, path, s);
  EXPECT_EQ(s, someSettings());
  EXPECT_EQ(readFileBytes(path), formatConfig(someSettings()));
}

TEST_F(ConfigFileTest, LastFocusJDRoundTrips) {
  Settings s;
  s.lastFocusJD = 2459000.5;
  saveConfigFile(files, path, s);
  EXPECT_THAT(readFileBytes(path), ::testing::StartsWith("lastFocusJD,2459000.5\r\n"));
  Settings back;
  loadConfigFile(files, path, back);
  EXPECT_EQ(back.lastFocusJD, 2459000.5);
}

TEST_F(ConfigFileTest, MaxElevationWithFractionRoundTripsInTheSameForm) {
  std::string text = kDefaultFile;
  text.replace(text.find("maxElevation,90"), 15, "maxElevation,75.5");
  const Settings s = loadFrom(text);
  EXPECT_EQ(s.maxElevation, 75.5f);
  saveConfigFile(files, path, s);
  EXPECT_EQ(readFileBytes(path), text);
}

// One line of the default file replaced, and what the load must give.
struct LineCase {
  const char* name;
  int line;  // 0-based
  const char* replacement;
  void (*check)(const Settings&);
};

std::string withLine(int index, const std::string& replacement) {
  std::string text = kDefaultFile;
  std::size_t start = 0;
  for (int i = 0; i < index; ++i) start = text.find("\r\n", start) + 2;
  const std::size_t end = text.find("\r\n", start);
  return text.replace(start, end - start, replacement);
}

TEST_F(ConfigFileTest, ValuesAreReadByPosition) {
  const LineCase cases[] = {
      {"other key", 3, "x,45", [](const Settings& s) { EXPECT_EQ(s.maxElevation, 45.0f); }},
      {"sunElev fraction", 6, "sunElev,-12.5", [](const Settings& s) { EXPECT_EQ(s.sunElev, -12.5f); }},
      {"interval not a number", 1, "focusInterval,abc", [](const Settings& s) { EXPECT_EQ(s.focusInterval, 0); }},
      {"interval half to even", 1, "focusInterval,12.5", [](const Settings& s) { EXPECT_EQ(s.focusInterval, 12); }},
      {"interval odd half up", 1, "focusInterval,13.5", [](const Settings& s) { EXPECT_EQ(s.focusInterval, 14); }},
      {"interval out of range", 1, "focusInterval,40000", [](const Settings& s) { EXPECT_EQ(s.focusInterval, 30); }},
      {"float out of range", 4, "minAzimuth,1e39", [](const Settings& s) { EXPECT_EQ(s.minAzimuth, 0.0f); }},
      {"JD not a number", 0, "lastFocusJD,", [](const Settings& s) { EXPECT_EQ(s.lastFocusJD, 0.0); }},
      {"blanks before items", 5, "  maxAzimuth,  270", [](const Settings& s) { EXPECT_EQ(s.maxAzimuth, 270.0f); }},
      {"folder kept as text", 2, "baseDir,E:\\My Data\\ ",
       [](const Settings& s) { EXPECT_EQ(s.baseDir, "E:\\My Data\\ "); }},
      {"empty folder", 2, "baseDir,", [](const Settings& s) { EXPECT_EQ(s.baseDir, ""); }},
      {"sunElev not a number", 6, "sunElev,low", [](const Settings& s) { EXPECT_EQ(s.sunElev, 0.0f); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Settings s = loadFrom(withLine(c.line, c.replacement));
    c.check(s);
    // Every other field comes from the file, not from what the settings held before.
    Settings expected;
    Settings actual = s;
    switch (c.line) {
      case 0: actual.lastFocusJD = expected.lastFocusJD; break;
      case 1: actual.focusInterval = expected.focusInterval; break;
      case 2: actual.baseDir = expected.baseDir; break;
      case 3: actual.maxElevation = expected.maxElevation; break;
      case 4: actual.minAzimuth = expected.minAzimuth; break;
      case 5: actual.maxAzimuth = expected.maxAzimuth; break;
      case 6: actual.sunElev = expected.sunElev; break;
    }
    EXPECT_EQ(actual, expected);
  }
}

// A number the field cannot hold loads as the field's default (and is saved as it), so
// that a value such as 1e308 does not become an elevation limit of 0; text that is not a
// number still loads as 0.
TEST_F(ConfigFileTest, NumbersOutsideAFieldsRangeLoadAsItsDefault) {
  struct Case {
    int line;
    const char* value;
    double expected;  // the field's value after the load
  } const cases[] = {
      {0, "1e400", 0.0},           {0, "-1e400", 0.0},          {0, "1e308", 1e308},
      {0, "2459000.5", 2459000.5}, {0, "1e-400", 0.0},
      {1, "40000", 30},            {1, "-40000", 30},           {1, "1e400", 30},
      {1, "32767.5", 30},          {1, "-32768.6", 30},         {1, "32767", 32767},
      {1, "-32768.5", -32768},     {1, "12.5", 12},             {1, "abc", 0},
      {1, "", 0},                  {1, "1e-400", 0},
      {3, "1e308", 90},            {3, "-1e39", 90},            {3, "1e400", 90},
      {3, "3.4e38", 3.4e38f},      {3, "x", 0},
      {4, "1e39", 0},              {4, "123.25", 123.25},
      {5, "1e39", 360},            {5, "-1e300", 360},          {5, "", 0},
      {6, "1e39", -18},            {6, "-1e400", -18},          {6, "-6", -6},
      {6, "1e-50", 0},
  };
  const char* keys[] = {"lastFocusJD", "focusInterval", "baseDir", "maxElevation",
                        "minAzimuth",  "maxAzimuth",    "sunElev"};
  for (const Case& c : cases) {
    const std::string line = std::string(keys[c.line]) + "," + c.value;
    SCOPED_TRACE(line);
    const Settings s = loadFrom(withLine(c.line, line));
    Settings expected;
    switch (c.line) {
      case 0: expected.lastFocusJD = c.expected; break;
      case 1: expected.focusInterval = static_cast<std::int16_t>(c.expected); break;
      case 3: expected.maxElevation = static_cast<float>(c.expected); break;
      case 4: expected.minAzimuth = static_cast<float>(c.expected); break;
      case 5: expected.maxAzimuth = static_cast<float>(c.expected); break;
      case 6: expected.sunElev = static_cast<float>(c.expected); break;
    }
    EXPECT_EQ(s, expected);
    // What was loaded is what the next save writes, not the number out of range.
    saveConfigFile(files, path, s);
    EXPECT_EQ(readFileBytes(path), formatConfig(expected));
  }
}

TEST_F(ConfigFileTest, LinesAfterTheSeventhHaveNoEffect) {
  std::string text = formatConfig(someSettings());
  EXPECT_EQ(loadFrom(text + "sunElev,-6\r\nmore,1,2,3\r\n"), someSettings());
  EXPECT_EQ(loadFrom(text + "\r\n\r\n"), someSettings());
}

TEST_F(ConfigFileTest, SixLineFileLeavesSunElevAtItsDefault) {
  std::string six = formatConfig(someSettings());
  six.erase(six.find("sunElev"));
  Settings expected = someSettings();
  expected.sunElev = -18.0f;
  EXPECT_EQ(loadFrom(six), expected);
  // The next save writes all seven lines.
  saveConfigFile(files, path, loadFrom(six));
  EXPECT_EQ(readFileBytes(path), formatConfig(expected));
}

TEST_F(ConfigFileTest, LoneLineFeedsAndMissingLastLineEndAreRead) {
  EXPECT_EQ(loadFrom("lastFocusJD,1\nfocusInterval,2\nbaseDir,B\nmaxElevation,4\nminAzimuth,5\nmaxAzimuth,6\nsunElev,7"),
            (Settings{1.0, 2, "B", 4.0f, 5.0f, 6.0f, 7.0f}));
}

TEST_F(ConfigFileTest, ShortFileGivesDefaultsForWhatIsMissing) {
  const std::string full = formatConfig(someSettings());
  // Cut the file after every item of the first six lines in turn.
  const Settings fileValues = someSettings();
  const Settings defaults;
  struct Cut {
    std::string text;
    int fieldsFromFile;
  };
  std::vector<Cut> cuts = {{"", 0},
                           {"lastFocusJD", 0},
                           {"lastFocusJD,2459000.5\r\n", 1},
                           {"lastFocusJD,2459000.5\r\nfocusInterval", 1},
                           {"lastFocusJD,2459000.5\r\nfocusInterval,45", 2}};
  std::size_t pos = 0;
  for (int line = 0; line < 6; ++line) {
    pos = full.find("\r\n", pos) + 2;
    cuts.push_back({full.substr(0, pos), line + 1});
  }
  for (const auto& cut : cuts) {
    SCOPED_TRACE(cut.text);
    const Settings s = loadFrom(cut.text);
    const int n = cut.fieldsFromFile;
    EXPECT_EQ(s.lastFocusJD, n > 0 ? fileValues.lastFocusJD : defaults.lastFocusJD);
    EXPECT_EQ(s.focusInterval, n > 1 ? fileValues.focusInterval : defaults.focusInterval);
    EXPECT_EQ(s.baseDir, n > 2 ? fileValues.baseDir : defaults.baseDir);
    EXPECT_EQ(s.maxElevation, n > 3 ? fileValues.maxElevation : defaults.maxElevation);
    EXPECT_EQ(s.minAzimuth, n > 4 ? fileValues.minAzimuth : defaults.minAzimuth);
    EXPECT_EQ(s.maxAzimuth, n > 5 ? fileValues.maxAzimuth : defaults.maxAzimuth);
    EXPECT_EQ(s.sunElev, defaults.sunElev);
  }
}

TEST_F(ConfigFileTest, ACommaInTheFolderStaysInTheFolderAndShiftsNothing) {
  // The folder is the one text value: it runs to the end of its line, and the six numbers
  // load and are saved again as written.
  const std::string file =
      "lastFocusJD,1\r\nfocusInterval,2\r\nbaseDir,C:\\a,b\\\r\nmaxElevation,4\r\nminAzimuth,5\r\nmaxAzimuth,6\r\n"
      "sunElev,7\r\n";
  const Settings s = loadFrom(file);
  EXPECT_EQ(s.baseDir, "C:\\a,b\\");
  EXPECT_EQ(s.maxElevation, 4.0f);
  EXPECT_EQ(s.minAzimuth, 5.0f);
  EXPECT_EQ(s.maxAzimuth, 6.0f);
  EXPECT_EQ(s.sunElev, 7.0f);
  saveConfigFile(files, path, s);
  EXPECT_EQ(readFileBytes(path), file);

  // A folder line without its key still gives its first item, as before: the value starts
  // on the next line and only there do commas separate items.
  const Settings keyless = loadFrom("lastFocusJD,1\r\nfocusInterval,2\r\nC:\\x\r\nmaxElevation,4\r\n");
  EXPECT_EQ(keyless.baseDir, "maxElevation");
}

TEST_F(ConfigFileTest, ItemsOfTheNumbersFollowCommasNotLines) {
  // An extra comma in a number's line shifts the following values by one item.
  const Settings s = loadFrom(
      "lastFocusJD,1\r\nfocusInterval,2\r\nbaseDir,C:\\a\r\nmaxElevation,4,9\r\nminAzimuth,5\r\nmaxAzimuth,6\r\n"
      "sunElev,7\r\n");
  EXPECT_EQ(s.baseDir, "C:\\a");
  EXPECT_EQ(s.maxElevation, 4.0f);
  EXPECT_EQ(s.minAzimuth, 0.0f);  // the item "minAzimuth"
  EXPECT_EQ(s.maxAzimuth, 0.0f);  // "maxAzimuth"
  EXPECT_EQ(s.sunElev, 0.0f);     // "sunElev"
}

TEST_F(ConfigFileTest, UnreadableFileIsAnErrorNamingFileAndCause) {
  writeFileBytes(path, kDefaultFile);
  FaultyFileSystem faulty(files);
  faulty.failOpenForReading(true);
  Settings s = someSettings();
  try {
    loadConfigFile(faulty, path, s);
    FAIL() << "no error";
  } catch (const RunTimeError& e) {
    EXPECT_THAT(e.what(), HasSubstr(path));
    EXPECT_THAT(e.what(), HasSubstr("Injected read failure"));
  }
  EXPECT_EQ(s, someSettings());  // nothing taken over
}

TEST_F(ConfigFileTest, ReadErrorOfTheLocalFileSystemIsReported) {
  // /proc/self/mem exists and opens, but reading at offset 0 fails (nothing is mapped there).
#ifdef _WIN32
  GTEST_SKIP() << "/proc/self/mem is Linux's; Windows has no file that opens and then fails to read";
#endif
  if (!files.FileExists("/proc/self/mem")) GTEST_SKIP() << "no /proc";
  Settings s;
  try {
    loadConfigFile(files, "/proc/self/mem", s);
    FAIL() << "no error";
  } catch (const RunTimeError& e) {
    EXPECT_THAT(e.what(), HasSubstr("/proc/self/mem"));
    EXPECT_THAT(e.what(), HasSubstr("Input/output error"));
  }
}

TEST_F(ConfigFileTest, SaveIntoAMissingFolderFailsAndNamesTheFile) {
  const std::string bad = dir.file("missing/config.ini");
  try {
    saveConfigFile(files, bad, Settings{});
    FAIL() << "no error";
  } catch (const RunTimeError& e) {
    EXPECT_THAT(e.what(), HasSubstr(bad));
    EXPECT_THAT(e.what(), HasSubstr("No such file or directory"));
  }
}

TEST_F(ConfigFileTest, ASaveOvertakenByAnotherCopysSaveStillTakesPlace) {
  OvertakingFileSystem overtaken(files, Settings{});
  saveConfigFile(overtaken, path, someSettings());
  EXPECT_EQ(readFileBytes(path), formatConfig(someSettings()));
  EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"config.ini"});
}

TEST_F(ConfigFileTest, InterruptedSaveLeavesTheOldFileIntact) {
  const std::string old = formatConfig(someSettings());
  int steps = 0;
  for (int n = 1;; ++n) {
    SCOPED_TRACE(n);
    ASSERT_LT(n, 100);
    writeFileBytes(path, old);
    FaultyFileSystem faulty(files);
    faulty.failAt(n);
    try {
      saveConfigFile(faulty, path, Settings{});
    } catch (const RunTimeError& e) {
      EXPECT_THAT(e.what(), HasSubstr(path));
      EXPECT_EQ(readFileBytes(path), old);
      EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"config.ini"});
      ++steps;
      continue;
    }
    // n is past the last step: the save went through.
    EXPECT_EQ(readFileBytes(path), kDefaultFile);
    break;
  }
  EXPECT_EQ(steps, 10);  // create, seven lines, close, replace
}

TEST_F(ConfigFileTest, SaveOnADeadDiskStillKeepsTheOldFile) {
  // Every step from the n-th on fails, the clean-up included.
  const std::string old = formatConfig(someSettings());
  for (int n = 1; n <= 10; ++n) {
    SCOPED_TRACE(n);
    writeFileBytes(path, old);
    FaultyFileSystem faulty(files);
    faulty.failFrom(n);
    EXPECT_THROW(saveConfigFile(faulty, path, Settings{}), RunTimeError);
    EXPECT_EQ(readFileBytes(path), old);
  }
}

}  // namespace
}  // namespace np
