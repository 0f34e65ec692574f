// Engine benchmarks on the large archive (700,000 replies). Compare, in one
// run: our CSV export of FORUM_REPLY against mdbtools' mdb-export; opening
// and reading every table definition against that export; one TOPIC_ID
// seek against a full scan; peak memory of the export (a child process).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "bench_archive.h"
#include "jet/csv_export.h"
#include "jet/database.h"
#include "jet/index_key.h"
#include "jet/index_page.h"

namespace {

const std::string& archive() { return bench::largeArchive(); }

void BM_JetExportReplies(benchmark::State& state) {
  std::FILE* devnull = std::fopen("/dev/null", "w");
  for (auto _ : state) {
    jet::Database db(archive());
    jet::exportCsv(db.table("FORUM_REPLY"), devnull);
  }
  std::fclose(devnull);
}
BENCHMARK(BM_JetExportReplies)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_MdbExportReplies(benchmark::State& state) {
  std::string command = "mdb-export '" + archive() + "' FORUM_REPLY > /dev/null 2>&1";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("mdb-export failed");
  }
}
BENCHMARK(BM_MdbExportReplies)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_OpenAndReadDefinitions(benchmark::State& state) {
  for (auto _ : state) {
    jet::Database db(archive());
    for (const std::string& name : db.userTableNames()) benchmark::DoNotOptimize(db.table(name).def().columns.size());
  }
}
BENCHMARK(BM_OpenAndReadDefinitions)->Unit(benchmark::kMicrosecond);

// The same on the 40-topic fixture: opening must not grow with the file.
void BM_OpenAndReadDefinitionsSmall(benchmark::State& state) {
  std::string small = std::string(OSTREL_SHARED_DIR) + "/fixtures/small/ostrel.mdb";
  for (auto _ : state) {
    jet::Database db(small);
    for (const std::string& name : db.userTableNames()) benchmark::DoNotOptimize(db.table(name).def().columns.size());
  }
}
BENCHMARK(BM_OpenAndReadDefinitionsSmall)->Unit(benchmark::kMicrosecond);

const jet::RealIndex& topicIndex(const jet::TableDef& def, const jet::Column& topic) {
  for (const jet::RealIndex& ix : def.realIndexes)
    if (ix.columns.size() == 1 && ix.columns[0].columnNumber == topic.number) return ix;
  throw std::runtime_error("FORUM_REPLY has no TOPIC_ID index");
}

constexpr int64_t kTopic = 70001;

void BM_SeekTopicReplies(benchmark::State& state) {
  jet::Database db(archive());
  const jet::Table& t = db.table("FORUM_REPLY");
  const jet::Column& topic = *t.def().columnByName("TOPIC_ID");
  const jet::Column& message = *t.def().columnByName("R_MESSAGE");
  size_t rows = 0;
  for (auto _ : state) {
    jet::IndexReader reader(db.pager(), t.def(), topicIndex(t.def(), topic));
    std::string key;
    jet::appendKeyPart(key, topic, true, jet::Value{kTopic});
    jet::RowCursor cur = t.scan();
    rows = 0;
    std::string text;
    for (jet::RowPointer r : reader.seekPrefix(key)) {
      cur.moveTo(r);
      text.clear();
      cur.appendText(message, text);
      ++rows;
    }
  }
  state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_SeekTopicReplies)->Unit(benchmark::kMicrosecond);

void BM_ScanTopicReplies(benchmark::State& state) {
  jet::Database db(archive());
  const jet::Table& t = db.table("FORUM_REPLY");
  const jet::Column& topic = *t.def().columnByName("TOPIC_ID");
  const jet::Column& message = *t.def().columnByName("R_MESSAGE");
  size_t rows = 0;
  for (auto _ : state) {
    jet::RowCursor cur = t.scan();
    rows = 0;
    std::string text;
    while (cur.next()) {
      if (std::get<int64_t>(cur.value(topic)) != kTopic) continue;
      text.clear();
      cur.appendText(message, text);
      ++rows;
    }
  }
  state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_ScanTopicReplies)->Unit(benchmark::kMillisecond)->Iterations(3);

// Peak resident memory of `jet export FILE TABLE > /dev/null` in a child.
long childPeakKb(const char* table) {
  std::string jet = bench::binDir() + "/jet";
  pid_t pid = fork();
  if (pid == 0) {
    std::freopen("/dev/null", "w", stdout);
    execl(jet.c_str(), "jet", "export", archive().c_str(), table, static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  return usage.ru_maxrss;
}

void BM_ExportPeakMemory(benchmark::State& state) {
  long replies = 0, categories = 0;
  for (auto _ : state) {
    replies = childPeakKb("FORUM_REPLY");
    categories = childPeakKb("FORUM_CATEGORY");
  }
  state.counters["peak_kb_FORUM_REPLY"] = static_cast<double>(replies);
  state.counters["peak_kb_FORUM_CATEGORY"] = static_cast<double>(categories);
}
BENCHMARK(BM_ExportPeakMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
