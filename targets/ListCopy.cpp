#include "targets/ListCopy.h"

#include <memory>
#include <tuple>
#include <utility>

#include "base/Errors.h"
#include "targets/PlanWriter.h"
#include "targets/TargetList.h"

namespace np {

namespace {

// The selection reports a faulty line when it reads the list; here it only counts.
class QuietSink : public MessageSink {
 public:
  void showMessage(const std::string&) override {}
};

struct FoundGroup {
  CountedGroup group;
  std::size_t at = 0, length = 0;  // the delimiter line's bytes, without its end
};

// The groups with where their delimiter lines lie: the lines split as TextLines splits
// them, read as the selection reads them.
std::vector<FoundGroup> findGroups(const std::string& text) {
  std::vector<std::pair<std::size_t, std::size_t>> lines;  // start, length
  for (std::size_t next = 0; next < text.size();) {
    const std::size_t stop = text.find_first_of("\r\n", next);
    if (stop == std::string::npos) {
      lines.emplace_back(next, text.size() - next);
      break;
    }
    lines.emplace_back(next, stop - next);
    next = stop + 1;
    if (text[stop] == '\r' && next < text.size() && text[next] == '\n') ++next;
  }

  std::vector<FoundGroup> found;
  ListReader reader(std::make_unique<TextLines>(text));
  GroupReader groups;
  QuietSink quiet;
  for (std::size_t i = 0; !reader.AtEndOfStream(); ++i) {
    std::string line = reader.ReadLine();
    if (i == 0 && !reader.unreadableEncoding().empty()) throw RunTimeError(reader.unreadableEncodingMessage());
    if (groups.feed(std::move(line)) != GroupReader::LineKind::GroupEnd) continue;
    const GroupReader::Group& g = groups.group();
    FoundGroup f;
    f.group.delimiterLine = g.delimiterLineNumber;
    f.group.name = g.targetLine->substr(0, g.targetLine->find('\t'));
    std::int16_t remaining = 0;
    if (parseTargetConfig(quiet, *g.delimiterLine, remaining)) f.group.remaining = remaining;
    std::tie(f.at, f.length) = lines[static_cast<std::size_t>(g.delimiterLineNumber - 1)];
    found.push_back(std::move(f));
  }
  return found;
}

}  // namespace

std::vector<CountedGroup> countedGroups(const std::string& listText) {
  std::vector<CountedGroup> groups;
  for (FoundGroup& f : findGroups(listText)) groups.push_back(std::move(f.group));
  return groups;
}

ListCopy::ListCopy(std::string listText) : text_(std::move(listText)) {
  for (const FoundGroup& f : findGroups(text_))
    groups_[f.group.delimiterLine] = Group{f.at, f.length, f.group.remaining, f.group.remaining};
}

std::string ListCopy::listText() {
  std::lock_guard lock(mutex_);
  std::string text;
  text.reserve(text_.size() + 64);
  std::size_t copied = 0;
  for (const auto& [line, group] : groups_) {
    if (group.now == group.imported) continue;
    text.append(text_, copied, group.at - copied);
    QuietSink quiet;
    const std::string delimiter = text_.substr(group.at, group.length);
    DelimiterItems items;
    parseDelimiterLine(quiet, delimiter, items);
    text += rewrittenDelimiterLine(delimiter, items, *group.now);
    copied = group.at + group.length;
  }
  text.append(text_, copied);
  return text;
}

std::optional<std::int16_t> ListCopy::takeRun(std::int64_t delimiterLine, std::int64_t, const std::string&) {
  std::lock_guard lock(mutex_);
  const auto it = groups_.find(delimiterLine);
  if (it == groups_.end() || !it->second.now || *it->second.now == 0) return std::nullopt;
  it->second.now = lowerCount(*it->second.now);
  return it->second.now;
}

}  // namespace np
