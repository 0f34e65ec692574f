// Crash safety: a transaction of a few hundred pages fails at its k-th page
// write (an error, or the process ending on the spot), for every k. The
// file then opens, passes the checker and holds exactly the content before
// or exactly the content after the transaction. Each runs twice: with the
// changed pages in memory, and with all but a few in the scratch file.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

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
  test::expectSound(copy);  // every crashed copy equals this one or the fixture
  return b;
}

class CrashSafety : public testing::TestWithParam<size_t> {
  test::SmallPageMemory memory_{GetParam()};
};

TEST_P(CrashSafety, AFailedWriteRollsBackAtOnce) {
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

TEST_P(CrashSafety, AProcessEndedMidCommitLeavesBeforeOrAfter) {
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

INSTANTIATE_TEST_SUITE_P(HeapPages, CrashSafety, testing::Values(PagerMemory::kDefaultHeapPages, size_t{8}));

// Runs bigChange on a copy of the small archive in a child process whose
// files may not grow past `limit` bytes (a file size limit stands in for a
// full disk). The change must fail with an error containing `message`, and
// the file must read as before with no journal left.
void expectChangeFailsUnderSizeLimit(const fs::path& file, rlim_t limit, size_t heapPages, const std::string& message) {
  const std::string before = dumpOf(file);
  pid_t pid = fork();
  if (pid == 0) {
    test::SmallPageMemory memory(heapPages);
    signal(SIGXFSZ, SIG_IGN);
    rlimit r{limit, limit};
    setrlimit(RLIMIT_FSIZE, &r);
    try {
      Database db(file.string());
      bigChange(db);
    } catch (const Error& e) {
      _exit(std::string(e.what()).find(message) != std::string::npos ? 3 : 2);
    }
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3);
  EXPECT_FALSE(fs::exists(file.string() + "-journal"));
  EXPECT_EQ(dumpOf(file), before);
}

// Room for the scratch file runs out: the change fails with a clear error.
TEST(ScratchSpace, AFullDiskFailsTheChangeAndKeepsTheFile) {
  test::ScratchDir dir;
  fs::path file = dir.copy(test::smallArchive(), "full.mdb");
  expectChangeFailsUnderSizeLimit(file, 8 << 20, 8, "no room for the change");  // under the scratch file's first 16 MB
}

// The file itself cannot grow (a limit just above its length): the commit's
// write fails with an error naming the file, and the journal puts back what
// was written.
TEST(ScratchSpace, AFileThatCannotGrowFailsTheCommitAndKeepsTheFile) {
  test::ScratchDir dir;
  fs::path file = dir.copy(test::smallArchive(), "nogrow.mdb");
  expectChangeFailsUnderSizeLimit(file, static_cast<rlim_t>(fs::file_size(file) + 8 * kPageSize),
                                  PagerMemory::kDefaultHeapPages, file.filename().string());
}

}  // namespace
}  // namespace jet
