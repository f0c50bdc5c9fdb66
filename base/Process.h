#pragma once
// Other programs the observatory runs (the autofocus command): started, waited for a
// bounded time, and ended when they overrun.
#include <string>
#include <vector>

namespace np {

// Runs the program args[0] (looked up on the PATH when it has no folder) with the other
// arguments as they are, and waits at most `timeoutSeconds` for it to end. Returns its
// exit status, or -1 when it did not end of itself; `why` says how it failed and is left
// empty when it exited:
//   "cannot start it: <cause>"  it could not be started (no such program, no memory...);
//   "ended by signal <N>"       a signal ended it (POSIX);
//   "ended after <X> s"         it ran out of time and was killed, with every process it
//                               started (its process group on POSIX, its job on Windows);
//   "cannot wait for it: <cause>"  it was lost from sight and was killed as above.
// `environment` holds "NAME=value" entries that the program sees beside (or in place of)
// this program's own variables of those names.
int runCommand(const std::vector<std::string>& args, double timeoutSeconds, std::string& why,
               const std::vector<std::string>& environment = {});

}  // namespace np
