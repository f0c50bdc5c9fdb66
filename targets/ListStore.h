#pragma once
// Where the observing loop finds the target list when it is not the program folder's
// targets.txt: a store that several observatories share. Each pass reads the list as the
// store holds it then, and the chosen group's run is taken in the store in one step,
// which refuses when no run is left (another observatory took the last one meanwhile).
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "base/FileSystem.h"

namespace np {

// The store cannot be reached; the message names the cause. Nothing was taken.
class ListStoreUnavailable : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ListStore {
 public:
  virtual ~ListStore() = default;
  // The whole list as it stands now, its bytes as targets.txt would hold them.
  virtual std::string listText() = 0;
  // One run of the group closed by the delimiter line `delimiterLine` (counted from 1),
  // recorded with its plan's text at `unixTime` (UTC seconds). The count written back, or
  // nothing when the group had no run left.
  virtual std::optional<std::int16_t> takeRun(std::int64_t delimiterLine, std::int64_t unixTime,
                                              const std::string& plan) = 0;
};

// Reads a list's bytes line by line as a list file is read: a line ends at LF, CR LF or a
// lone CR, and the last line may have no end.
class TextLines : public TextReader {
 public:
  explicit TextLines(std::string text) : text_(std::move(text)) {}
  bool AtEndOfStream() override { return next_ >= text_.size(); }
  std::string ReadLine() override;
  void Close() override {}

 private:
  std::string text_;
  std::size_t next_ = 0;
};

}  // namespace np
