#pragma once
// The INDI client library writes its own chatter to the process's standard error: a line
// at every connection, protocol errors, whole XML elements after a driver restarts. A
// service's standard error is its journal, where the operator reads Nightpick's status
// lines and messages; the chatter goes to a file of its own instead.
#include <string>

namespace np::indi {

inline constexpr const char* kLibraryLogName = "indiclient.log";

// From now on, what is written to the process's standard error (file descriptor 2: the
// library, and anything else that writes there directly) is appended to the file at
// `path`, while std::cerr keeps writing where standard error went before. Once per
// process; when the file cannot be opened nothing changes and false is returned.
bool divertLibraryOutput(const std::string& path);

}  // namespace np::indi
