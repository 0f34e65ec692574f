// The main window offscreen: start-up with and without archives, browsing
// clicks, refresh, the standard exception box's text, the splash strips,
// the About box, and a screenshot. The test program sits in a folder of its
// own, which is its "program folder": the archive beside it is ours to
// place and remove.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QProgressBar>
#include <QFileDialog>
#include <QFileInfo>
#include <QStatusBar>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWebEngineView>
#include <filesystem>
#include <functional>
#include <fstream>

#include "app/exception_box.h"
#include "app/form_main.h"
#include "page/page_display.h"
#include "page/topic_page.h"
#include "archive/archive_location.h"
#include "jet/tests/test_support.h"
#include "ui/splash_about.h"
#include "ui/timestamp_mask.h"

namespace {

namespace fs = std::filesystem;

const fs::path kSmall = fs::path(OSTREL_TEST_DATA) / "fixtures/small/ostrel.mdb";

// Answers every message box that opens, keeping its caption and text.
class BoxRecorder {
 public:
  BoxRecorder() {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        texts.push_back(box->text().toStdString());
        captions.push_back(box->windowTitle().toStdString());
        icons.push_back(box->icon());
        if (seen) seen();
        box->accept();
      }
    });
    timer_.start();
  }
  std::vector<std::string> texts, captions;
  std::vector<QMessageBox::Icon> icons;
  std::function<void()> seen;  // runs while a box is up

 private:
  QTimer timer_;
};

// The archive beside the program and the current directory, for one test.
class Places {
 public:
  Places(bool archiveBesideProgram, const fs::path& currentDirectory) {
    besideProgram_ = fs::path(archive::archivePath());
    fs::remove(besideProgram_);
    if (archiveBesideProgram) fs::copy_file(kSmall, besideProgram_);
    fs::permissions(besideProgram_.parent_path(), fs::perms::owner_all, fs::perm_options::add);
    oldCwd_ = fs::current_path();
    fs::current_path(currentDirectory);
  }
  ~Places() {
    fs::current_path(oldCwd_);
    fs::remove(besideProgram_);
  }

 private:
  fs::path besideProgram_, oldCwd_;
};

fs::path emptyFolder() {
  fs::path p = fs::temp_directory_path() / ("ostrel-gui-" + std::to_string(::getpid()));
  fs::create_directories(p);
  return p;
}

QString cell(const QAbstractItemModel* m, int row, int column, const QModelIndex& parent = {}) {
  return m->index(row, column, parent).data().toString();
}

void click(QAbstractItemView* view, const QModelIndex& index) {
  view->scrollTo(index);
  QRect r = view->visualRect(index);
  ASSERT_TRUE(r.isValid());
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, r.center());
}

TEST(StartUp, TheArchiveBesideTheProgramOpensWithoutABox) {
  Places places(true, fs::path(archive::programFolder()));
  BoxRecorder boxes;
  app::TForm1 form;
  EXPECT_TRUE(boxes.texts.empty());
  const QAbstractItemModel* m = form.DataSource1;
  ASSERT_EQ(m->rowCount(), 4);  // top categories by display order
  EXPECT_EQ(cell(m, 0, 0).toStdString(), "休闲娱乐");
  EXPECT_EQ(cell(m, 1, 0).toStdString(), "技术讨论");
  QModelIndex tech = m->index(1, 0);
  ASSERT_EQ(m->rowCount(tech), 6);  // a header row, then its five forums
  EXPECT_EQ(cell(m, 0, 0, tech).toStdString(), "主题");
  EXPECT_EQ(cell(m, 1, 0, tech).toStdString(), "C/C++ 编程");
  EXPECT_EQ(cell(m, 5, 3, tech).toStdString(), form.DataSource1->index(5, 3, tech).data().toString().toStdString());
  EXPECT_EQ(m->rowCount(m->index(3, 0)), 0);  // category 3 has no forums: no open button
  // The stored topic list of forum 914 survives the reconnect, oldest first.
  ASSERT_EQ(form.DataSource3->rowCount(), 4);
  EXPECT_EQ(form.DataSource3->text(0, 10).toStdString(), "1011");
  EXPECT_EQ(form.CppWebBrowser1->url().toString().toStdString(), "about:blank");
}

