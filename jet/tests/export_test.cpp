// Our CSV export against mdbtools' mdb-export, and our dump against the
// fixtures' dumps: every table of every sample and fixture database.
#include <gtest/gtest.h>

#include <algorithm>

#include "jet/csv_export.h"
#include "jet/database.h"
#include "jet/dump.h"
#include "test_support.h"

namespace jet {
namespace {

namespace fs = std::filesystem;
using test::allDatabases;

class EveryDatabase : public ::testing::TestWithParam<fs::path> {};

TEST_P(EveryDatabase, ExportsWhatMdbExportPrints) {
  Database db(GetParam().string());
  for (const std::string& name : db.userTableNames()) {
    SCOPED_TRACE(name);
    std::vector<test::Record> ours = test::parseCsv(exportCsv(db.table(name)));
    std::vector<test::Record> theirs = test::parseCsv(test::mdbExport(GetParam(), name));
    ASSERT_EQ(ours.size(), theirs.size());
    // mdbtools reads an overflow row where its moved bytes lie, we read it
    // where the row stands (as Access does), so the order may differ.
    if (GetParam().filename() == "overflowTestV2000.mdb") {
      test::sortRecords(ours);
      test::sortRecords(theirs);
    }
    for (size_t r = 0; r < ours.size(); ++r) {
      ASSERT_EQ(ours[r].size(), theirs[r].size()) << "row " << r;
      for (size_t c = 0; c < ours[r].size(); ++c) {
        // Known mdbtools faults are accepted here; the fixtures' dumps (below)
        // hold those values exactly.
        EXPECT_TRUE(test::sameAsMdbToolsShowsIt(ours[r][c], theirs[r][c]))
            << "row " << r << " column " << c << ": " << ours[r][c].text << " / " << theirs[r][c].text;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Jet, EveryDatabase, ::testing::ValuesIn(allDatabases()),
                         [](const auto& param) {
                           std::string n = param.param.stem().string();
                           std::replace_if(n.begin(), n.end(), [](char ch) { return !isalnum(static_cast<unsigned char>(ch)); }, '_');
                           return n;
                         });

TEST(Dump, EqualsTheFixtureDump) {
  fs::path dir = test::sharedDir() / "fixtures/small";
  Database db((dir / "ostrel.mdb").string());
  std::vector<uint8_t> expected = test::readFile(dir / "ostrel.dump");
  EXPECT_EQ(dumpDatabase(db), std::string(expected.begin(), expected.end()));
}

TEST(Dump, ShowsValuesOfEveryTypeInTheDumpNotation) {
  Database db((test::sharedDir() / "jet4/samples/testV2000.mdb").string());
  std::string dump = dumpDatabase(db);
  EXPECT_NE(dump.find("abcdefg\thijklmnop\t2\t222\t333333333\t444.555\t1974-09-21T00:00:00\t3.5000\ttrue\n"),
            std::string::npos);
  EXPECT_NE(dump.find("COLUMN data GUID AUTONUMBER\n"), std::string::npos);
  EXPECT_NE(dump.find("COLUMN a LONG AUTONUMBER\n"), std::string::npos);
}

}  // namespace
}  // namespace jet
