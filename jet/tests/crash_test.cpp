// Crash safety: a transaction of a few hundred pages fails at its k-th page
// write (an error, or the process ending on the spot), for every k. The
// file then opens, passes the checker and holds exactly the content before
// or exactly the content after the transaction.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "jet/checker.h"
#include "jet/database.h"
#include "jet/dump.h"
#include "jet/error.h"
#include "test_support.h"

namespace jet {
namespace {

namespace fs = std::filesystem;

// Inserts replies with long messages (one LVAL page each) and deletes some.
void bigChange(Database& db) {
  const Table& t = db.table("FORUM_REPLY");
  const TableDef& def = t.def();
  db.begin();
  for (int i = 0; i < 110; ++i) {
    RowValues v(def.columns.size());
    v[static_cast<size_t>(def.columnByName("REPLY_ID") - def.columns.data())] = int64_t{7000 + i};
    v[static_cast<size_t>(def.columnByName("TOPIC_ID") - def.columns.data())] = int64_t{1001 + i % 40};
    v[static_cast<size_t>(def.columnByName("R_MESSAGE") - def.columns.data())] = std::string(3000, 'r') + std::to_string(i);
    db.insertRow(t, v);
  }
  std::vector<RowPointer> doomed;
  RowCursor c = t.scan();
  for (int k = 0; c.next(); ++k)
    if (k % 5 == 0) doomed.push_back(c.position());
  for (RowPointer r : doomed) db.deleteRow(t, r);
  db.commit();
}

std::string dumpOf(const fs::path& file) {
  Database db(file.string());
  CheckReport r = checkDatabase(db);
  EXPECT_TRUE(r.clean()) << (r.errors.empty() ? "" : r.errors.front());
  return dumpDatabase(db);
}

struct Baseline {
  std::string before, after;
  uint64_t writes = 0;
};

Baseline baseline(const test::ScratchDir& dir) {
  Baseline b;
  fs::path copy = dir.copy(test::smallArchive(), "baseline.mdb");
  b.before = dumpOf(copy);
  Database db(copy.string());
  bigChange(db);
  const CommitStats& s = db.pager().lastCommit();
  b.writes = s.pagesChanged + (s.journalBytes - 32) / (4 + kPageSize);
  b.after = dumpOf(copy);
  return b;
}

TEST(CrashSafety, AFailedWriteRollsBackAtOnce) {
  test::ScratchDir dir;
  Baseline b = baseline(dir);
  ASSERT_GT(b.writes, 200u);
  for (uint64_t k = 1; k <= b.writes; ++k) {
    SCOPED_TRACE("page write " + std::to_string(k));
    fs::path file = dir.copy(test::smallArchive(), "k.mdb");
    {
      Database db(file.string());
      PagerFault::arm(k, PagerFault::Action::Throw);
      EXPECT_THROW(bigChange(db), Error);
      PagerFault::disarm();
    }
    EXPECT_FALSE(fs::exists(file.string() + "-journal"));
    ASSERT_EQ(dumpOf(file), b.before);
  }
}

TEST(CrashSafety, AProcessEndedMidCommitLeavesBeforeOrAfter) {
  test::ScratchDir dir;
  Baseline b = baseline(dir);
  size_t before = 0, after = 0;
  for (uint64_t k = 1; k <= b.writes + 1; ++k) {
    SCOPED_TRACE("page write " + std::to_string(k));
    fs::path file = dir.copy(test::smallArchive(), "k.mdb");
    pid_t pid = fork();
    if (pid == 0) {
      try {
        Database db(file.string());
        PagerFault::arm(k, PagerFault::Action::ExitProcess);
        bigChange(db);
      } catch (...) {
        _exit(1);
      }
      _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), k <= b.writes ? 77 : 0);
    std::string now = dumpOf(file);  // opening rolls a leftover journal back
    EXPECT_FALSE(fs::exists(file.string() + "-journal"));
    if (now == b.before) ++before;
    else if (now == b.after) ++after;
    else ADD_FAILURE() << "content is neither before nor after";
  }
  EXPECT_EQ(before, b.writes);
  EXPECT_EQ(after, 1u);
}

}  // namespace
}  // namespace jet
