#pragma once
#include <string>
#include <string_view>

namespace np::test {

// A fresh, empty folder under the system's temporary folder, removed with everything in
// it when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder's path, without a trailing separator.
  const std::string& path() const { return path_; }
  // path(), the platform's separator, name.
  std::string file(std::string_view name) const;

 private:
  std::string path_;
};

// The whole content of a file, byte for byte; throws std::runtime_error when it cannot be read.
std::string readFileBytes(const std::string& path);
// Creates or overwrites a file with exactly these bytes; throws std::runtime_error on failure.
void writeFileBytes(const std::string& path, std::string_view bytes);

}  // namespace np::test
