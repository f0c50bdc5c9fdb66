#include "targets/ListStore.h"

#include "base/Errors.h"

namespace np {

std::string TextLines::ReadLine() {
  if (AtEndOfStream()) throw RunTimeError("Input past end of file: the target list");
  const std::size_t stop = text_.find_first_of("\r\n", next_);
  if (stop == std::string::npos) {
    std::string line = text_.substr(next_);
    next_ = text_.size();
    return line;
  }
  std::string line = text_.substr(next_, stop - next_);
  next_ = stop + 1;
  if (text_[stop] == '\r' && next_ < text_.size() && text_[next_] == '\n') ++next_;
  return line;
}

}  // namespace np
