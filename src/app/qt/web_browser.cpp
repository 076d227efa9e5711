#include "app/qt/web_browser.h"

#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include "app/qt/cookie_bridge.h"

namespace tarnwick::app {

namespace {

// Brings the HTTP engine's cookies into the web engine before every
// navigation, including those a page starts itself (links, scripts).
class BridgePage : public QWebEnginePage {
 public:
  using QWebEnginePage::QWebEnginePage;

 protected:
  bool acceptNavigationRequest(const QUrl&, NavigationType, bool) override {
    pushNetCookiesToWeb();
    return true;
  }
};

}  // namespace

WebBrowser::WebBrowser(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
}

QWebEngineView* WebBrowser::view() {
  if (m_view) return m_view;
  QWebEngineProfile* profile = QWebEngineProfile::defaultProfile();
  attachCookieBridge(profile);
  m_view = new QWebEngineView(this);
  m_view->setPage(new BridgePage(profile, m_view));
  layout()->addWidget(m_view);
  connect(m_view, &QWebEngineView::loadFinished, this, &WebBrowser::documentCompleted);
  return m_view;
}

void WebBrowser::navigate(const QUrl& url) {
  QWebEngineView* v = view();
  pushNetCookiesToWeb();
  v->load(url);
}

QUrl WebBrowser::url() const { return m_view ? m_view->url() : QUrl(); }

}  // namespace tarnwick::app
