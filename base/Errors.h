#pragma once
#include <stdexcept>
#include <string>

namespace np {

// A run-time failure: a failing host or ephemeris member, a file that cannot be opened,
// an arithmetic overflow. It ends the routine that met it and passes to the caller;
// an event handler that lets one escape reports it and the program ends.
class RunTimeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace np
