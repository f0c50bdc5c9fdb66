#pragma once
// Test doubles for the host objects, the file system and the run log, shared by the
// tests of the target-list units and the selection.
#include <gmock/gmock.h>

#include <functional>
#include <limits>
#include <map>
#include <set>
#include <memory>
#include <string>
#include <vector>

#include "base/Errors.h"
#include "base/FileSystem.h"
#include "host/HostInterfaces.h"
#include "targets/Services.h"

namespace np::test {

// The three-group example list: starts 0, 2 and 5; the last group is finished.
inline const std::vector<std::string> kExampleList = {
    "Garden Field\t18:40:00\t+33:00:00",
    "**** remaining=3",
    "Twin Field North\t05:10:00\t+12:30:00",
    "Twin Field South\t05:11:30\t+12:05:00",
    "**** remaining=1",
    "Harbour Cluster\t21:05:00\t-02:15:00",
    "**** remaining=0",
};

// Where the fake sky puts a target of a given right ascension.
struct SkyPosition {
  double elevation = 45;
  double azimuth = 180;
  double hourAngle = 0;
};

struct Sky {
  std::map<double, SkyPosition> byRightAscension;
  const SkyPosition& at(double ra) const {
    auto it = byRightAscension.find(ra);
    if (it == byRightAscension.end()) throw RunTimeError("no sky position for RA " + std::to_string(ra));
    return it->second;
  }
};

// A coordinate transform that reads positions off the fake sky.
class SkyTransform : public ICoordinateTransform {
 public:
  explicit SkyTransform(const Sky& sky) : sky_(sky) {}
  void setRightAscension(double hours) override { ra_ = hours; }
  void setDeclination(double degrees) override { dec_ = degrees; }
  double Elevation() override { return position().elevation; }
  double Azimuth() override { return position().azimuth; }
  double rightAscension() const { return ra_; }
  double declination() const { return dec_; }
  bool coordinatesSet() const { return ra_ == ra_; }

 private:
  const SkyPosition& position() const {
    if (!coordinatesSet()) throw RunTimeError("transform read before its coordinates were set");
    return sky_.at(ra_);
  }
  const Sky& sky_;
  double ra_ = std::numeric_limits<double>::quiet_NaN();
  double dec_ = std::numeric_limits<double>::quiet_NaN();
};

class MockLocalUser : public ILocalUser {
 public:
  MOCK_METHOD(std::string, DefaultPlanDir, (), (override));
  MOCK_METHOD(std::string, DefaultLogDir, (), (override));
};

class MockPrefs : public IPrefs {
 public:
  MOCK_METHOD(double, TiltUpLimit, (), (override));
  MOCK_METHOD(double, MinimumElevation, (), (override));
  MOCK_METHOD(double, GetHorizon, (double azimuth), (override));
  MOCK_METHOD(ILocalUser&, LocalUser, (), (override));
};

class MockUtil : public IUtil {
 public:
  MOCK_METHOD(bool, ScriptActive, (), (override));
  MOCK_METHOD(void, LoadScript, (const std::string& path), (override));
  MOCK_METHOD(void, RunScript, (), (override));
  MOCK_METHOD(void, AbortScript, (), (override));
  MOCK_METHOD(IPrefs&, Prefs, (), (override));
  MOCK_METHOD(std::unique_ptr<ICoordinateTransform>, NewCTHereAndNow, (), (override));
  MOCK_METHOD(double, HMS_Hours, (const std::string& text), (override));
  MOCK_METHOD(double, DMS_Degrees, (const std::string& text), (override));
  MOCK_METHOD(double, HourAngle12, (double rightAscension), (override));
  MOCK_METHOD(double, HourAngle12, (double rightAscension, double localSiderealTime), (override));
  MOCK_METHOD(double, SysJulianDate, (), (override));
  MOCK_METHOD(double, Julian_GMST, (double julianDate), (override));
  MOCK_METHOD(double, Date_Julian, (DateTime local), (override));
  MOCK_METHOD(DateTime, Julian_Date, (double julianDate), (override));
  MOCK_METHOD(std::string, FormatVar, (DateTime value, const std::string& format), (override));
  MOCK_METHOD(bool, WeatherConnected, (), (override));
  MOCK_METHOD(IWeather&, Weather, (), (override));
};

class MockTelescope : public ITelescope {
 public:
  MOCK_METHOD(int, AlignmentMode, (), (override));
  MOCK_METHOD(double, SiteLatitude, (), (override));
  MOCK_METHOD(double, SiteLongitude, (), (override));
  MOCK_METHOD(bool, CanPark, (), (override));
  MOCK_METHOD(bool, CanUnpark, (), (override));
  MOCK_METHOD(void, Park, (), (override));
  MOCK_METHOD(void, Unpark, (), (override));
};

class MockApplication : public IApplication {
 public:
  MOCK_METHOD(std::string, Path, (), (override));
};

class MockEphemerisFactory : public IEphemerisFactory {
 public:
  MOCK_METHOD(std::unique_ptr<IEphemeris>, createEphemeris, (), (override));
  MOCK_METHOD(std::unique_ptr<IPositionVector>, createPositionVector, (), (override));
};

// A host whose angle texts are plain decimal numbers and whose sky is a table keyed by
// right ascension. Defaults: German polar mount at latitude 40, tilt-up limit 90,
// minimum elevation 10, flat horizon at 0, plan folder "/plans".
struct FakeHost {
  ::testing::NiceMock<MockUtil> util;
  ::testing::NiceMock<MockPrefs> prefs;
  ::testing::NiceMock<MockLocalUser> localUser;
  ::testing::NiceMock<MockTelescope> telescope;
  ::testing::NiceMock<MockApplication> application;
  ::testing::NiceMock<MockEphemerisFactory> ephemeris;
  Sky sky;
  SkyTransform* lastTransform = nullptr;
  int transformsMade = 0;
  std::vector<std::shared_ptr<SkyTransform>> transforms;  // every one made, in order