TEST(StartUp, FromAnotherFolderTheStoredDesignFailsAndTheProgramFolderArchiveLoads) {
  Places places(true, emptyFolder());
  BoxRecorder boxes;
  app::TForm1 form;
  ASSERT_EQ(boxes.texts.size(), 4u);  // the connection, then each of the three lists
  EXPECT_NE(boxes.texts[0].find("ostrel.mdb"), std::string::npos) << boxes.texts[0];
  EXPECT_EQ(form.DataSource1->rowCount(), 4);
  EXPECT_EQ(form.DataSource3->rowCount(), 0);
}

TEST(StartUp, NoArchiveAnywhereShowsABoxAndTheWindowStillWorks) {
  Places places(false, emptyFolder());
  BoxRecorder boxes;
  app::TForm1 form;
  ASSERT_EQ(boxes.texts.size(), 5u);  // the four stored activations, then FormCreate's connect
  EXPECT_NE(boxes.texts[4].find(archive::archivePath()), std::string::npos) << boxes.texts[4];
  EXPECT_EQ(form.DataSource1->rowCount(), 0);
  EXPECT_TRUE(form.CppWebBrowser1->url().isEmpty());  // FormCreate stopped before the browser
  form.show();
  QTest::qWait(20);
  form.btnRefresh->trigger();  // a failing handler reports and the program goes on
  QTest::qWait(50);
  EXPECT_EQ(boxes.texts.size(), 6u);
  EXPECT_TRUE(form.isVisible());
}

TEST(Browsing, CategoryAndForumClicksSetTheSelectionAndTheTopicList) {
  Places places(true, fs::path(archive::programFolder()));
  BoxRecorder boxes;
  app::TForm1 form;
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  auto* m = form.DataSource1;
  QModelIndex tech = m->index(1, 0);
  form.tvCategory->expand(tech);
  click(form.tvCategory, tech);
  EXPECT_EQ(form.categoryId(), "1");
  EXPECT_EQ(form.scope(), "Category");
  EXPECT_EQ(form.DataSource3->rowCount(), 4);  // a category click keeps the topic list

  click(form.tvCategory, m->index(5, 0, tech));  // forum 914
  EXPECT_EQ(form.forumId(), "914");
  EXPECT_EQ(form.scope(), "Forum");
  ASSERT_EQ(form.DataSource3->rowCount(), 4);
  EXPECT_EQ(form.DataSource3->text(0, 10).toStdString(), "1015");  // newest first
  EXPECT_EQ(form.DataSource3->text(0, 2).toStdString().size(), 19u);  // "YYYY-MM-DD HH:MM:SS"

  click(form.tvCategory, m->index(0, 0, tech));  // the header row is not a forum
  EXPECT_EQ(form.forumId(), "914");

  QModelIndex leisure = m->index(0, 0);
  form.tvCategory->expand(leisure);
  click(form.tvCategory, m->index(3, 0, leisure));  // forum 912 has no topics
  EXPECT_EQ(form.forumId(), "912");
  EXPECT_EQ(form.scope(), "Forum");
  EXPECT_EQ(form.DataSource3->rowCount(), 0);

  click(form.tvCategory, m->index(1, 0, tech));  // forum 901
  int topics = form.DataSource3->rowCount();
  EXPECT_GT(topics, 0);
  form.btnRefresh->trigger();  // the forum statement runs again
  EXPECT_EQ(form.DataSource3->rowCount(), topics);
  EXPECT_EQ(form.DataSource1->rowCount(), 4);
  EXPECT_EQ(form.forumId(), "901");
  EXPECT_TRUE(boxes.texts.empty());
}

TEST(Layout, TheHotZoneCollapsesAPaneAndTheNextClickRestoresIt) {
  Places places(true, fs::path(archive::programFolder()));
  BoxRecorder boxes;
  app::TForm1 form;
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  for (ui::HotZoneSplitter* splitter : {form.cxSplitter1, form.cxSplitter2}) {
    QSplitterHandle* handle = splitter->handle(1);
    int before = splitter->sizes()[0];
    ASSERT_GT(before, 0);
    QRect zone = splitter->hotZone();
    QPoint outside = zone.top() > 10 ? QPoint(zone.center().x(), 3) : QPoint(3, zone.center().y());
    QTest::mouseClick(handle, Qt::LeftButton, {}, outside);  // outside the zone: nothing
    EXPECT_EQ(splitter->sizes()[0], before);
    QTest::mouseClick(handle, Qt::LeftButton, {}, zone.center());
    EXPECT_EQ(splitter->sizes()[0], 0);
    QTest::mouseClick(handle, Qt::LeftButton, {}, zone.center());
    EXPECT_EQ(splitter->sizes()[0], before);
  }
}

