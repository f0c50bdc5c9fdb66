// The test world's failures, for Qt Test executables.
#include <QtTest/QtTest>

#include "support/ReportFailure.h"

namespace np::test {

void reportTestFailure(const std::string& what) { QTest::qFail(what.c_str(), __FILE__, __LINE__); }

}  // namespace np::test
