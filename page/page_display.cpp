#include "page_display.h"

#include <QBuffer>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineView>

namespace page {

void registerPageScheme() {
  QWebEngineUrlScheme scheme(kPageScheme);
  scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
  scheme.setFlags(QWebEngineUrlScheme::SecureScheme);
  QWebEngineUrlScheme::registerScheme(scheme);
}

QUrl PageSchemeHandler::add(QByteArray bytes) {
  QString path = QStringLiteral("/topic/%1").arg(++serial_);
  pages_.emplace_back(path, std::move(bytes));
  while (pages_.size() > 8) pages_.pop_front();
  QUrl url;
  url.setScheme(QString::fromLatin1(kPageScheme));
  url.setPath(path);
  return url;
}

void PageSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job) {
  const QString path = job->requestUrl().path();
  for (const auto& [p, bytes] : pages_) {
    if (p != path) continue;
    auto* buffer = new QBuffer(job);
    buffer->setData(bytes);
    job->reply(kPageContentType, buffer);
    return;
  }
  job->fail(QWebEngineUrlRequestJob::UrlNotFound);
}

bool ReaderPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
  if (isMainFrame) settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, url.scheme() != QLatin1String(kPageScheme));
  return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
}

PageSchemeHandler* preparePageView(QWebEngineView* view) {
  auto* page = new ReaderPage(view);
  page->settings()->setAttribute(QWebEngineSettings::PluginsEnabled, false);
  view->setPage(page);
  // One handler for the profile, which every view of the process shares.
  QWebEngineProfile* profile = page->profile();
  if (auto* installed = const_cast<QWebEngineUrlSchemeHandler*>(profile->urlSchemeHandler(kPageScheme)))
    return static_cast<PageSchemeHandler*>(installed);
  auto* handler = new PageSchemeHandler(profile);
  profile->installUrlSchemeHandler(kPageScheme, handler);
  return handler;
}

void showPage(QWebEngineView* view, PageSchemeHandler* pages, const std::string& bytes) {
  view->setUrl(pages->add(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()))));
}

}  // namespace page
