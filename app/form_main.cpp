#include "form_main.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QStatusBar>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include "archive/archive_location.h"
#include "archive/statements.h"
#include "exception_box.h"
#include "import/merge.h"
#include "import/unpack.h"
#include "page/page_display.h"
#include "page/topic_page.h"
#include "ui/splash_about.h"

namespace app {

std::string designConnectionText() { return archive::connectionText(".\\ostrel.mdb"); }

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
  build(this);
  pages_ = page::preparePageView(CppWebBrowser1);
  DataSource1 = new ui::CategoryModel(ADOQuery1, ADOQuery2, this);
  DataSource3 = new ui::QueryModel(
      ADOQueryTopic,
      {{"tvTopicsT_SUBJECT", "T_SUBJECT", QString::fromUtf8("标题"), 359},
       {"tvTopicsM_Name", "M_Name", QString::fromUtf8("发贴人"), 83},
       {"tvTopicsT_DATE", "T_DATE", QString::fromUtf8("发贴时间"), 142, true, true},
       {"tvTopicsT_REPLIES", "T_REPLIES", QString::fromUtf8("回复数"), 47},
       {"tvTopicsT_VIEW_COUNT", "T_VIEW_COUNT", QString::fromUtf8("查看数"), 49},
       {"tvTopicsT_LAST_POST_AUTHOR", "T_LAST_POST_AUTHOR", QString::fromUtf8("回复人"), 58, false},
       {"tvTopicsT_LAST_POST", "T_LAST_POST", QString::fromUtf8("最后回复"), 142, true, true},
       {"tvTopicsT_GOOD", "T_GOOD", QString::fromUtf8("黄金文章"), 53},
       {"tvTopicsCAT_ID", "CAT_ID", QString(), -1, false},
       {"tvTopicsFORUM_ID", "FORUM_ID", QString(), -1, false},
       {"tvTopicsTOPIC_ID", "TOPIC_ID", QString(), -1, false}},
      this);
  tvCategory->setModel(DataSource1);
  tvTopics->setModel(DataSource3);
  applyColumns();
  const auto& columns = DataSource3->columns();
  for (size_t c = 0; c < columns.size(); ++c) {
    int i = static_cast<int>(c);
    if (columns[c].width > 0) tvTopics->setColumnWidth(i, columns[c].width);
    tvTopics->setColumnHidden(i, !columns[c].shown);
  }
  wireEvents();
  wireDownloads();

  // The stored design's activations, in its order; each failure is
  // reported and building goes on.
  ADOQuery1.SQL().SetText(archive::kCategoryStatement);
  ADOQuery2.SQL().SetText(archive::kForumListStatement);
  ADOQueryTopic.SQL().SetText(archive::kStoredTopicStatement);
  ADOQueryReply.SQL().SetText(archive::kStoredRepliesStatement);
  guarded([&] {
    ADOConnection1.SetConnectionString(designConnectionText());
    ADOConnection1.Open();
  });
  for (archive::Query* q : {&ADOQuery1, &ADOQuery2, &ADOQueryTopic}) guarded([&] { q->Open(); });
  listsChanged();

  guarded([&] { FormCreate(); });
}

TForm1::~TForm1() {
  guarded([&] { FormDestroy(); });
  // The views go before the queries their models read (the widget tree is
  // torn down only after this class's members).
  delete takeCentralWidget();
  delete DataSource1;
  delete DataSource3;
}

void TForm1::guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    listsChanged();
    showStandardException(this, e.what());
  } catch (...) {
    listsChanged();
    showStandardException(this, std::string());
  }
}

void TForm1::listsChanged() {
  if (DataSource1) DataSource1->reload();
  if (DataSource3) DataSource3->reload();
}

void TForm1::wireEvents() {
  // A cell click is a click on a data row: the row becomes the query's
  // current row, then the handler runs.
  connect(tvCategory, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
    if (int row = DataSource1->categoryRow(index); row >= 0) {
      ADOQuery1.moveTo(row);
      guarded([&] { tvCategoryCellClick(); });
    } else if (int forum = DataSource1->forumRow(index); forum >= 0) {
      ADOQuery2.moveTo(forum);
      guarded([&] { tvForumCellClick(); });
    }
  });
  connect(tvTopics, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
    if (!index.isValid()) return;
    ADOQueryTopic.moveTo(DataSource3->rowOf(index.row()));
    guarded([&] { tvTopicsCellClick(); });
  });
  connect(btnRefresh, &QAction::triggered, this, [this] { guarded([&] { btnRefreshClick(); }); });
  connect(btnSearch, &QAction::triggered, this, [this] { guarded([&] { btnSearchClick(); }); });
  connect(btnImport, &QAction::triggered, this, [this] { guarded([&] { btnImportClick(); }); });
  connect(btnDownloadUrl, &QAction::triggered, this, [this] { guarded([&] { btnDownloadUrlClick(); }); });
  connect(edtAbout, &QAction::triggered, this, [this] { guarded([&] { edtAboutClick(); }); });
}

