#include "base/Paths.h"

#include <gtest/gtest.h>

#include <string>

namespace np {
namespace {

TEST(PathsTest, FoldersGainOrLoseTheirTrailingSeparators) {
  struct Case {
    const char* folder;
    const char* with;     // withSeparator
    const char* without;  // withoutSeparator
    const char* joined;   // joinPath(folder, "a.txt"); the program joins no name to an empty folder
  } const cases[] = {
#ifdef _WIN32
      {"C:\\Obs", "C:\\Obs\\", "C:\\Obs", "C:\\Obs\\a.txt"},
      {"C:\\Obs\\\\", "C:\\Obs\\\\", "C:\\Obs", "C:\\Obs\\\\a.txt"},
      {"C:/Obs/", "C:/Obs/", "C:/Obs", "C:/Obs/a.txt"},  // '/' is a separator too
      {"C:\\Obs/", "C:\\Obs/", "C:\\Obs", "C:\\Obs/a.txt"},
      {"C:\\", "C:\\", "C:\\", "C:\\a.txt"},  // "C:" would be drive C's current folder
      {"C:\\\\", "C:\\\\", "C:\\", "C:\\\\a.txt"},
      {"\\\\server\\share\\", "\\\\server\\share\\", "\\\\server\\share", "\\\\server\\share\\a.txt"},
      {"", ".\\", "", nullptr},
#else
      {"/obs", "/obs/", "/obs", "/obs/a.txt"},
      {"/obs//", "/obs//", "/obs", "/obs//a.txt"},
      {"/", "/", "/", "/a.txt"},
      {"//", "//", "/", "//a.txt"},
      {"obs\\", "obs\\/", "obs\\", "obs\\/a.txt"},  // a backslash is a letter of a name
      {"", "./", "", nullptr},
#endif
  };
  for (const auto& c : cases) {
    EXPECT_EQ(withSeparator(c.folder), c.with) << c.folder;
    EXPECT_EQ(withoutSeparator(c.folder), c.without) << c.folder;
    if (c.joined != nullptr) {
      EXPECT_EQ(joinPath(c.folder, "a.txt"), c.joined) << c.folder;
    }
  }
}

}  // namespace
}  // namespace np
