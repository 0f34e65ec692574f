// Merging a package into the large archive, against native SQLite doing
// the same deletes and inserts in one transaction per table, in one run.
// The package (made once with our own tools from the archive's rows):
// 20,000 topics and 100,000 replies, half of their keys already in the
// archive, half new. Also the merge's rows per second and the process's
// peak memory, which must not hold the archive.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "archive/archive_location.h"
#include "bench_archive.h"
#include "import/merge.h"
#include "native_copy.h"
#include "sql/jet_module.h"
#include "sql/sql_connection.h"
#include "tools/builder/content_builder.h"

namespace {

using bench::execNative;

namespace fs = std::filesystem;

fs::path work() {
  fs::path dir = fs::path(bench::largeArchive()).parent_path() / "import-bench";
  fs::create_directories(dir);
  return dir;
}

// The columns of `table` with `key` moved up by `shift`.
std::string shifted(sql::SqlConnection& db, const std::string& table, const std::string& key, int64_t shift) {
  sql::ResultSet r = db.execute("select * from " + table + " where 1=0");
  std::string out;
  for (const std::string& c : r.columns) out += (out.empty() ? "" : ",") + (c == key ? c + "+" + std::to_string(shift) : c);
  return out;
}

struct Part {
  const char* table;
  const char* key;
  int modulo;  // every modulo-th row is kept, the next one is shifted to a new key
  int64_t shift;
};
const Part kParts[] = {{"FORUM_TOPICS", "TOPIC_ID", 14, 5000000}, {"FORUM_REPLY", "REPLY_ID", 14, 50000000}};

const std::string& packageFile() {
  static const std::string path = [] {
    fs::path file = work() / "package.mdb";
    if (fs::exists(file)) return file.string();
    // Made in a child process, so this one's peak memory is the merge's.
    if (pid_t pid = fork(); pid != 0) {
      int status = 0;
      waitpid(pid, &status, 0);
      if (!fs::exists(file)) throw std::runtime_error("could not make the package");
      return file.string();
    }
    fs::path partial = work() / "package.partial.mdb";
    fs::remove(partial);
    builder::buildDatabase(R"({"tables": {"FORUM_TOPICS": [], "FORUM_REPLY": []}})", partial.string());
    {
      sql::SqlConnection db(partial.string());
      for (const Part& p : kParts) {
        db.attachLink("src", bench::largeArchive(), p.table);
        const std::string k = p.key, m = std::to_string(p.modulo);
        db.execute("begin");
        db.execute("insert into " + std::string(p.table) + " select * from src where " + k + " % " + m + " = 0");
        db.execute("insert into " + std::string(p.table) + " select " + shifted(db, "src", k, p.shift) + " from src where " +
                   k + " % " + m + " = 1");
        db.execute("commit");
        db.execute("drop table src");
      }
    }
    fs::rename(partial, file);
    bench::nativeCopy(file.string());
    std::exit(0);
  }();
  return path;
}

double peakMegabytes() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_maxrss) / 1024.0;
}

void BM_Merge_Jet(benchmark::State& state) {
  const std::string package = packageFile();
  double rows = 0;
  for (auto _ : state) {
    state.PauseTiming();
    fs::path archivePath = work() / "archive.mdb";
    fs::copy_file(bench::largeArchive(), archivePath, fs::copy_options::overwrite_existing);
    const std::string text = archive::connectionText(archivePath.string());
    archive::Connection c;
    c.SetConnectionString(text);
    c.Open();
    sql::SqlConnection counter(package);
    rows = 0;
    for (const Part& p : kParts)
      rows += static_cast<double>(counter.execute("select count(*) from " + std::string(p.table)).rows[0][0].integer);
    state.ResumeTiming();
    for (const Part& p : kParts) import::mergeTable(c, text, p.table, p.key, package);
  }
  state.counters["rows"] = rows;
  state.counters["rows_per_s"] = benchmark::Counter(rows, benchmark::Counter::kIsRate);
  state.counters["peak_MB"] = peakMegabytes();
  state.counters["archive_MB"] = static_cast<double>(fs::file_size(bench::largeArchive())) / (1024.0 * 1024.0);
}
BENCHMARK(BM_Merge_Jet)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void BM_Merge_Native(benchmark::State& state) {
  const std::string package = bench::nativeCopy(packageFile());
  for (auto _ : state) {
    state.PauseTiming();
    fs::path archivePath = work() / "archive.sqlite";
    fs::copy_file(bench::nativeLargeArchive(), archivePath, fs::copy_options::overwrite_existing);
    sqlite3* db = nullptr;
    sqlite3_open(archivePath.c_str(), &db);
    execNative(db, "ATTACH " + sql::quoteLiteral(package) + " AS p");
    state.ResumeTiming();
    try {
      for (const Part& p : kParts) {
        const std::string t = p.table, k = p.key;
        execNative(db, "BEGIN; DELETE FROM " + t + " WHERE " + k + " IN (SELECT " + k + " FROM p." + t + "); INSERT INTO " + t +
                     " SELECT * FROM p." + t + "; COMMIT");
      }
    } catch (const std::exception& e) {
      state.SkipWithError(e.what());
    }
    state.PauseTiming();
    sqlite3_close(db);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_Merge_Native)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  try {
    packageFile();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
