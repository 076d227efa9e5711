#pragma once
// The web browser control of the catalogue. The web engine is expensive to
// start, so the QWebEngineView inside is created on first use (view() or
// navigate()), not when the window is built. Every view shares the default
// profile, whose cookie store is kept in step with the HTTP engine's store
// (cookie_bridge.h).
#include <QPointer>
#include <QUrl>
#include <QWidget>

class QWebEngineView;

namespace tarnwick::app {

class WebBrowser : public QWidget {
  Q_OBJECT
 public:
  explicit WebBrowser(QWidget* parent = nullptr);
  // The view, created on the first call.
  QWebEngineView* view();
  bool hasView() const { return !m_view.isNull(); }
  // Copies the HTTP engine's cookies into the web engine, then loads url.
  void navigate(const QUrl& url);
  QUrl url() const;

 signals:
  // A document finished loading (ok = false when it failed).
  void documentCompleted(bool ok);

 private:
  QPointer<QWebEngineView> m_view;
};

}  // namespace tarnwick::app
