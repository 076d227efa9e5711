#include "app/qt/cookie_bridge.h"

#include <QDateTime>
#include <QPointer>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>

#include "app/qt/log.h"

namespace tarnwick::app {

namespace {
QPointer<QWebEngineCookieStore> g_store;
}

QNetworkCookie toQtCookie(const net::Cookie& c) {
  QNetworkCookie q(QByteArray::fromStdString(c.name), QByteArray::fromStdString(c.value));
  QString domain = QString::fromStdString(c.domain);
  if (c.includeSubdomains && !domain.startsWith(u'.')) domain.prepend(u'.');
  q.setDomain(domain);
  q.setPath(c.path.empty() ? QStringLiteral("/") : QString::fromStdString(c.path));
  q.setSecure(c.secure);
  q.setHttpOnly(c.httpOnly);
  if (c.expires > 0) q.setExpirationDate(QDateTime::fromSecsSinceEpoch(c.expires));
  return q;
}

net::Cookie fromQtCookie(const QNetworkCookie& q) {
  net::Cookie c;
  QString domain = q.domain();
  if (domain.startsWith(u'.')) {
    c.includeSubdomains = true;
    domain.remove(0, 1);
  }
  c.domain = domain.toStdString();
  c.path = q.path().isEmpty() ? "/" : q.path().toStdString();
  c.secure = q.isSecure();
  c.httpOnly = q.isHttpOnly();
  c.expires = q.isSessionCookie() ? 0 : q.expirationDate().toSecsSinceEpoch();
  c.name = q.name().toStdString();
  c.value = q.value().toStdString();
  return c;
}

void attachCookieBridge(QWebEngineProfile* profile) {
  QWebEngineCookieStore* store = profile->cookieStore();
  if (g_store == store) return;
  g_store = store;
  QObject::connect(store, &QWebEngineCookieStore::cookieAdded, store, [](const QNetworkCookie& c) {
    if (c.domain().isEmpty()) return;
    net::setCookie(fromQtCookie(c));
  });
  store->loadAllCookies();
  pushNetCookiesToWeb();
}

void pushNetCookiesToWeb() {
  if (!g_store) return;
  for (const net::Cookie& c : net::allCookies()) {
    if (c.domain.empty() || c.name.empty()) continue;
    const QString scheme = c.secure ? QStringLiteral("https://") : QStringLiteral("http://");
    g_store->setCookie(toQtCookie(c), QUrl(scheme + QString::fromStdString(c.domain) + u'/'));
  }
}

}  // namespace tarnwick::app
