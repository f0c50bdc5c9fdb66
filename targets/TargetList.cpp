#include "targets/TargetList.h"

#include <utility>

#include "base/Errors.h"
#include "base/NumberText.h"
#include "host/UtcTime.h"

namespace np {

namespace {

constexpr char kTab = '\t';

std::string quoted(std::string_view prefix, std::string_view text) {
  std::string message(prefix);
  message += text;
  message += '\'';
  return message;
}

}  // namespace

bool isDelimiterLine(std::string_view line) { return line.substr(0, kDelimiterMark.size()) == kDelimiterMark; }

bool parseTarget(IUtil& util, MessageSink& messages, const std::string& target, std::string& targetName,
                 float& targetRA, float& targetDec) {
  const std::size_t firstTab = target.find(kTab);
  if (firstTab == std::string::npos) {
    messages.showMessage(quoted(kFirstTabMissing, target));
    return false;
  }
  const std::size_t secondTab = target.find(kTab, firstTab + 1);
  if (secondTab == std::string::npos) {
    messages.showMessage(quoted(kSecondTabMissing, target));
    return false;
  }
  const std::string raText = target.substr(firstTab + 1, secondTab - firstTab - 1);
  const std::string decText = target.substr(secondTab + 1);
  float ra = 0, dec = 0;
  try {
    ra = static_cast<float>(util.HMS_Hours(raText));
    dec = static_cast<float>(util.DMS_Degrees(decText));
  } catch (const RunTimeError& e) {
    // One typo in the list must not end the night: the group is left out of this pass.
    messages.showMessage(quoted(kInvalidCoordinates, target) + ": " + e.what());
    return false;
  }
  targetName.assign(target, 0, firstTab);
  targetRA = ra;
  targetDec = dec;
  return true;
}

bool extractName(MessageSink& messages, const std::string& target, std::string& targetName) {
  const std::size_t firstTab = target.find(kTab);
  if (firstTab == std::string::npos) {
    messages.showMessage(quoted(kFirstTabMissing, target));
    return false;
  }
  targetName = target.substr(0, firstTab);
  return true;
}

std::optional<std::int16_t> parseRemainingValue(std::string_view value) {
  bool negative = false;
  if (!value.empty() && (value.front() == '+' || value.front() == '-')) {
    negative = value.front() == '-';
    value.remove_prefix(1);
  }
  if (value.empty()) return std::nullopt;
  std::int32_t magnitude = 0;
  for (const char c : value) {
    if (c < '0' || c > '9') return std::nullopt;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > 32768) return std::nullopt;  // past the range; also keeps the sum small
  }
  const std::int32_t signedValue = negative ? -magnitude : magnitude;
  if (signedValue > 32767) return std::nullopt;
  return static_cast<std::int16_t>(signedValue);
}

bool parseTargetConfig(MessageSink& messages, const std::string& targetConfig, std::int16_t& remaining) {
  DelimiterItems items;
  const bool readable = parseDelimiterLine(messages, targetConfig, items);
  remaining = items.remaining;
  return readable;
}

namespace {

// A condition's number: the whole text with a point, within lo..hi.
std::optional<double> numberWithin(std::string_view value, double lo, double hi) {
  const std::optional<double> v = parseStrictDecimal(value);
  if (!v || *v < lo || *v > hi) return std::nullopt;
  return v;
}

std::optional<double> instant(std::string_view value) {
  double unix = 0;
  if (value.empty() || !parseUtcInstant(std::string(value), unix)) return std::nullopt;
  return unix;
}

// Reads one condition item into `c`. False when its value cannot be read; nullopt when
// the name is none of the conditions.
std::optional<bool> readCondition(std::string_view name, std::string_view value, GroupConditions& c) {
  if (name == "moon") return static_cast<bool>(c.moonDistance = numberWithin(value, 0, 180));
  if (name == "moonwidth") return static_cast<bool>(c.moonWidthDays = numberWithin(value, 1, 14));
  if (name == "moonalt") return static_cast<bool>(c.moonAltitude = numberWithin(value, -90, 90));
  if (name == "after") return static_cast<bool>(c.afterUnix = instant(value));
  if (name == "before") return static_cast<bool>(c.beforeUnix = instant(value));
  if (name == "priority") {
    const std::optional<std::int16_t> p = parseRemainingValue(value);
    if (p) c.priority = *p;
    return p.has_value();
  }
  return std::nullopt;
}

}  // namespace

