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

// The search statement of the reader (the search issue builds it).
std::string searchStatement(const std::string& s, const std::string& scopeLine) {
  return "select CAT_ID,FORUM_ID,TOPIC_ID,T_SUBJECT," + std::string(12, ' ') +
         "T_MESSAGE,M_Name,T_AUTHOR,T_REPLIES,T_VIEW_COUNT,T_LAST_POST,T_DATE," + std::string(12, ' ') +
         "T_LAST_POST_AUTHOR,T_GOOD from FORUM_TOPICS,FORUM_MEMBERS where \r\n" +
         " (FORUM_TOPICS.T_AUTHOR=FORUM_MEMBERS.MEMBER_ID) And (\r\n" + " T_SUBJECT LIKE '%" + s + "%' OR" +
         std::string(13, ' ') + "T_MESSAGE LIKE '%" + s + "%' OR \r\n" + " TOPIC_ID IN (SELECT TOPIC_ID FROM FORUM_REPLY" +
         std::string(13, ' ') + "WHERE R_MESSAGE LIKE '%" + s + "%')) \r\n" + scopeLine +
         "order by TOPIC_ID desc\r\n";
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
const std::string kSearchAbsent = searchStatement("不存在的词", "");
const std::string kSearchCommon = searchStatement("分号", "");

void BM_Forum914_Jet(benchmark::State& s) { runOnJet(s, kForum); }
void BM_Forum914_Native(benchmark::State& s) { runOnNative(s, kForum); }
void BM_Replies_Jet(benchmark::State& s) { runOnJet(s, kReplies); }
void BM_Replies_Native(benchmark::State& s) { runOnNative(s, kReplies); }
void BM_SearchAbsent_Jet(benchmark::State& s) { runOnJet(s, kSearchAbsent); }
void BM_SearchAbsent_Native(benchmark::State& s) { runOnNative(s, kSearchAbsent); }
void BM_SearchCommon_Jet(benchmark::State& s) { runOnJet(s, kSearchCommon); }
void BM_SearchCommon_Native(benchmark::State& s) { runOnNative(s, kSearchCommon); }

BENCHMARK(BM_Forum914_Jet)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Forum914_Native)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Replies_Jet)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Replies_Native)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SearchAbsent_Jet)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_SearchAbsent_Native)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_SearchCommon_Jet)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_SearchCommon_Native)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