TEST(Layout, SortingTheTopicsByAHeaderKeepsClicksOnTheRightRow) {
  Places places(true, fs::path(archive::programFolder()));
  BoxRecorder boxes;
  app::TForm1 form;
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  ui::QueryModel* topics = form.DataSource3;
  ASSERT_EQ(topics->rowCount(), 4);
  form.tvTopics->sortByColumn(10, Qt::DescendingOrder);  // TOPIC_ID
  EXPECT_EQ(topics->text(0, 10).toStdString(), "1015");
  EXPECT_EQ(topics->text(3, 10).toStdString(), "1011");
  for (int row = 0; row < 4; ++row) {
    click(form.tvTopics, topics->index(row, 0));
    EXPECT_EQ(form.ADOQueryTopic.FieldByName("TOPIC_ID").AsString(), topics->text(row, 10).toStdString());
  }
  form.tvTopics->sortByColumn(0, Qt::AscendingOrder);  // by title, as text
  for (int row = 1; row < 4; ++row)
    EXPECT_LE(topics->text(row - 1, 0).compare(topics->text(row, 0), Qt::CaseInsensitive), 0);
}

TEST(Layout, TimestampsShowThroughTheMask) {
  struct Case {
    const char* value;
    const char* shown;
  } cases[] = {{"20030426204752", "2003-04-26 20:47:52"},
               {"20030426", "2003-04-26 __:__:__"},
               {"", ""},
               {"2003042620475299", "2003-04-26 20:47:52"},
               {"2003-04-26", "2003--0-4- 26:__:__"}};
  for (const Case& c : cases)
    EXPECT_EQ(ui::maskTimestamp(QString::fromUtf8(c.value)).toStdString(), c.shown) << c.value;
}

// The pane's text once the page has loaded.
QString shownText(QWebEngineView* view) {
  QString text;
  bool done = false;
  view->page()->toPlainText([&](const QString& t) {
    text = t;
    done = true;
  });
  for (int i = 0; i < 500 && !done; ++i) QTest::qWait(10);
  return text;
}

bool loads(QWebEngineView* view, const std::function<void()>& action) {
  QSignalSpy finished(view, &QWebEngineView::loadFinished);
  action();
  return finished.wait(15000) && finished.takeFirst().at(0).toBool();
}

TEST(TopicPane, AClickShowsTheTopicPageInItsCharactersAndAnotherClickReplacesIt) {
  Places places(true, fs::path(archive::programFolder()));
  BoxRecorder boxes;
  app::TForm1 form;
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  ui::QueryModel* topics = form.DataSource3;  // forum 914, oldest first
  ASSERT_EQ(topics->text(1, 10).toStdString(), "1013");
  ASSERT_TRUE(loads(form.CppWebBrowser1, [&] { click(form.tvTopics, topics->index(1, 0)); }));
  QString page = shownText(form.CppWebBrowser1);
  EXPECT_TRUE(page.contains(QString::fromUtf8("正好三个回复"))) << page.left(200).toStdString();
  EXPECT_TRUE(page.contains(QString::fromUtf8("發表人")));
  EXPECT_EQ(form.CppWebBrowser1->title().toStdString(), "内容");

  // Characters outside GBK arrive whole (served as GB18030).
  form.ADOQueryTopic.Close();
  form.ADOQueryTopic.SQL().Clear();
  form.ADOQueryTopic.SQL().Add("select * from FORUM_TOPICS,FORUM_MEMBERS where TOPIC_ID=1028 and T_AUTHOR=MEMBER_ID");
  form.ADOQueryTopic.Open();
  form.DataSource3->reload();
  ASSERT_TRUE(loads(form.CppWebBrowser1, [&] { click(form.tvTopics, topics->index(0, 0)); }));
  page = shownText(form.CppWebBrowser1);
  EXPECT_TRUE(page.contains(QString::fromUtf8("한국어 😀"))) << page.left(300).toStdString();
  EXPECT_FALSE(page.contains(QString::fromUtf8("正好三个回复")));
  EXPECT_TRUE(boxes.texts.empty());
}

TEST(TopicPane, ArchivedScriptDoesNotRunButMarkupDoes) {
  Places places(true, fs::path(archive::programFolder()));
  BoxRecorder boxes;
  app::TForm1 form;
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  const std::string page =
      "<html><head><title>before</title></head><body><b id=b>bold</b>"
      "<script>document.title='ran';document.body.innerHTML='replaced'</script>"
      "<img src=x onerror=\"document.title='ran'\"></body></html>";
  ASSERT_TRUE(loads(form.CppWebBrowser1, [&] { form.ShowPage(page); }));
  QTest::qWait(100);
  EXPECT_EQ(form.CppWebBrowser1->title().toStdString(), "before");
  EXPECT_TRUE(shownText(form.CppWebBrowser1).contains(QStringLiteral("bold")));
}

