#pragma once
// A target list taken apart so that it can be put back together byte for byte: every line
// with its own line end (CR LF, LF, a lone CR, or none on a last line), whether the list
// began with a UTF-8 byte-order mark, and the groups the program finds in it, each with
// its count. The fleet's database holds a list in this form.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace np::fleet {

enum class LineEnd { None, LF, CRLF, CR };

// The names the database keeps a line end under ("", "LF", "CRLF", "CR"), and back.
std::string_view lineEndName(LineEnd end);
std::optional<LineEnd> lineEndFromName(std::string_view name);
std::string_view lineEndBytes(LineEnd end);

struct ListLine {
  std::string text;  // without its line end (and, for the first line, without a byte-order mark)
  LineEnd end = LineEnd::None;
};

struct ListGroup {
  std::int64_t start = 0;          // lines before the group's first line
  std::int64_t delimiterLine = 0;  // the line number (from 1) of the delimiter line that closes it
  std::string name;                // the target line's text before its first tab (the whole line without one)
  // The count as the program reads it from the delimiter line (0 when the line names
  // none); nothing when the line's count cannot be read, which the program never lowers.
  std::optional<std::int16_t> remaining;
};

struct ListFile {
  bool byteOrderMark = false;
  std::vector<ListLine> lines;
  std::vector<ListGroup> groups;
};

// Takes a list's bytes apart. A list saved as UTF-16 text, which the program cannot read,
// is refused with the program's own message (std::runtime_error).
ListFile parseListFile(std::string_view bytes);

// The bytes of the list: its lines with their own line ends, the byte-order mark first
// when it had one.
std::string listFileBytes(const ListFile& list);

}  // namespace np::fleet
