// The reader's window on the large archive, in one run:
// - start-up to the first painted main window, large archive against the
//   small fixture (nothing at start-up may grow with the archive);
// - a click on forum 914 until its rows are painted, against the forum
//   query's Open alone;
// - scrolling the topic grid through 100,000 rows: time per painted frame.
// The program sits in build/gui-bench/, whose ostrel.mdb is a link to the
// archive under test.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QScrollBar>
#include <QTest>
#include <chrono>
#include <filesystem>

#include "app/exception_box.h"
#include "app/form_main.h"
#include "page/page_display.h"
#include "archive/archive_location.h"
#include "archive/statements.h"
#include "bench_archive.h"

namespace {

namespace fs = std::filesystem;

void placeArchive(const std::string& source) {
  fs::path beside = archive::archivePath();
  fs::remove(beside);
  fs::create_symlink(source, beside);
}

const std::string& smallArchive() {
  static const std::string p = OSTREL_SHARED_DIR "/fixtures/small/ostrel.mdb";
  return p;
}

void startUp(benchmark::State& state, const std::string& archiveFile) {
  placeArchive(archiveFile);
  for (auto _ : state) {
    app::TForm1 form;
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) state.SkipWithError("window not exposed");
    form.repaint();
  }
}
void BM_StartUp_Small(benchmark::State& state) { startUp(state, smallArchive()); }
void BM_StartUp_Large(benchmark::State& state) { startUp(state, bench::largeArchive()); }
BENCHMARK(BM_StartUp_Small)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_StartUp_Large)->Unit(benchmark::kMillisecond)->Iterations(5);

int forumRow(archive::Query& forums, const std::string& id) {
  forums.First();
  for (int r = 0; !forums.Eof(); forums.Next(), ++r)
    if (forums.FieldByName("FORUM_ID").AsString() == id) return r;
  return -1;
}

void BM_Forum914Click(benchmark::State& state) {
  placeArchive(bench::largeArchive());
  app::TForm1 form;
  form.show();
  if (!QTest::qWaitForWindowExposed(&form)) state.SkipWithError("window not exposed");
  int row = forumRow(form.ADOQuery2, "914");
  for (auto _ : state) {
    form.ADOQuery2.moveTo(row);
    form.tvForumCellClick();
    form.tvTopics->viewport()->repaint();
  }
  state.counters["rows"] = form.DataSource3->rowCount();
}
BENCHMARK(BM_Forum914Click)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_Forum914QueryOpen(benchmark::State& state) {
  archive::Connection c;
  c.SetConnectionString(archive::connectionText(bench::largeArchive()));
  c.Open();
  archive::Query q(&c);
  for (auto _ : state) {
    q.Close();
    q.SQL().Clear();
    q.SQL().Add(archive::forumStatement("914"));
    q.Open();
  }
  state.counters["rows"] = q.RecordCount();
}
BENCHMARK(BM_Forum914QueryOpen)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_ScrollTopicGrid(benchmark::State& state) {
  placeArchive(bench::largeArchive());
  app::TForm1 form;
  form.show();
  if (!QTest::qWaitForWindowExposed(&form)) state.SkipWithError("window not exposed");
  form.ADOQueryTopic.Close();
  form.ADOQueryTopic.SQL().Clear();
  form.ADOQueryTopic.SQL().Add(
      "select CAT_ID,FORUM_ID,TOPIC_ID,T_SUBJECT,T_MESSAGE,M_Name,T_AUTHOR,T_REPLIES,T_VIEW_COUNT,T_LAST_POST,"
      "T_DATE,T_LAST_POST_AUTHOR,T_GOOD from FORUM_TOPICS,FORUM_MEMBERS where "
      "FORUM_TOPICS.T_AUTHOR=FORUM_MEMBERS.MEMBER_ID limit 100000");
  form.ADOQueryTopic.Open();
  form.DataSource3->reload();
  QScrollBar* bar = form.tvTopics->verticalScrollBar();
  int frames = 0;
  auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    for (int v = 0; v <= bar->maximum(); v += std::max(1, bar->pageStep())) {
      bar->setValue(v);
      form.tvTopics->viewport()->repaint();
      ++frames;
    }
  }
  state.counters["rows"] = form.DataSource3->rowCount();
  state.counters["frames"] = frames;
  std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - start;
  state.counters["ms_per_frame"] = spent.count() / std::max(1, frames);
}
BENCHMARK(BM_ScrollTopicGrid)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  page::registerPageScheme();
  QApplication application(argc, argv);
  app::setApplicationTitle(QStringLiteral("Ostrel Forum"));
  fs::current_path(archive::programFolder());
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  fs::remove(archive::archivePath());
  return 0;
}