  // What the host hands out: a transform the host keeps as well.
  class SharedTransform : public ICoordinateTransform {
   public:
    explicit SharedTransform(std::shared_ptr<SkyTransform> t) : t_(std::move(t)) {}
    void setRightAscension(double hours) override { t_->setRightAscension(hours); }
    void setDeclination(double degrees) override { t_->setDeclination(degrees); }
    double Elevation() override { return t_->Elevation(); }
    double Azimuth() override { return t_->Azimuth(); }

   private:
    std::shared_ptr<SkyTransform> t_;
  };

  // The services of a unit run against this host, with the program folder "/prog/" in the
  // platform's spelling.
  Services services(FileSystem& files, const Clock& clock, EventPump& events, MessageSink& messages,
                    std::function<void(const std::string&)> setStatusText) {
    return Services{.util = util,
                    .telescope = telescope,
                    .acpApp = application,
                    .ephemeris = ephemeris,
                    .files = files,
                    .clock = clock,
                    .events = events,
                    .messages = messages,
                    .setStatusText = std::move(setStatusText),
                    .locale = NumberLocale{},
                    .programFolder = withSeparator("/prog")};
  }

  FakeHost() {
    using ::testing::_;
    using ::testing::Return;
    using ::testing::ReturnRef;
    ON_CALL(util, Prefs()).WillByDefault(ReturnRef(prefs));
    ON_CALL(prefs, LocalUser()).WillByDefault(ReturnRef(localUser));
    ON_CALL(localUser, DefaultPlanDir()).WillByDefault(Return("/plans"));
    ON_CALL(prefs, TiltUpLimit()).WillByDefault(Return(90.0));
    ON_CALL(prefs, MinimumElevation()).WillByDefault(Return(10.0));
    ON_CALL(prefs, GetHorizon(_)).WillByDefault(Return(0.0));
    ON_CALL(telescope, AlignmentMode()).WillByDefault(Return(2));
    ON_CALL(telescope, SiteLatitude()).WillByDefault(Return(40.0));
    ON_CALL(util, HMS_Hours(_)).WillByDefault([](const std::string& t) { return std::stod(t); });
    ON_CALL(util, DMS_Degrees(_)).WillByDefault([](const std::string& t) { return std::stod(t); });
    ON_CALL(util, HourAngle12(::testing::An<double>())).WillByDefault([this](double ra) {
      return sky.at(ra).hourAngle;
    });
    ON_CALL(util, NewCTHereAndNow()).WillByDefault([this]() -> std::unique_ptr<ICoordinateTransform> {
      // The pass releases its transforms; the host keeps each, for the test to read after.
      transforms.push_back(std::make_shared<SkyTransform>(sky));
      lastTransform = transforms.back().get();
      ++transformsMade;
      return std::make_unique<SharedTransform>(transforms.back());
    });
  }
};

// Files held in memory, each a list of lines. Writers add their lines as they are
// written. Every mutating operation is recorded in `operations`.
class MemoryFileSystem : public FileSystem {
 public:
  std::map<std::string, std::vector<std::string>> files;
  std::vector<std::string> operations;