void TForm1::FormCreate() {
  ADOConnection1.Close();
  ADOConnection1.SetConnectionString(archive::connectionText(archive::archivePath()));
  ADOConnection1.Open();
  ADOQuery1.Open();
  ADOQuery2.Open();
  listsChanged();
  CppWebBrowser1->setUrl(QUrl(QStringLiteral("about:blank")));
}

void TForm1::FormDestroy() {
  // Nothing begun by FormCreate outlives the window: the connection closes
  // with its components.
}

void TForm1::tvCategoryCellClick() {
  FCategoryId = ADOQuery1.FieldByName("CAT_ID").AsString();
  FScope = "Category";
}

void TForm1::tvForumCellClick() {
  FForumId = ADOQuery2.FieldByName("FORUM_ID").AsString();
  if (FForumId.empty()) return;
  ADOQueryTopic.Close();
  ADOQueryTopic.SQL().Clear();
  ADOQueryTopic.SQL().Add(archive::forumStatement(FForumId));
  DataSource3->reload();
  ADOQueryTopic.Open();
  DataSource3->reload();
  FScope = "Forum";
}

std::string TForm1::ComposeTopicPage() {
  return page::composeTopicPage(ADOQueryTopic, ADOQueryReply,
                                {FTopicId, FTopicAuthor, FTopicDate, FReplyAuthor, FReplyDate});
}

void TForm1::ShowPage(const std::string& bytes) { page::showPage(CppWebBrowser1, pages_, bytes); }

void TForm1::tvTopicsCellClick() { ShowPage(ComposeTopicPage()); }

// A package (or any file) the pane downloads is saved where the user says,
// starting in the program's folder; the status bar tells when it is done.
void TForm1::wireDownloads() {
  connect(CppWebBrowser1->page()->profile(), &QWebEngineProfile::downloadRequested, this,
          [this](QWebEngineDownloadRequest* download) {
            QString suggested = QString::fromStdString(archive::programFolder()) + download->downloadFileName();
            QString target = QFileDialog::getSaveFileName(this, QString(), suggested);
            if (target.isEmpty()) {
              download->cancel();
              return;
            }
            QFileInfo info(target);
            download->setDownloadDirectory(info.absolutePath());
            download->setDownloadFileName(info.fileName());
            connect(download, &QWebEngineDownloadRequest::isFinishedChanged, this, [this, download, target] {
              if (!download->isFinished()) return;
              statusBar()->showMessage(download->state() == QWebEngineDownloadRequest::DownloadCompleted
                                           ? QStringLiteral("Saved %1").arg(target)
                                           : QStringLiteral("Download of %1 failed: %2").arg(target, download->interruptReasonString()));
            });
            download->accept();
          });
}

void TForm1::btnRefreshClick() {
  ADOQueryTopic.Close();
  ADOQuery2.Close();
  ADOQuery1.Close();
  listsChanged();
  ADOQuery1.Open();
  ADOQuery2.Open();
  listsChanged();
  ADOQueryTopic.Open();
  listsChanged();
}

void TForm1::btnSearchClick() {
  const std::string text = edtSearch->text().toStdString();
  if (text.empty()) return;
  try {
    ADOQueryTopic.Close();
    ADOQueryTopic.SQL().Clear();
    DataSource3->reload();
    for (const std::string& line : archive::searchStatementLines(text, FScope, FCategoryId, FForumId))
      ADOQueryTopic.SQL().Add(line);
    ADOQueryTopic.Open();
    DataSource3->reload();
  } catch (const std::exception& e) {
    DataSource3->reload();
    showPlainMessage(this, e.what());
  }
}

void TForm1::btnImportClick() {
  OpenDialog1->setDirectory(QStringLiteral("."));
  if (OpenDialog1->exec() != QDialog::Accepted || OpenDialog1->selectedFiles().isEmpty()) return;
  ImportPackage(QFileInfo(OpenDialog1->selectedFiles().first()).absoluteFilePath().toStdString());
}

void TForm1::ImportPackage(const std::string& packagePath) {
  ProgressBar1->setValue(1);
  try {
    import::unpackPackage(packagePath, archive::archivePath());
    MergePackage(import::targetPathFor(packagePath));
  } catch (const std::exception& e) {
    showPlainMessage(this, e.what());
  }
  ProgressBar1->setValue(0);
}

void TForm1::MergePackage(const std::string& databasePath) {
  import::mergePackage(ADOConnection1, archive::connectionText(archive::archivePath()), databasePath, [this](int value) {
    ProgressBar1->setValue(value);
    QCoreApplication::processEvents();
  });
}

void TForm1::btnDownloadUrlClick() {
  CppWebBrowser1->setUrl(QUrl(QString::fromLatin1(page::kForumSiteBase) + QStringLiteral("/ostrelpack/index.html")));
}

void TForm1::edtAboutClick() {
  if (FormAbout_) FormAbout_->exec();
}

}  // namespace app
