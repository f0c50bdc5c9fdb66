#include "targets/fleet/ListFile.h"

#include <memory>
#include <stdexcept>
#include <utility>

#include "base/Errors.h"
#include "targets/TargetList.h"

namespace np::fleet {

namespace {

// The lines already split, for the program's own list reader.
class LinesReader : public TextReader {
 public:
  explicit LinesReader(const std::vector<ListLine>& lines) : lines_(lines) {}
  bool AtEndOfStream() override { return next_ >= lines_.size(); }
  std::string ReadLine() override {
    if (next_ >= lines_.size()) throw RunTimeError("Input past end of file");
    return lines_[next_++].text;
  }
  void Close() override {}

 private:
  const std::vector<ListLine>& lines_;
  std::size_t next_ = 0;
};

// Problems in the list are the loop's to report when it reads the list; taking it apart
// keeps every line as it is.
class QuietSink : public MessageSink {
 public:
  void showMessage(const std::string&) override {}
};

std::vector<ListLine> splitLines(std::string_view bytes) {
  std::vector<ListLine> lines;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const std::size_t end = bytes.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) {
      lines.push_back({std::string(bytes.substr(pos)), LineEnd::None});
      break;
    }
    ListLine line{std::string(bytes.substr(pos, end - pos)), LineEnd::LF};
    if (bytes[end] == '\n') {
      pos = end + 1;
    } else if (end + 1 < bytes.size() && bytes[end + 1] == '\n') {
      line.end = LineEnd::CRLF;
      pos = end + 2;
    } else {
      line.end = LineEnd::CR;
      pos = end + 1;
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace

std::string_view lineEndName(LineEnd end) {
  switch (end) {
    case LineEnd::LF: return "LF";
    case LineEnd::CRLF: return "CRLF";
    case LineEnd::CR: return "CR";
    case LineEnd::None: break;
  }
  return "";
}

std::optional<LineEnd> lineEndFromName(std::string_view name) {
  for (const LineEnd end : {LineEnd::None, LineEnd::LF, LineEnd::CRLF, LineEnd::CR})
    if (lineEndName(end) == name) return end;
  return std::nullopt;
}

std::string_view lineEndBytes(LineEnd end) {
  switch (end) {
    case LineEnd::LF: return "\n";
    case LineEnd::CRLF: return "\r\n";
    case LineEnd::CR: return "\r";
    case LineEnd::None: break;
  }
  return "";
}

ListFile parseListFile(std::string_view bytes) {
  ListFile list;
  list.lines = splitLines(bytes);
  // The program's own reader decides about the byte-order mark and the encodings it
  // cannot read; the lines keep their text without the mark.
  ListReader reader(std::make_unique<LinesReader>(list.lines));
  GroupReader groups;
  QuietSink quiet;
  for (std::size_t i = 0; !reader.AtEndOfStream(); ++i) {
    std::string line = reader.ReadLine();
    if (i == 0) {
      if (!reader.unreadableEncoding().empty()) throw std::runtime_error(reader.unreadableEncodingMessage());
      list.byteOrderMark = reader.byteOrderMark();
      list.lines[0].text = line;
    }
    if (groups.feed(std::move(line)) != GroupReader::LineKind::GroupEnd) continue;
    const GroupReader::Group& found = groups.group();
    ListGroup group;
    group.start = found.start;
    group.delimiterLine = found.delimiterLineNumber;
    const std::string& target = *found.targetLine;
    group.name = target.substr(0, target.find('\t'));
    std::int16_t remaining = 0;
    if (parseTargetConfig(quiet, *found.delimiterLine, remaining)) group.remaining = remaining;
    list.groups.push_back(std::move(group));
  }
  return list;
}

std::string listFileBytes(const ListFile& list) {
  std::string bytes;
  if (list.byteOrderMark) bytes += kUtf8ByteOrderMark;
  for (const ListLine& line : list.lines) {
    bytes += line.text;
    bytes += lineEndBytes(line.end);
  }
  return bytes;
}

}  // namespace np::fleet