  std::unique_ptr<TextReader> OpenTextFile(const std::string& path) override {
    auto it = files.find(path);
    if (it == files.end()) throw RunTimeError("File not found: " + path);
    return std::make_unique<Reader>(it->second);
  }
  std::unique_ptr<TextWriter> OpenTextFileForAppending(const std::string& path) override {
    operations.push_back("append " + path);
    return std::make_unique<Writer>(files[path]);
  }
  std::unique_ptr<TextWriter> CreateTextFile(const std::string& path) override {
    operations.push_back("create " + path);
    files[path].clear();
    return std::make_unique<Writer>(files[path]);
  }
  bool FileExists(const std::string& path) noexcept override { return files.count(path) != 0; }
  bool FolderExists(const std::string&) noexcept override { return true; }
  void Remove(const std::string& path) override {
    operations.push_back("delete " + path);
    if (files.erase(path) == 0) throw RunTimeError("File not found: " + path);
  }
  void Move(const std::string& from, const std::string& to) override {
    operations.push_back("move " + from + " " + to);
    if (files.count(to) != 0) throw RunTimeError("File already exists: " + to);
    ReplaceUnchecked(from, to);
  }
  void Replace(const std::string& from, const std::string& to) override {
    operations.push_back("replace " + from + " " + to);
    ReplaceUnchecked(from, to);
  }
  std::unique_ptr<FileLock> LockFolder(const std::string& path) override {
    if (!locked.insert(path).second) return nullptr;
    struct Held : FileLock {
      Held(std::set<std::string>& s, std::string p) : set(s), path(std::move(p)) {}
      ~Held() override { set.erase(path); }
      std::set<std::string>& set;
      std::string path;
    };
    return std::make_unique<Held>(locked, path);
  }
  std::set<std::string> locked;
  std::vector<std::string> FileNames(const std::string& folder) override {
    std::vector<std::string> names;
    const std::string prefix = withSeparator(folder);
    for (const auto& [path, lines] : files)
      if (path.rfind(prefix, 0) == 0 && path.find_first_of("/\\", prefix.size()) == std::string::npos)
        names.push_back(path.substr(prefix.size()));
    return names;
  }

 private:
  void ReplaceUnchecked(const std::string& from, const std::string& to) {
    auto it = files.find(from);
    if (it == files.end()) throw RunTimeError("File not found: " + from);
    std::vector<std::string> lines = std::move(it->second);
    files.erase(it);
    files[to] = std::move(lines);
  }

  // Readers and writers hold a reference into the map: std::map never moves its nodes.
  class Reader : public TextReader {
   public:
    explicit Reader(const std::vector<std::string>& lines) : lines_(lines) {}
    bool AtEndOfStream() override { return next_ >= lines_.size(); }
    std::string ReadLine() override {
      if (next_ >= lines_.size()) throw RunTimeError("Input past end of file");
      return lines_[next_++];
    }
    void Close() override {}

   private:
    const std::vector<std::string>& lines_;
    std::size_t next_ = 0;
  };
  class Writer : public TextWriter {
   public:
    explicit Writer(std::vector<std::string>& lines) : lines_(lines) {}
    void WriteLine(std::string_view text) override { lines_.emplace_back(text); }
    void Close() override {}

   private:
    std::vector<std::string>& lines_;
  };
};

// A run log that keeps its lines.
class LogLines : public TextWriter {
 public:
  void WriteLine(std::string_view text) override { lines.emplace_back(text); }
  void Close() override {}
  std::vector<std::string> lines;
};

}  // namespace np::test
