#pragma once
// A failure that a shared helper finds, reported to the running test's framework. Each
// kind of test executable links its own definition: tests/support/gtest/ for GoogleTest,
// tests/support/qt/ for Qt Test.
#include <string>

namespace np::test {

// Marks the running test failed, naming `what`; the test goes on.
void reportTestFailure(const std::string& what);

}  // namespace np::test
