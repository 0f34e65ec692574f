// Writing on the large archive, against native SQLite doing the same on
// the converted copy (made once, outside the timing), in one run:
// - INSERT … SELECT of the 700,000 replies into a new, equally indexed
//   table in one transaction;
// - DELETE of 100,000 replies by key with "where REPLY_ID in (select
//   REPLY_ID from link)";
// - the bytes a commit writes to its journal against the pages it changed.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "bench_archive.h"
#include "jet/database.h"
#include "jet/schema.h"
#include "native_copy.h"
#include "sql/jet_module.h"
#include "sql/sql_connection.h"

namespace {

using bench::execNative;

namespace fs = std::filesystem;

const std::string& jetFile() { return bench::largeArchive(); }
const std::string& nativeFile() { return bench::nativeLargeArchive(); }
fs::path work() {
  fs::path dir = fs::path(jetFile()).parent_path() / "write-bench";
  fs::create_directories(dir);
  return dir;
}

jet::TableSpec replySpec(const std::string& name) {
  using jet::ColumnType;
  return jet::TableSpec{name,
                        {{"CAT_ID", ColumnType::Long}, {"FORUM_ID", ColumnType::Long}, {"TOPIC_ID", ColumnType::Long},
                         {"REPLY_ID", ColumnType::Long, 0, true}, {"R_AUTHOR", ColumnType::Long},
                         {"R_MESSAGE", ColumnType::Memo}, {"R_DATE", ColumnType::Text, 14}, {"R_IP", ColumnType::Text, 15}},
                        {{"PrimaryKey", {{"REPLY_ID", true}}, true, true, false},
                         {"TOPIC_ID", {{"TOPIC_ID", true}}},
                         {"R_AUTHOR", {{"R_AUTHOR", true}}},
                         {"R_DATE", {{"R_DATE", true}}}}};
}

// A Jet file and a SQLite file, each with table K(REPLY_ID) of every 7th reply.
std::pair<std::string, std::string> keyFiles() {
  fs::path jetKeys = work() / "keys.mdb", nativeKeys = work() / "keys.sqlite";
  if (!fs::exists(jetKeys)) {
    jet::createDatabase(jetKeys.string());
    jet::Database db(jetKeys.string());
    db.begin();
    jet::createTable(db, jet::TableSpec{"K", {{"REPLY_ID", jet::ColumnType::Long}}, {}});
    for (int64_t id = 1; id <= 700000; id += 7) db.insertRow(db.table("K"), {jet::Value{id}});
    db.commit();
  }
  if (!fs::exists(nativeKeys)) {
    sqlite3* db = nullptr;
    sqlite3_open(nativeKeys.c_str(), &db);
    execNative(db, "CREATE TABLE K(REPLY_ID INTEGER); BEGIN; WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 7 FROM n "
             "WHERE i + 7 <= 700000) INSERT INTO K SELECT i FROM n; COMMIT");
    sqlite3_close(db);
  }
  return {jetKeys.string(), nativeKeys.string()};
}

void BM_InsertReplies_Jet(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    fs::path target = work() / "insert.mdb";
    fs::remove(target);
    jet::createDatabase(target.string());
    {
      jet::Database db(target.string());
      db.begin();
      jet::createTable(db, replySpec("R"));
      db.commit();
    }
    sql::SqlConnection c(target.string());
    c.attachLink("link", jetFile(), "FORUM_REPLY");
    state.ResumeTiming();
    sql::ResultSet r = c.execute("insert into R select * from link");
    state.counters["rows"] = static_cast<double>(r.changes);
    state.counters["rows_per_s"] = benchmark::Counter(static_cast<double>(r.changes), benchmark::Counter::kIsRate);
    c.execute("drop table link");
  }
}
BENCHMARK(BM_InsertReplies_Jet)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void BM_InsertReplies_Native(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    fs::path target = work() / "insert.sqlite";
    fs::remove(target);
    sqlite3* db = nullptr;
    sqlite3_open(target.c_str(), &db);
    execNative(db, "CREATE TABLE R(CAT_ID INTEGER, FORUM_ID INTEGER, TOPIC_ID INTEGER, REPLY_ID INTEGER, R_AUTHOR INTEGER, "
             "R_MESSAGE TEXT, R_DATE TEXT, R_IP TEXT); CREATE UNIQUE INDEX R_pk ON R(REPLY_ID); "
             "CREATE INDEX R_t ON R(TOPIC_ID); CREATE INDEX R_a ON R(R_AUTHOR); CREATE INDEX R_d ON R(R_DATE)");
    execNative(db, "ATTACH " + sql::quoteLiteral(nativeFile()) + " AS src");
    state.ResumeTiming();
    execNative(db, "BEGIN; INSERT INTO R SELECT * FROM src.FORUM_REPLY; COMMIT");
    state.counters["rows_per_s"] = benchmark::Counter(700000, benchmark::Counter::kIsRate);
    sqlite3_close(db);
  }
}
BENCHMARK(BM_InsertReplies_Native)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void BM_DeleteReplies_Jet(benchmark::State& state) {
  auto keys = keyFiles();
  for (auto _ : state) {
    state.PauseTiming();
    fs::path copy = work() / "delete.mdb";
    fs::copy_file(jetFile(), copy, fs::copy_options::overwrite_existing);
    sql::SqlConnection c(copy.string());
    c.attachLink("link", keys.first, "K");
    state.ResumeTiming();
    sql::ResultSet r = c.execute("delete from FORUM_REPLY where REPLY_ID in (select REPLY_ID from link)");
    state.PauseTiming();
    const jet::CommitStats& s = c.database().pager().lastCommit();
    state.counters["rows"] = static_cast<double>(r.changes);
    state.counters["pages_changed"] = static_cast<double>(s.pagesChanged);
    state.counters["journal_bytes_per_changed_page_byte"] =
        static_cast<double>(s.journalBytes) / static_cast<double>(s.pagesChanged * jet::kPageSize);
    c.execute("drop table link");
    state.ResumeTiming();
  }
}
BENCHMARK(BM_DeleteReplies_Jet)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void BM_DeleteReplies_Native(benchmark::State& state) {
  auto keys = keyFiles();
  for (auto _ : state) {
    state.PauseTiming();
    fs::path copy = work() / "delete.sqlite";
    fs::copy_file(nativeFile(), copy, fs::copy_options::overwrite_existing);
    sqlite3* db = nullptr;
    sqlite3_open(copy.c_str(), &db);
    execNative(db, "ATTACH " + sql::quoteLiteral(keys.second) + " AS k");
    state.ResumeTiming();
    execNative(db, "BEGIN; DELETE FROM FORUM_REPLY WHERE REPLY_ID IN (SELECT REPLY_ID FROM k.K); COMMIT");
    state.counters["rows"] = static_cast<double>(sqlite3_changes(db));
    sqlite3_close(db);
  }
}
BENCHMARK(BM_DeleteReplies_Native)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
