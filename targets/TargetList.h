#pragma once
// The target list (targets.txt): groups of plan lines, each closed by a delimiter line
// ("****" followed by items such as "remaining=3"); the line directly before a delimiter
// line is the group's target line, "name<TAB>RA<TAB>Dec". These routines take single
// lines apart and recognise groups while the list is read; they never write the list.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/Ui.h"
#include "base/FileSystem.h"
#include "host/HostInterfaces.h"

namespace np {

inline constexpr std::string_view kDelimiterMark = "****";
inline constexpr std::string_view kTargetListName = "targets.txt";
inline constexpr std::string_view kNewTargetListName = "newtargets.txt";

inline constexpr std::string_view kFirstTabMissing = "Parse error - First tab missing from target line '";
inline constexpr std::string_view kSecondTabMissing = "Parse error - Second tab missing from target line '";
inline constexpr std::string_view kMalformedDelimiter = "Malformed target delimiter line (missing '='?)";
inline constexpr std::string_view kUnknownItem = "Unknown target config item name: '";
inline constexpr std::string_view kInvalidRemaining = "Invalid remaining count in target delimiter line '";
// "Invalid <item> value in target delimiter line '<line>'": a condition item's value.
inline constexpr std::string_view kInvalidValueMiddle = " value in target delimiter line '";
inline constexpr std::string_view kDelimiterFirst = "Target delimiter invalid as first line";
inline constexpr std::string_view kInvalidCoordinates = "Invalid coordinates in target line '";
inline constexpr std::string_view kUnreadableEncoding = "Target list cannot be read: it is saved as ";
inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// What a delimiter line asks besides its count: each item optional, none by default.
struct GroupConditions {
  std::optional<double> moonDistance;   // moon=D: degrees from the Moon's centre while it is up
  std::optional<double> moonWidthDays;  // moonwidth=W (1..14): D at full Moon, D/2 W days from it
  std::optional<double> moonAltitude;   // moonalt=A: eligible only while the Moon is below A degrees
  std::optional<double> afterUnix;      // after=T: eligible from T on (UTC, seconds since 1970)
  std::optional<double> beforeUnix;     // before=T: eligible until T
  std::int16_t priority = 0;            // priority=P: the highest wins among the eligible groups

  bool asksMoon() const { return moonDistance || moonAltitude; }
};

// Everything a delimiter line says, and where its count is written (for the rewrite).
struct DelimiterItems {
  std::int16_t remaining = 0;
  GroupConditions conditions;
  bool hasConditionItems = false;  // any of moon, moonwidth, moonalt, after, before, priority
  // The value text of the `remaining` item that counts: its offset and length in the line
  // (offset npos when the line names no count).
  std::size_t remainingAt = std::string::npos, remainingLength = 0;
};

// A line whose first four characters are "****" (a shorter line never is one).
bool isDelimiterLine(std::string_view line);

// The delimiter line the plan writer writes back for a group with `remaining` runs left.
std::string delimiterLineFor(std::int16_t remaining);

// Splits a target line into its name, right ascension (hours, through util.HMS_Hours)
// and declination (degrees, through util.DMS_Degrees). A line without two tabs, or with
// an angle text the host cannot read, is reported (quoting the line and, for an angle,
// the host's cause) and false returned; the outputs are then left exactly as they were.
bool parseTarget(IUtil& util, MessageSink& messages, const std::string& target, std::string& targetName,
                 float& targetRA, float& targetDec);

// The name of a target line (the text before the first tab). A line without a tab is
// reported and false returned; targetName is then left as it was.
bool extractName(MessageSink& messages, const std::string& target, std::string& targetName);

// A `remaining` value as a signed 16-bit count: an optional sign and decimal digits,
// nothing else. nullopt for anything else or outside -32768..32767.
std::optional<std::int16_t> parseRemainingValue(std::string_view value);

// Reads the items of a delimiter line into `remaining` (0 when the line names no count;
// the last `remaining` item counts). Faulty items are reported as they are met. A
// `remaining` value that is not a whole number in the 16-bit range is reported quoting
// the line, leaves `remaining` at 0, ends the reading of the line and gives false; the
// result is true otherwise.
bool parseTargetConfig(MessageSink& messages, const std::string& targetConfig, std::int16_t& remaining);

// The same reading with every item: besides `remaining`, the conditions moon, moonwidth,
// moonalt, after, before and priority, their numbers read with a point in every locale and
// the times as ISO 8601 UTC. A value that cannot be read or lies outside its range is
// reported ("Invalid <item> value in target delimiter line '<line>'") as an unreadable
// count is: the count is 0, so the group is passed over, the reading ends, false results.
bool parseDelimiterLine(MessageSink& messages, const std::string& targetConfig, DelimiterItems& items);

// The delimiter line written back with the count `remaining`. A line of the plain form
// (no condition item) becomes delimiterLineFor(remaining), as it always has; a line with
// conditions keeps every character but the count's value, which is replaced where it
// stands (and put first when the line named none).
std::string rewrittenDelimiterLine(const std::string& line, const DelimiterItems& items, std::int16_t remaining);

// The target list read line by line, as the selection and the plan writer read it. A
// UTF-8 byte-order mark at the start is taken off the first line (it is no part of the
// first group's text; the rewrite puts it back). A list saved as UTF-16 text, which the
// program cannot read, is recognised at its first line.
class ListReader {
 public:
  explicit ListReader(std::unique_ptr<TextReader> in) : in_(std::move(in)) {}
  bool AtEndOfStream() { return in_->AtEndOfStream(); }
  std::string ReadLine();
  void Close() { in_->Close(); }

  // After the first line: whether the list began with a UTF-8 byte-order mark.
  bool byteOrderMark() const { return byteOrderMark_; }
  // After the first line: the name of the encoding the list is saved in when the program
  // cannot read it ("UTF-16 little-endian"), else empty.
  const std::string& unreadableEncoding() const { return unreadableEncoding_; }
  // The message that reports an unreadable encoding.
  std::string unreadableEncodingMessage() const;

 private:
  std::unique_ptr<TextReader> in_;
  bool first_ = true;
  bool byteOrderMark_ = false;
  std::string unreadableEncoding_;
};

// The group rules applied while the list is read from the top, one line at a time.
class GroupReader {
 public:
  enum class LineKind {
    Other,           // no delimiter line
    GroupEnd,        // a delimiter line that closes a group (see group())
    DelimiterFirst,  // a delimiter line as line 1: the list is unusable for this pass
  };

  struct Group {
    std::int64_t start = 0;               // lines before the group's first line
    std::int64_t delimiterLineNumber = 0; // counted from 1
    const std::string* targetLine = nullptr;
    const std::string* delimiterLine = nullptr;
  };

  // Takes the next line of the list.
  LineKind feed(std::string line);

  // The group that the last GroupEnd line closed. Valid until the next feed.
  const Group& group() const { return group_; }
  std::int64_t linesRead() const { return linesRead_; }

 private:
  std::string previous_, current_;
  std::int64_t linesRead_ = 0;
  std::int64_t nextStart_ = 0;
  Group group_;
};

}  // namespace np
