// Merging the fixture packages into copies of the small archive: the
// expected dumps, the progress values, failures that leave a table whole,
// a leftover link, and a process killed at every page write of an import.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "archive/archive_location.h"
#include "archive/query.h"
#include "import/merge.h"
#include "import/unpack.h"
#include "jet/checker.h"
#include "jet/database.h"
#include "jet/dump.h"
#include "jet/pager.h"
#include "jet/tests/test_support.h"

namespace import {
namespace {

namespace fs = std::filesystem;

const fs::path kPackages = fs::path(OSTREL_TEST_DATA) / "fixtures/packages";
const fs::path kSmall = fs::path(OSTREL_TEST_DATA) / "fixtures/small/ostrel.mdb";

std::string readAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string dumpOf(const fs::path& file) {
  jet::Database db(file.string(), jet::Database::Mode::ReadOnly);
  return jet::dumpDatabase(db);
}

// An archive copy and a package copy in one folder, and the import run on them.
struct Import {
  jet::test::ScratchDir dir;
  fs::path archivePath = dir.copy(kSmall, "ostrel.mdb");
  std::vector<int> progress;
  std::string error;

  void run(const std::string& packageName) {
    fs::path package = dir.copy(kPackages / packageName);
    try {
      unpackPackage(package.string(), archivePath.string());
      const std::string text = archive::connectionText(archivePath.string());
      archive::Connection c;
      c.SetConnectionString(text);
      c.Open();
      mergePackage(c, text, targetPathFor(package.string()), [&](int v) { progress.push_back(v); });
    } catch (const std::exception& e) {
      error = e.what();
    }
  }
};

TEST(Merge, EachPackageGivesItsExpectedArchive) {
  struct Case {
    const char* package;
    const char* expected;
    std::vector<int> progress;
    const char* errorMentions;  // nullptr: succeeds
  } cases[] = {
      {"update.opk", "after-update.dump", {20, 30, 40, 50, 70, 100}, nullptr},
      {"UPPER.OPK", "after-update.dump", {20, 30, 40, 50, 70, 100}, nullptr},
      {"no-forum.opk", "after-no-forum.dump", {20, 30, 40}, "FORUM_FORUM"},
      {"mismatch-extra.opk", "after-mismatch.dump", {20, 30, 40, 50}, "T_EXTRA"},
  };
  for (const Case& c : cases) {
    Import im;
    im.run(c.package);
    if (c.errorMentions)
      EXPECT_NE(im.error.find(c.errorMentions), std::string::npos) << c.package << ": " << im.error;
    else
      EXPECT_EQ(im.error, "") << c.package;
    EXPECT_EQ(im.progress, c.progress) << c.package;
    EXPECT_EQ(dumpOf(im.archivePath), readAll(kPackages / "expected" / c.expected)) << c.package;
    jet::test::expectSound(im.archivePath);
  }
}

TEST(Merge, TheSamePackageTwiceAndColumnsPairedByName) {
  Import twice;
  twice.run("update.opk");
  twice.run("update.opk");
  EXPECT_EQ(twice.error, "");
  EXPECT_EQ(dumpOf(twice.archivePath), readAll(kPackages / "expected/after-update.dump"));

  Import byName;  // the package's topics lack T_GOOD: it is null in the merged rows
  byName.run("mismatch.opk");
  EXPECT_EQ(byName.error, "");
  archive::Connection c;
  c.SetConnectionString(archive::connectionText(byName.archivePath.string()));
  c.Open();
  archive::Query q(&c);
  q.SQL().SetText("select TOPIC_ID, T_GOOD from FORUM_TOPICS where TOPIC_ID in (1002, 1045) order by TOPIC_ID");
  q.Open();
  ASSERT_EQ(q.RecordCount(), 2);
  for (q.First(); !q.Eof(); q.Next()) EXPECT_TRUE(q.FieldByName("T_GOOD").IsNull());
  q.Close();
  q.SQL().SetText("select count(*) as n from FORUM_FORUM where FORUM_ID = 960");
  q.Open();
  EXPECT_EQ(q.FieldByName("n").AsString(), "1");
  c.Close();
  jet::test::expectSound(byName.archivePath);
}

TEST(Merge, ALeftoverLinkIsDroppedAndTheMergeGoesOn) {
  Import im;
  fs::path other = im.dir.copy(kSmall, "other.mdb");
  archive::CreateLink(archive::connectionText(im.archivePath.string()), "link", other.string(), "FORUM_MEMBERS");
  im.run("update.opk");
  EXPECT_EQ(im.error, "");
  EXPECT_EQ(dumpOf(im.archivePath), readAll(kPackages / "expected/after-update.dump"));
}

// A child process ends itself at the k-th page write of an import, for
// every k; the archive then opens (rolling back), passes the checker, and
// equals the archive before the import or after some whole tables.
TEST(Merge, AProcessKilledAnywhereLeavesWholeTables) {
  jet::test::ScratchDir dir;
  fs::path package = dir.copy(kPackages / "update.opk");
  fs::path database = dir.path() / "update.mdb";
  unpackPackage(package.string(), (dir.path() / "unused.mdb").string());

  // The archive before, and after each table, from an import that runs through.
  std::set<std::string> allowed;
  fs::path clean = dir.copy(kSmall, "clean.mdb");
  allowed.insert(dumpOf(clean));
  {
    const std::string text = archive::connectionText(clean.string());
    archive::Connection c;
    c.SetConnectionString(text);
    c.Open();
    mergePackage(c, text, database.string(), [&](int) { allowed.insert(dumpOf(clean)); });
  }
  ASSERT_EQ(allowed.size(), 6u);

  bool finished = false;
  int killed = 0;
  for (uint64_t k = 1; !finished && k < 5000; ++k) {
    fs::path archivePath = dir.path() / "ostrel.mdb";
    fs::remove(archivePath);
    fs::remove(archivePath.string() + "-journal");
    fs::copy_file(kSmall, archivePath);
    fs::permissions(archivePath, fs::perms::owner_write, fs::perm_options::add);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      jet::PagerFault::arm(k, jet::PagerFault::Action::ExitProcess);
      try {
        const std::string text = archive::connectionText(archivePath.string());
        archive::Connection c;
        c.SetConnectionString(text);
        c.Open();
        mergePackage(c, text, database.string(), [](int) {});
      } catch (...) {
        ::_exit(3);
      }
      ::_exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    int code = WEXITSTATUS(status);
    ASSERT_TRUE(code == 0 || code == 77) << "k " << k << " exit " << code;
    finished = code == 0;
    killed += code == 77;
    {
      jet::Database reopened(archivePath.string());  // rolls a leftover journal back
    }
    EXPECT_FALSE(fs::exists(archivePath.string() + "-journal")) << "k " << k;
    jet::Database db(archivePath.string(), jet::Database::Mode::ReadOnly);
    EXPECT_TRUE(jet::checkDatabase(db).errors.empty()) << "k " << k;
    EXPECT_TRUE(allowed.count(jet::dumpDatabase(db))) << "k " << k << ": not the archive before or after whole tables";
  }
  EXPECT_TRUE(finished);
  EXPECT_GT(killed, 20);
}

}  // namespace
}  // namespace import