TEST(TopicPane, TheDownloadCommandGoesToTheDownloadPage) {
  Places places(true, fs::path(archive::programFolder()));
  BoxRecorder boxes;
  app::TForm1 form;
  form.btnDownloadUrl->trigger();
  EXPECT_EQ(form.CppWebBrowser1->url().toString().toStdString(), std::string(page::kForumSiteBase) + "/ostrelpack/index.html");
}

TEST(TopicPane, ADownloadedPackageIsSavedWhereTheUserSays) {
  Places places(true, fs::path(archive::programFolder()));
  BoxRecorder boxes;
  app::TForm1 form;
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  fs::path folder = emptyFolder();
  fs::path source = folder / "news.opk", target = folder / "saved.opk";
  std::ofstream(source, std::ios::binary) << std::string("\x10\0\0\0package bytes", 17);
  fs::remove(target);
  QString asked;
  QTimer answer;
  answer.setInterval(20);
  QObject::connect(&answer, &QTimer::timeout, [&] {
    if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
      if (asked.isEmpty()) asked = dialog->directory().absolutePath();
      dialog->selectFile(QString::fromStdString(target.string()));
      QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);  // again on the next tick if it is still up
    }
  });
  answer.start();
  form.CppWebBrowser1->page()->download(QUrl::fromLocalFile(QString::fromStdString(source.string())));
  for (int i = 0; i < 1000 && !form.statusBar()->currentMessage().startsWith(QStringLiteral("Saved")); ++i) QTest::qWait(10);
  EXPECT_TRUE(form.statusBar()->currentMessage().startsWith(QStringLiteral("Saved"))) << form.statusBar()->currentMessage().toStdString();
  EXPECT_EQ(asked.toStdString() + "/", archive::programFolder());
  EXPECT_TRUE(fs::exists(target));
  if (fs::exists(target)) {
    EXPECT_EQ(fs::file_size(target), 17u);
  }
}

std::string topicIds(const ui::QueryModel* topics) {
  std::string ids;
  for (int r = 0; r < topics->rowCount(); ++r) ids += (r ? "," : "") + topics->text(r, 10).toStdString();
  return ids;
}

struct SearchWindow {
  Places places{true, fs::path(archive::programFolder())};
  BoxRecorder boxes;
  app::TForm1 form;
  SearchWindow() {
    form.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
  }
  std::string search(const QString& text) {
    form.edtSearch->setText(text);
    form.btnSearch->trigger();
    return topicIds(form.DataSource3);
  }
  QModelIndex category(int row) { return form.DataSource1->index(row, 0); }
  QModelIndex forum(int categoryRow, int forumRow) {
    form.tvCategory->expand(category(categoryRow));
    return form.DataSource1->index(forumRow + 1, 0, category(categoryRow));
  }
};

TEST(Search, FindsTopicsByTitleTextOrReplyWithinTheScope) {
  SearchWindow w;
  const char* all = "1040,1037,1035,1034,1031,1030,1023,1021,1020,1019,1018,1011,1008,1007,1005,1004";
  EXPECT_EQ(w.search(QString::fromUtf8("日志")), all);  // no list clicked yet: every forum
  click(w.form.tvCategory, w.category(1));             // category 1
  EXPECT_EQ(w.search(QString::fromUtf8("日志")), "1037,1035,1034,1031,1021,1011,1008,1007,1005,1004");
  click(w.form.tvCategory, w.forum(1, 4));  // forum 914
  EXPECT_EQ(w.search(QString::fromUtf8("日志")), "1011");
  click(w.form.tvCategory, w.category(1));
  // Only through a reply whose author has no member row; a topic whose own
  // author has none is never listed.
  EXPECT_EQ(w.search(QString::fromUtf8("作者已经被删除")), "1011");
  EXPECT_EQ(w.search(QString::fromUtf8("作者已经不在会员表里")), "");
  // A quote searches for a quote (doubled in the statement).
  EXPECT_EQ(w.search(QStringLiteral("'")), "1021");
  EXPECT_EQ(w.search(QStringLiteral(" ")), "1031,1021,1014,1002,1001");  // a space, in category 1
  EXPECT_TRUE(w.boxes.texts.empty());
}

