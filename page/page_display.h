// Showing topic pages in the embedded browser. A page's bytes are served
// to Qt WebEngine through a URL scheme of ours with the content type
// "text/html; charset=gb18030" (Chromium reads the page's own gb2312 label
// as GBK and would lose what GBK lacks; setHtml cannot show pages over
// 2 MB). Pages of this scheme run no script: archived messages are
// shown with their markup, never with their code.
#pragma once

#include <QByteArray>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineUrlSchemeHandler>
#include <deque>
#include <utility>

class QWebEngineView;

namespace page {

inline constexpr const char* kPageScheme = "ostrel-page";
inline constexpr const char* kPageContentType = "text/html; charset=gb18030";

// Must run before the application object is made.
void registerPageScheme();

// The pages shown lately, by address.
class PageSchemeHandler : public QWebEngineUrlSchemeHandler {
 public:
  using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
  // Keeps the bytes and returns the address that serves them.
  QUrl add(QByteArray bytes);
  void requestStarted(QWebEngineUrlRequestJob* job) override;

 private:
  std::deque<std::pair<QString, QByteArray>> pages_;  // the newest last; a few kept for Back
  quint64 serial_ = 0;
};

// The browser's page: script runs only on pages from elsewhere (the
// download page), never on ours.
class ReaderPage : public QWebEnginePage {
 public:
  using QWebEnginePage::QWebEnginePage;

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
};

// Sets up a browser for topic pages (its page, the scheme's handler).
PageSchemeHandler* preparePageView(QWebEngineView* view);

// Shows page bytes in the view, in place of what it showed.
void showPage(QWebEngineView* view, PageSchemeHandler* pages, const std::string& bytes);

}  // namespace page
