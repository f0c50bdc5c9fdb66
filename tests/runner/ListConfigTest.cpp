// The [list] keys of observatory.ini: where a fleet member's shared list is kept.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "app/runner/ListConfig.h"
#include "base/Errors.h"
#include "support/TestText.h"

namespace np {
namespace {

using test::errorOf;

ListConfig listOf(const std::string& ini) { return readListConfig(parseObservatoryConfig(ini, "o.ini"), "o.ini"); }

TEST(ListConfig, ADatabaseAndASiteMakeAFleetMemberNeitherKeepsTheFile) {
  EXPECT_TRUE(listOf("[site]\nlatitude = 10\n").database.empty());
  const ListConfig fleet = listOf("[list]\ndatabase = host=/run/postgresql dbname=fleet\nsite = north pier\n");
  EXPECT_EQ(fleet.database, "host=/run/postgresql dbname=fleet");
  EXPECT_EQ(fleet.site, "north pier");
}

TEST(ListConfig, RefusesAHalfOrMisspeltSection) {
  EXPECT_EQ(errorOf([] { listOf("[list]\ndatabase = dbname=fleet\n"); }),
            "o.ini line 2: key 'list.database' needs 'list.site', this observatory's name in the shared list");
  EXPECT_EQ(errorOf([] { listOf("[list]\n\nsite = north\n"); }),
            "o.ini line 3: key 'list.site' needs 'list.database', where the shared list is kept");
  EXPECT_EQ(errorOf([] { listOf("[list]\ndatabase =\nsite = north\n"); }),
            "o.ini line 2: key 'list.database': a libpq connection string is needed");
  EXPECT_EQ(errorOf([] { listOf("[list]\ndatabse = dbname=fleet\n"); }), "o.ini line 2: unknown key 'list.databse'");
}

}  // namespace
}  // namespace np
