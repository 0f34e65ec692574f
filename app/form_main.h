// TForm1, the main window: the archive connection and the four queries,
// the design's components (ui/), the eight private text fields and the ten
// handlers. Handlers stay short and call archive/; a failure escaping any
// of them goes to the standard exception box and the program goes on.
#pragma once

#include <QMainWindow>
#include <functional>
#include <string>

#include "archive/connection.h"
#include "archive/query.h"
#include "ui/category_model.h"
#include "ui/main_window_layout.h"
#include "ui/query_model.h"

namespace ui {
class TFormAbout;
}
namespace page {
class PageSchemeHandler;
}

namespace app {

// The design's connection text: its Data Source is ".\ostrel.mdb", relative
// to the current directory.
std::string designConnectionText();

class TForm1 : public QMainWindow, public ui::MainWindowLayout {
 public:
  // Builds the window: the design, its stored activations (each failure
  // reported), then FormCreate.
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  archive::Connection ADOConnection1;
  archive::Query ADOQuery1{&ADOConnection1};
  archive::Query ADOQuery2{&ADOConnection1};
  archive::Query ADOQueryTopic{&ADOConnection1};
  archive::Query ADOQueryReply{&ADOConnection1};
  ui::CategoryModel* DataSource1 = nullptr;  // ADOQuery1 with ADOQuery2 nested: both list levels
  ui::QueryModel* DataSource3 = nullptr;     // ADOQueryTopic

  // Where the About box is (built by start-up after this window).
  void setAboutBox(ui::TFormAbout* about) { FormAbout_ = about; }

  // The page of the topic query's current row, in page bytes (GB18030).
  std::string ComposeTopicPage();
  // Shows page bytes in the browser, in place of what it showed.
  void ShowPage(const std::string& page);

  // The import of a chosen package: unpack, merge, the bar back to 0; a
  // failure shown in a plain box.
  void ImportPackage(const std::string& packagePath);
  // The import's merge of an unpacked package, table by table, moving the
  // progress bar and serving the message queue after each table.
  void MergePackage(const std::string& databasePath);

  void FormCreate();
  void FormDestroy();
  void tvCategoryCellClick();
  void tvForumCellClick();
  void tvTopicsCellClick();
  void btnRefreshClick();
  void btnSearchClick();
  void btnImportClick();
  void btnDownloadUrlClick();
  void edtAboutClick();

  // The private state, read-only for tests.
  const std::string& categoryId() const { return FCategoryId; }
  const std::string& forumId() const { return FForumId; }
  const std::string& scope() const { return FScope; }

 private:
  // Runs a handler; what escapes it goes to the standard exception box.
  void guarded(const std::function<void()>& handler);
  // The views follow their queries.
  void listsChanged();
  void wireEvents();
  void wireDownloads();

  std::string FCategoryId;
  std::string FForumId;
  std::string FTopicId;
  std::string FReplyAuthor;
  std::string FReplyDate;
  std::string FTopicAuthor;
  std::string FTopicDate;
  std::string FScope;

  ui::TFormAbout* FormAbout_ = nullptr;
  page::PageSchemeHandler* pages_ = nullptr;
};

}  // namespace app
