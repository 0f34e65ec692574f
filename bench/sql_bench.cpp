// The reader's statements through the SQL bridge on the large archive,
// against native SQLite running the same statements on a copy of the same
// data with the same indexes (made once, outside the timing). Every
// statement is run to its last row and every value is fetched.
#include <benchmark/benchmark.h>

#include "archive/statements.h"
#include "bench_archive.h"
#include "native_copy.h"
#include "sql/sql_connection.h"

namespace {

const std::string& jetFile() { return bench::largeArchive(); }
const std::string& nativeFile() { return bench::nativeLargeArchive(); }

std::string searchStatement(const std::string& s, const std::string& scope, const std::string& id = "") {
  std::string text;
  for (const std::string& line : archive::searchStatementLines(s, scope, id, id)) text += line + "\r\n";
  return text;
}

void runOnJet(benchmark::State& state, const std::string& statement) {
  sql::SqlConnection c(jetFile());
  size_t rows = 0;
  uint64_t read = c.rowsRead();
  for (auto _ : state) rows = c.execute(statement).rows.size();
  state.counters["rows"] = static_cast<double>(rows);
  state.counters["rows_read_per_run"] =
      static_cast<double>(c.rowsRead() - read) / static_cast<double>(std::max<int64_t>(state.iterations(), 1));
}

void runOnNative(benchmark::State& state, const std::string& statement) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(nativeFile().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  size_t rows = 0;
  for (auto _ : state) rows = sql::runStatement(db, statement).rows.size();
  state.counters["rows"] = static_cast<double>(rows);
  sqlite3_close(db);
}

const std::string kForum = archive::forumStatement("914");
const std::string kReplies = archive::repliesStatement("70001");

void BM_Forum914_Jet(benchmark::State& s) { runOnJet(s, kForum); }
void BM_Forum914_Native(benchmark::State& s) { runOnNative(s, kForum); }
void BM_Replies_Jet(benchmark::State& s) { runOnJet(s, kReplies); }
void BM_Replies_Native(benchmark::State& s) { runOnNative(s, kReplies); }
BENCHMARK(BM_Forum914_Jet)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Forum914_Native)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Replies_Jet)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Replies_Native)->Unit(benchmark::kMicrosecond);

// The search, for a word that is absent and a common one ("分号"), with no
// scope, category 1 and forum 914 (which is in category 1).
void BM_Search_Jet(benchmark::State& s, std::string statement) { runOnJet(s, statement); }
void BM_Search_Native(benchmark::State& s, std::string statement) { runOnNative(s, statement); }
#define OSTREL_SEARCH(name, word, scope, id)                                                            \
  BENCHMARK_CAPTURE(BM_Search_Jet, name, searchStatement(word, scope, id))->Unit(benchmark::kMillisecond)->Iterations(2); \
  BENCHMARK_CAPTURE(BM_Search_Native, name, searchStatement(word, scope, id))->Unit(benchmark::kMillisecond)->Iterations(2)
OSTREL_SEARCH(absent_all, "不存在的词", "", "");
OSTREL_SEARCH(absent_category, "不存在的词", "Category", "1");
OSTREL_SEARCH(absent_forum, "不存在的词", "Forum", "914");
OSTREL_SEARCH(common_all, "分号", "", "");
OSTREL_SEARCH(common_category, "分号", "Category", "1");
OSTREL_SEARCH(common_forum, "分号", "Forum", "914");

// Reading every topic's and reply's message text once: the floor of a scan.
void BM_ReadMessagesOnce_Jet(benchmark::State& s) {
  runOnJet(s, "select sum(length(T_MESSAGE)) from FORUM_TOPICS union all select sum(length(R_MESSAGE)) from FORUM_REPLY");
}
BENCHMARK(BM_ReadMessagesOnce_Jet)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
