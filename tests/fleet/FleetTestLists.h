#pragma once
// The lists the fleet's tests import.
#include <string>

#include "support/TempDir.h"

namespace np::fleet::test {

inline std::string sampleList() {
  return np::test::readFileBytes(std::string(NIGHTPICK_TEST_DATA) + "/sample-night/targets-before.txt");
}

// A byte-order mark, CR LF, LF and lone CR lines, lines before, between and after the groups,
// delimiter items past the count, a count that cannot be read, a negative count, a last
// line without a line end.
inline const std::string kEdgeList =
    "\xEF\xBB\xBF; fleet list\r\n"
    "#COUNT 6\r\n"
    "M31 Andromeda Galaxy\t00:42:44\t+41:16:09\r\n"
    "**** remaining=3 moon=30 moonwidth=7\r\n"
    "\r"
    "M42 Orion Nebula\t05:35:17\t-05:23:28\n"
    "**** remaining=1\n"
    "M45 Pleiades\t03:47:24\t+24:07:00\r\n"
    "**** remaining=lots\r\n"
    "M13 Hercules Cluster\t16:41:41\t+36:27:37\r\n"
    "**** remaining=-2 moon=10\r\n"
    "; the end\r\n"
    "no line end";

}  // namespace np::fleet::test
