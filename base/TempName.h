#pragma once
// Names for the temporary file that is written beside a file and then put in its place.
#include <string>

namespace np {

// `path` followed by a tag of this process and of this call, and ".tmp": no two writers,
// in this process or in another copy of the program, ever share one.
std::string tempNameBeside(const std::string& path);

}  // namespace np
