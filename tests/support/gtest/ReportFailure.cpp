// The test world's failures, for GoogleTest executables.
#include <gtest/gtest.h>

#include "support/ReportFailure.h"

namespace np::test {

void reportTestFailure(const std::string& what) { ADD_FAILURE() << what; }

}  // namespace np::test