TEST(Search, EmptyTextDoesNothingAndRefreshOrAForumClickFollowTheSearch) {
  SearchWindow w;
  std::string stored = topicIds(w.form.DataSource3);
  EXPECT_EQ(w.search(QString()), stored);
  EXPECT_TRUE(w.boxes.texts.empty());
  std::string found = w.search(QString::fromUtf8("日志"));
  w.form.edtSearch->setText(QStringLiteral("something else"));
  w.form.btnRefresh->trigger();  // repeats the search, whatever the box holds now
  EXPECT_EQ(topicIds(w.form.DataSource3), found);
  click(w.form.tvCategory, w.forum(1, 4));  // a forum click replaces the results
  EXPECT_EQ(topicIds(w.form.DataSource3), "1015,1014,1013,1011");
}

TEST(Search, AScopeWithAnEmptyIdShowsTheEnginesMessageInAPlainBox) {
  SearchWindow w;
  click(w.form.tvCategory, w.forum(1, 4));  // scope "Forum"
  // A forum row whose FORUM_ID reads empty.
  w.form.ADOQuery2.Close();
  w.form.ADOQuery2.SQL().SetText("select CAT_ID, NULL as FORUM_ID, F_SUBJECT, F_TOPICS, F_COUNT, F_LAST_POST from FORUM_FORUM");
  w.form.ADOQuery2.Open();
  w.form.DataSource1->reload();
  click(w.form.tvCategory, w.forum(1, 0));
  EXPECT_EQ(w.form.forumId(), "");
  EXPECT_EQ(w.form.scope(), "Forum");
  EXPECT_EQ(w.search(QString::fromUtf8("日志")), "");
  ASSERT_EQ(w.boxes.texts.size(), 1u);
  EXPECT_EQ(w.boxes.icons[0], QMessageBox::NoIcon);
  EXPECT_EQ(w.boxes.captions[0], "Ostrel Forum");
  EXPECT_FALSE(w.boxes.texts[0].empty());
  EXPECT_FALSE(w.form.ADOQueryTopic.Active());
  w.form.btnRefresh->trigger();  // the failing statement again: now the standard box
  ASSERT_EQ(w.boxes.texts.size(), 2u);
  EXPECT_EQ(w.boxes.icons[1], QMessageBox::Critical);
}

// Cancels the open dialog whenever it shows.
struct DialogCancel {
  QTimer timer;
  DialogCancel() {
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [] {
      if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget()))
        QMetaObject::invokeMethod(dialog, "reject", Qt::QueuedConnection);
    });
    timer.start();
  }
};

TEST(Import, TheBarMovesThroughItsValuesAndTheArchiveTakesThePackage) {
  Places places(true, fs::path(archive::programFolder()));
  BoxRecorder boxes;
  app::TForm1 form;
  std::vector<int> bar;
  QObject::connect(form.ProgressBar1, &QProgressBar::valueChanged, [&](int v) { bar.push_back(v); });
  {
    DialogCancel cancel;
    form.btnImport->trigger();
  }
  EXPECT_TRUE(bar.empty());  // a cancelled dialog changes nothing
  fs::path folder = emptyFolder();
  fs::copy_file(fs::path(OSTREL_TEST_DATA) / "fixtures/packages/update.opk", folder / "update.opk",
                fs::copy_options::overwrite_existing);
  int topicsBefore = form.DataSource3->rowCount();
  form.ImportPackage((folder / "update.opk").string());  // what the dialog's choice starts
  EXPECT_EQ(bar, (std::vector<int>{1, 20, 30, 40, 50, 70, 100, 0}));
  EXPECT_TRUE(boxes.texts.empty()) << boxes.texts[0];
  EXPECT_TRUE(fs::exists(folder / "update.mdb"));  // left beside the package
  EXPECT_EQ(form.DataSource3->rowCount(), topicsBefore);  // the lists keep their rows until asked again
  form.btnRefresh->trigger();
  EXPECT_EQ(form.DataSource3->rowCount(), topicsBefore + 2);  // 1041 and 1042 joined forum 914
  jet::test::expectSound(archive::archivePath());
}