bool parseDelimiterLine(MessageSink& messages, const std::string& targetConfig, DelimiterItems& items) {
  items = DelimiterItems{};
  // The items begin after the four stars and the one character that follows them.
  std::size_t itemStart = kDelimiterMark.size() + 1;
  for (;;) {
    const std::size_t space = itemStart < targetConfig.size() ? targetConfig.find(' ', itemStart) : std::string::npos;
    std::string_view item;
    if (itemStart < targetConfig.size()) {
      item = std::string_view(targetConfig).substr(itemStart, space == std::string::npos ? std::string::npos : space - itemStart);
    }
    if (item.empty()) return true;

    const std::size_t equals = item.find('=');
    if (equals == std::string_view::npos) {
      messages.showMessage(std::string(kMalformedDelimiter));
      return true;
    }
    const std::string_view name = item.substr(0, equals);
    const std::string_view value = item.substr(equals + 1);
    if (name == "remaining") {
      const std::optional<std::int16_t> count = parseRemainingValue(value);
      if (!count) {
        items.remaining = 0;
        messages.showMessage(quoted(kInvalidRemaining, targetConfig));
        return false;
      }
      items.remaining = *count;
      items.remainingAt = itemStart + equals + 1;
      items.remainingLength = value.size();
    } else if (const std::optional<bool> read = readCondition(name, value, items.conditions)) {
      items.hasConditionItems = true;
      if (!*read) {
        // Passed over like a group whose count cannot be read: a limit the program
        // cannot know must not be taken as no limit.
        items.remaining = 0;
        messages.showMessage(quoted("Invalid " + std::string(name) + std::string(kInvalidValueMiddle), targetConfig));
        return false;
      }
    } else {
      messages.showMessage(quoted(kUnknownItem, name));
    }

    if (space == std::string::npos) return true;
    itemStart = space + 1;
  }
}

std::string rewrittenDelimiterLine(const std::string& line, const DelimiterItems& items, std::int16_t remaining) {
  if (!items.hasConditionItems) return delimiterLineFor(remaining);
  std::string out = line;
  const std::string count = std::to_string(remaining);
  if (items.remainingAt != std::string::npos) {
    out.replace(items.remainingAt, items.remainingLength, count);
  } else {
    out.insert(kDelimiterMark.size() + 1, "remaining=" + count + " ");
  }
  return out;
}

std::string delimiterLineFor(std::int16_t remaining) {
  std::string line(kDelimiterMark);
  line.append(" remaining=").append(std::to_string(remaining));
  return line;
}

std::string ListReader::ReadLine() {
  std::string line = in_->ReadLine();
  if (!first_) return line;
  first_ = false;
  if (line.rfind(kUtf8ByteOrderMark, 0) == 0) {
    byteOrderMark_ = true;
    line.erase(0, kUtf8ByteOrderMark.size());
  } else if (line.rfind("\xFF\xFE", 0) == 0 || (line.size() > 1 && line[0] != '\0' && line[1] == '\0')) {
    unreadableEncoding_ = "UTF-16 little-endian";
  } else if (line.rfind("\xFE\xFF", 0) == 0 || (line.size() > 1 && line[0] == '\0' && line[1] != '\0')) {
    unreadableEncoding_ = "UTF-16 big-endian";
  }
  return line;
}

std::string ListReader::unreadableEncodingMessage() const {
  return std::string(kUnreadableEncoding) + unreadableEncoding_ + " text; save it as ANSI or UTF-8 text";
}

GroupReader::LineKind GroupReader::feed(std::string line) {
  previous_ = std::exchange(current_, std::move(line));
  ++linesRead_;
  if (!isDelimiterLine(current_)) return LineKind::Other;
  if (linesRead_ == 1) return LineKind::DelimiterFirst;
  group_ = Group{nextStart_, linesRead_, &previous_, &current_};
  nextStart_ = linesRead_;
  return LineKind::GroupEnd;
}

}  // namespace np
