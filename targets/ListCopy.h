#pragma once
// A copy of a target list held in memory, taken from as the fleet's database takes: for a
// dry run of several observatories that share one list without a database. Its text is
// the list's bytes as given, each delimiter line whose count has changed since written as
// the program's own rewrite writes it; a run lowers the group's count unless it has
// reached zero (a negative count is never finished: it goes on down, -32768 staying
// -32768), and is refused when no run is left, the count cannot be read or no group
// ends at the line. Safe to use from several threads.
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "targets/ListStore.h"

namespace np {

// A group of a list as the program finds it, with its count (nothing: the delimiter
// line's count cannot be read).
struct CountedGroup {
  std::int64_t delimiterLine = 0;  // counted from 1
  std::string name;                // the target line's text before its first tab
  std::optional<std::int16_t> remaining;
};

// The groups of a list's bytes, in order. A list saved as UTF-16 text, which the program
// cannot read, is refused with the program's own message (RunTimeError).
std::vector<CountedGroup> countedGroups(const std::string& listText);

class ListCopy : public ListStore {
 public:
  // Refuses a list the program cannot read, as countedGroups does.
  explicit ListCopy(std::string listText);

  std::string listText() override;
  std::optional<std::int16_t> takeRun(std::int64_t delimiterLine, std::int64_t unixTime,
                                      const std::string& plan) override;

 private:
  struct Group {
    std::size_t at = 0, length = 0;  // the delimiter line's bytes in text_, without its end
    std::optional<std::int16_t> imported, now;
  };
  std::mutex mutex_;
  const std::string text_;
  std::map<std::int64_t, Group> groups_;  // by delimiter line
};

}  // namespace np
