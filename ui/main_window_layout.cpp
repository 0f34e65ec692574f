#include "main_window_layout.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QScreen>
#include <QStatusBar>
#include <QVBoxLayout>
#include <QWebEngineView>

#include "category_model.h"
#include "grid_style.h"
#include "pictures.h"

namespace ui {

namespace {

QWidget* raisedPanel(const QString& name) {
  auto* f = new QFrame;
  f->setObjectName(name);
  f->setFrameStyle(QFrame::Panel | QFrame::Raised);
  f->setLineWidth(1);
  return f;
}

void setupView(QAbstractItemView* view) {
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
}

// A header menu that hides and shows columns (the category and forum views).
void allowHidingColumns(QTreeView* view) {
  view->header()->setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(view->header(), &QWidget::customContextMenuRequested, view, [view](const QPoint& at) {
    QMenu menu;
    for (int c = CategoryModel::Name; c <= CategoryModel::LastPost; ++c) {
      QString title = c == 0 ? QString::fromUtf8("类别 / 主题") : CategoryModel::forumHeader(c);
      QAction* a = menu.addAction(title);
      a->setCheckable(true);
      a->setChecked(!view->isColumnHidden(c));
      QObject::connect(a, &QAction::toggled, view, [view, c](bool on) { view->setColumnHidden(c, !on); });
    }
    menu.exec(view->header()->mapToGlobal(at));
  });
}

}  // namespace

void MainWindowLayout::build(QMainWindow* w) {
  w->setObjectName(QStringLiteral("Form1"));
  w->setWindowTitle(QStringLiteral("Ostrel Forum"));
  w->setWindowIcon(applicationIcon());
  w->resize(802, 560 - 0);  // client area; the frame is the window manager's
  QFont base;
  base.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Sans CJK SC")});
  base.setPixelSize(11);
  w->setFont(base);

  // Toolbar row: two bars, captions as text, not movable or customisable.
  bar1 = new QToolBar(QStringLiteral("Custom 1"), w);
  bar3 = new QToolBar(QStringLiteral("Custom 3"), w);
  for (QToolBar* bar : {bar1, bar3}) {
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    bar->setFixedHeight(26);
    bar->toggleViewAction()->setEnabled(false);
    w->addToolBar(Qt::TopToolBarArea, bar);
  }
  w->setContextMenuPolicy(Qt::NoContextMenu);  // no toolbar customising menu
  auto button = [](QToolBar* bar, const char* name, const char* caption) {
    QAction* a = bar->addAction(QString::fromUtf8(caption));
    a->setObjectName(QString::fromLatin1(name));
    a->setToolTip(QString::fromUtf8(caption));
    return a;
  };
  btnDownloadUrl = button(bar1, "btnDownloadUrl", "资料下载主页面");
  bar1->addSeparator();
  btnImport = button(bar1, "btnImport", "导入");
  bar1->addSeparator();
  btnRefresh = button(bar1, "btnRefresh", "刷新");
  bar1->addSeparator();
  btnSearch = button(bar1, "btnSearch", "搜索");
  edtSearch = new QLineEdit(bar1);
  edtSearch->setObjectName(QStringLiteral("edtSearch"));
  edtSearch->setFixedWidth(199);
  edtSearch->setToolTip(QStringLiteral("New Item"));
  bar1->addWidget(edtSearch);
  edtAbout = button(bar3, "edtAbout", "关于");

  // Status bar: empty 50 px panel, the progress bar, empty 50 px, key state.
  dxStatusBar1 = w->statusBar();
  dxStatusBar1->setObjectName(QStringLiteral("dxStatusBar1"));
  dxStatusBar1->setFixedHeight(25);
  dxStatusBar1->setSizeGripEnabled(true);
  auto* first = new QLabel(dxStatusBar1);
  first->setFixedWidth(50);
  first->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  dxStatusBar1->addWidget(first);
  dxStatusBar1Container2 = new QWidget(dxStatusBar1);
  dxStatusBar1Container2->setObjectName(QStringLiteral("dxStatusBar1Container2"));
  dxStatusBar1Container2->setFixedSize(300, 21);
  ProgressBar1 = new QProgressBar(dxStatusBar1Container2);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->setGeometry(0, 1, 300, 17);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
  dxStatusBar1->addWidget(dxStatusBar1Container2);
  auto* third = new QLabel(dxStatusBar1);
  third->setFixedWidth(50);
  dxStatusBar1->addWidget(third);
  keyState = new KeyStatePanel(dxStatusBar1);
  dxStatusBar1->addWidget(keyState, 1);

  // Panes.
  cxSplitter1 = new HotZoneSplitter(Qt::Horizontal, w);
  cxSplitter1->setObjectName(QStringLiteral("cxSplitter1"));
  Panel2 = raisedPanel(QStringLiteral("Panel2"));
  Panel1 = raisedPanel(QStringLiteral("Panel1"));
  cxSplitter1->addWidget(Panel2);
  cxSplitter1->addWidget(Panel1);
  cxSplitter1->setStretchFactor(0, 0);
  cxSplitter1->setStretchFactor(1, 1);
  cxSplitter1->setSizes({297, 497});
  w->setCentralWidget(cxSplitter1);

  auto* left = new QVBoxLayout(Panel2);
  left->setContentsMargins(1, 1, 1, 1);
  left->setSpacing(0);
  Panel4 = new QWidget(Panel2);
  Panel4->setObjectName(QStringLiteral("Panel4"));
  Panel4->setFixedHeight(61);
  Panel4->setAutoFillBackground(true);
  QPalette white = Panel4->palette();
  white.setColor(QPalette::Window, Qt::white);
  Panel4->setPalette(white);
  Image1 = new QLabel(Panel4);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setPixmap(logoPicture());
  Image1->setGeometry(0, 0, 166, 60);
  left->addWidget(Panel4);
  tvCategory = new QTreeView(Panel2);
  tvCategory->setObjectName(QStringLiteral("tvCategory"));
  setupView(tvCategory);
  tvCategory->setUniformRowHeights(true);
  tvCategory->setSortingEnabled(true);
  tvCategory->header()->setSortIndicatorShown(true);
  tvCategory->header()->setSortIndicator(-1, Qt::AscendingOrder);
  tvCategory->header()->setStretchLastSection(false);
  tvCategory->setRootIsDecorated(true);
  applySheet(tvCategory, devExpressSheet());
  allowHidingColumns(tvCategory);
  left->addWidget(tvCategory);

  auto* right = new QVBoxLayout(Panel1);
  right->setContentsMargins(1, 1, 1, 1);
  right->setSpacing(0);
  cxSplitter2 = new HotZoneSplitter(Qt::Vertical, Panel1);
  cxSplitter2->setObjectName(QStringLiteral("cxSplitter2"));
  tvTopics = new QTableView;
  tvTopics->setObjectName(QStringLiteral("tvTopics"));
  setupView(tvTopics);
  tvTopics->verticalHeader()->hide();
  tvTopics->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  tvTopics->verticalHeader()->setDefaultSectionSize(QFontMetrics(devExpressSheet().contentFont).height() + 6);
  tvTopics->setShowGrid(true);
  tvTopics->setWordWrap(false);
  tvTopics->setSortingEnabled(true);
  tvTopics->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
  tvTopics->horizontalHeader()->setHighlightSections(false);
  applySheet(tvTopics, devExpressSheet());
  CppWebBrowser1 = new QWebEngineView;
  CppWebBrowser1->setObjectName(QStringLiteral("CppWebBrowser1"));
  cxSplitter2->addWidget(tvTopics);
  cxSplitter2->addWidget(CppWebBrowser1);
  cxSplitter2->setStretchFactor(0, 0);
  cxSplitter2->setStretchFactor(1, 1);
  cxSplitter2->setSizes({184, 315});
  right->addWidget(cxSplitter2);

  OpenDialog1 = new QFileDialog(w);
  OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
  OpenDialog1->setFileMode(QFileDialog::ExistingFile);
  OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
  OpenDialog1->setNameFilter(QStringLiteral("*.opk (*.opk)"));
  OpenDialog1->setDirectory(QStringLiteral("."));

  // Our own look in place of the stored skin.
  w->setStyleSheet(QStringLiteral(
      "QToolBar { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #f7f9fc, stop:1 #dde6f2); "
      "border-bottom: 1px solid #a4c4eb; spacing: 2px; }"
      "QToolButton { padding: 2px 8px; }"
      "QToolButton:hover { background: #ffe9a8; border: 1px solid #f2a33a; }"
      "QStatusBar { background: #eef2f8; }"
      "QProgressBar { border: 1px solid #8aa8cf; background: white; }"
      "QProgressBar::chunk { background: #316ac5; }"));
}

void MainWindowLayout::applyColumns() {
  tvCategory->setColumnWidth(CategoryModel::Name, 238);
  tvCategory->setColumnWidth(CategoryModel::Topics, 48);
  tvCategory->setColumnWidth(CategoryModel::Visits, 54);
  tvCategory->setColumnWidth(CategoryModel::LastPost, 124);
  tvCategory->setColumnHidden(CategoryModel::CatId, true);
  tvCategory->setColumnHidden(CategoryModel::ForumId, true);
}

KeyStatePanel::KeyStatePanel(QWidget* parent) : QLabel(parent) {
  qApp->installEventFilter(this);
  refresh();
}

void KeyStatePanel::toggleInsert() {
  overwrite_ = !overwrite_;
  refresh();
}

bool KeyStatePanel::eventFilter(QObject* watched, QEvent* event) {
  // One toggle per key press, whichever widget receives it.
  if (event->type() == QEvent::KeyPress && watched->isWidgetType() && watched == QApplication::focusWidget()) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Insert && !key->isAutoRepeat()) toggleInsert();
  }
  return QLabel::eventFilter(watched, event);
}

void KeyStatePanel::refresh() {
  setText(QStringLiteral("<span style='color:gray'>CAPS&nbsp;&nbsp;NUM&nbsp;&nbsp;SCRL</span>&nbsp;&nbsp;%1")
              .arg(overwrite_ ? QStringLiteral("OVR") : QStringLiteral("INS")));
}

}  // namespace ui
