#pragma once
// Test doubles for the host objects (the fake host over a sky), the file system and the
// run log, shared by the tests of the target-list units and the selection.
#include <algorithm>
#include <functional>
#include <limits>
#include <map>
#include <set>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/Errors.h"
#include "base/FileSystem.h"
#include "host/HostInterfaces.h"
#include "support/FakeHost.h"

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

// The fake host (FakeHost.h) with angle texts that are plain decimal numbers and a sky
// that is a table keyed by right ascension. Defaults: German polar mount at latitude 40,
// tilt-up limit 90, minimum elevation 10, flat horizon at 0, plan folder "/plans".
struct SkyHost : FakeHost {
  Sky sky;
  SkyTransform* lastTransform = nullptr;
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

  SkyHost() {
    localUser.members.DefaultPlanDir.answer = [] { return std::string("/plans"); };
    prefs.members.TiltUpLimit.answer = [] { return 90.0; };
    prefs.members.MinimumElevation.answer = [] { return 10.0; };
    prefs.members.GetHorizon.answer = [](double) { return 0.0; };
    telescope.members.AlignmentMode.answer = [] { return 2; };
    telescope.members.SiteLatitude.answer = [] { return 40.0; };
    util.members.HMS_Hours.answer = [](const std::string& t) { return std::stod(t); };
    util.members.DMS_Degrees.answer = [](const std::string& t) { return std::stod(t); };
    util.members.HourAngle12.answer = [this](double ra) { return sky.at(ra).hourAngle; };
    util.members.NewCTHereAndNow.answer = [this]() -> std::unique_ptr<ICoordinateTransform> {
      // The pass releases its transforms; the host keeps each, for the test to read after.
      transforms.push_back(std::make_shared<SkyTransform>(sky));
      lastTransform = transforms.back().get();
      return std::make_unique<SharedTransform>(transforms.back());
    };
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
  // Folders are not kept: every folder exists.
  void CreateFolders(const std::string& path) override { operations.push_back("create folders " + path); }
  // The bytes as lines, split where a line ends.
  void WriteBinaryFile(const std::string& path, std::string_view bytes) override {
    operations.push_back("write " + path);
    std::vector<std::string>& lines = files[path];
    lines.clear();
    for (std::size_t from = 0; from < bytes.size();) {
      const std::size_t end = std::min(bytes.find('\n', from), bytes.size());
      std::string_view line = bytes.substr(from, end - from);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      lines.emplace_back(line);
      from = end + 1;
    }
  }
  bool Publish(const std::string& from, const std::string& to) override {
    operations.push_back("publish " + from + " " + to);
    if (files.count(to) != 0) return false;
    ReplaceUnchecked(from, to);
    return true;
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
