// The main window's design: toolbar row, status bar, the left pane (logo
// and the category list with its forums), the splitter, the right pane
// (topic list, splitter, browser), under the design's component names.
// What the components do is the window class's business (app/).
#pragma once

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QProgressBar>
#include <QTableView>
#include <QToolBar>
#include <QTreeView>

#include "hot_zone_splitter.h"

class QWebEngineView;

namespace ui {

class KeyStatePanel;

struct MainWindowLayout {
  QToolBar* bar1 = nullptr;  // "Custom 1"
  QToolBar* bar3 = nullptr;  // "Custom 3"
  QAction* btnDownloadUrl = nullptr;
  QAction* btnImport = nullptr;
  QAction* btnRefresh = nullptr;
  QAction* btnSearch = nullptr;
  QLineEdit* edtSearch = nullptr;
  QAction* edtAbout = nullptr;
  HotZoneSplitter* cxSplitter1 = nullptr;
  HotZoneSplitter* cxSplitter2 = nullptr;
  QWidget* Panel1 = nullptr;  // right pane
  QWidget* Panel2 = nullptr;  // left pane
  QWidget* Panel4 = nullptr;  // logo panel
  QLabel* Image1 = nullptr;   // the logo
  QTreeView* tvCategory = nullptr;  // categories, forums nested below (level lvForum)
  QTableView* tvTopics = nullptr;
  QWebEngineView* CppWebBrowser1 = nullptr;
  QStatusBar* dxStatusBar1 = nullptr;
  QWidget* dxStatusBar1Container2 = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  KeyStatePanel* keyState = nullptr;
  QFileDialog* OpenDialog1 = nullptr;

  // Builds the design into `window`.
  void build(QMainWindow* window);
  // Column widths and visibility, once the views have their models.
  void applyColumns();
};

// The status bar's keyboard panel: CAPS, NUM, SCRL and OVR/INS (Insert
// toggles between the last two). Qt reports no lock-key state, so the
// three lock captions show as inactive.
class KeyStatePanel : public QLabel {
 public:
  explicit KeyStatePanel(QWidget* parent);
  bool overwrite() const { return overwrite_; }
  void toggleInsert();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void refresh();
  bool overwrite_ = false;
};

}  // namespace ui
