// The builder remakes the small archive from its content: the same dump as
// the fixture's, and a file the checker and mdb-export accept.
#include <gtest/gtest.h>

#include "jet/database.h"
#include "jet/dump.h"
#include "jet/tests/test_support.h"
#include "tools/builder/content_builder.h"

namespace builder {
namespace {

namespace fs = std::filesystem;

TEST(ContentBuilder, RemakesTheSmallArchive) {
  jet::test::ScratchDir dir;
  fs::path small = jet::test::sharedDir() / "fixtures/small";
  std::vector<uint8_t> content = jet::test::readFile(small / "content.json");
  fs::path out = dir.path() / "built.mdb";
  buildDatabase(std::string(content.begin(), content.end()), out.string());
  std::vector<uint8_t> expected = jet::test::readFile(small / "ostrel.dump");
  EXPECT_EQ(jet::dumpDatabase(jet::Database(out.string(), jet::Database::Mode::ReadOnly)),
            std::string(expected.begin(), expected.end()));
  jet::test::expectSound(out);
}

TEST(ContentBuilder, EveryPackageContentBuildsASoundDatabase) {
  jet::test::ScratchDir dir;
  for (const char* name : {"update", "no-forum", "mismatch", "mismatch-extra"}) {
    SCOPED_TRACE(name);
    std::vector<uint8_t> content =
        jet::test::readFile(jet::test::sharedDir() / "fixtures/packages" / (std::string(name) + ".json"));
    fs::path out = dir.path() / (std::string(name) + ".mdb");
    buildDatabase(std::string(content.begin(), content.end()), out.string());
    jet::test::expectSound(out);
  }
}

TEST(ContentBuilder, TheDemoArchiveIsSound) {
  jet::test::ScratchDir dir;
  std::vector<uint8_t> content = jet::test::readFile(fs::path(OSTREL_SOURCE_DIR) / "demo/content.json");
  fs::path out = dir.path() / "demo.mdb";
  buildDatabase(std::string(content.begin(), content.end()), out.string());
  jet::test::expectSound(out);
}

}  // namespace
}  // namespace builder
