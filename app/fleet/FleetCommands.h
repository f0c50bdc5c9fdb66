#pragma once
// nightpick-fleet's commands: the fleet's shared target list in its database, set up,
// filled from a targets.txt, given back as one, and looked at.
#include <ostream>

namespace np::fleet {

// Runs the command line (argv[0] is the program's name); what it prints goes to `out`,
// errors to `err`. The exit status: 0 done, 1 a failure (named on `err`), CLI11's own
// for a command line it cannot read.
int runFleetCommand(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace np::fleet