TEST(Import, AFailingTableShowsThePlainBoxWithTheBarWhereItStopped) {
  Places places(true, fs::path(archive::programFolder()));
  BoxRecorder boxes;
  app::TForm1 form;
  int barWhenBoxShows = -1;
  boxes.seen = [&] { barWhenBoxShows = form.ProgressBar1->value(); };
  fs::path folder = emptyFolder();
  fs::copy_file(fs::path(OSTREL_TEST_DATA) / "fixtures/packages/no-forum.opk", folder / "no-forum.opk",
                fs::copy_options::overwrite_existing);
  form.ImportPackage((folder / "no-forum.opk").string());
  ASSERT_EQ(boxes.texts.size(), 1u);
  EXPECT_EQ(boxes.icons[0], QMessageBox::NoIcon);
  EXPECT_NE(boxes.texts[0].find("FORUM_FORUM"), std::string::npos) << boxes.texts[0];
  EXPECT_EQ(barWhenBoxShows, 40);
  EXPECT_EQ(form.ProgressBar1->value(), 0);
  jet::test::expectSound(archive::archivePath());
}

TEST(ExceptionBox, AddsAFullStopOnlyAfterACharacterAboveIt) {
  struct Case {
    const char* message;
    const char* shown;
  } cases[] = {
      {"", ""}, {"Disk full", "Disk full."}, {"Done.", "Done."}, {"Stop!", "Stop!"},
      {"code 42", "code 42."}, {"(a)", "(a)"}, {"a-", "a-"}, {"a/", "a/."}, {"数据库已损坏", "数据库已损坏."},
  };
  for (const Case& c : cases)
    EXPECT_EQ(app::standardExceptionText(QString::fromUtf8(c.message)).toStdString(), c.shown) << c.message;
}

TEST(Splash, StripsScrollRightAndWrapEdgeToEdge) {
  ui::TFormSplash splash;
  splash.Timer1->stop();
  struct Step {
    int ticks, image2, image3;
  } steps[] = {{1, -1, 379}, {1, 0, -380}, {378, 378, -2}, {2, -380, 0}, {760, -380, 0}};
  for (const Step& s : steps) {
    for (int i = 0; i < s.ticks; ++i) {
      splash.Timer1Timer();
      int a = splash.Image2->x(), b = splash.Image3->x();
      ASSERT_EQ(std::abs(a - b), 380);  // never a gap or an overlap
    }
    EXPECT_EQ(splash.Image2->x(), s.image2);
    EXPECT_EQ(splash.Image3->x(), s.image3);
  }
  EXPECT_EQ(splash.size(), QSize(381, 82));
  EXPECT_EQ(splash.pos(), QPoint(334, 237));
}

TEST(AboutBox, ClosesOnTheBannerAndTheSurfaceButNotOnALabel) {
  ui::TFormAbout about;
  struct Case {
    QWidget* target;
    QPoint at;
    bool closes;
  } cases[] = {{about.Label3, about.Label3->rect().center(), false},
               {about.Label2, about.Label2->rect().center(), false},
               {about.Image1, about.Image1->rect().center(), true},
               {&about, QPoint(20, 150), true}};
  for (const Case& c : cases) {
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    QTest::mouseClick(c.target, Qt::LeftButton, {}, c.at);
    EXPECT_EQ(!about.isVisible(), c.closes) << c.target->objectName().toStdString();
    about.hide();
  }
  EXPECT_EQ(about.size(), QSize(383, 164));
  EXPECT_EQ(about.Label3->text().toStdString(), "v 0.1");
  EXPECT_EQ(about.Label2->geometry().right() + 1, 292);
}

TEST(Screenshot, TheMainWindowOnTheSmallArchiveIsNotBlank) {
  Places places(true, fs::path(archive::programFolder()));
  BoxRecorder boxes;
  app::TForm1 form;
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  form.tvCategory->expandAll();
  QTest::qWait(100);
  QImage shot = form.grab().toImage();
  fs::path out = fs::path(archive::programFolder()) / "main-window.png";
  ASSERT_TRUE(shot.save(QString::fromStdString(out.string())));
  std::set<QRgb> colours;
  for (int y = 0; y < shot.height(); y += 3)
    for (int x = 0; x < shot.width(); x += 3) colours.insert(shot.pixel(x, y));
  EXPECT_GT(colours.size(), 20u);
  EXPECT_EQ(form.windowTitle().toStdString(), "Ostrel Forum");
  EXPECT_EQ(form.edtSearch->toolTip().toStdString(), "New Item");
  EXPECT_EQ(form.edtSearch->width(), 199);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu");
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  page::registerPageScheme();
  QApplication application(argc, argv);
  app::setApplicationTitle(QStringLiteral("Ostrel Forum"));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
