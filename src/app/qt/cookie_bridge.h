#pragma once
// Keeps the web engine's cookie store and the HTTP engine's store (net/
// cookies.h) in step: a cookie a page sets is copied into the HTTP store at
// once; the HTTP store's cookies are copied into the web engine before each
// navigation, so a sign-in on either side is seen by the other.
#include <QNetworkCookie>

#include "net/cookies.h"

class QWebEngineProfile;

namespace tarnwick::app {

QNetworkCookie toQtCookie(const net::Cookie& c);
net::Cookie fromQtCookie(const QNetworkCookie& c);

// Connects the profile's cookie store to the HTTP store (once per profile).
void attachCookieBridge(QWebEngineProfile* profile);
// Copies every cookie of the HTTP store into the attached web cookie store
// (nothing before a bridge is attached).
void pushNetCookiesToWeb();

}  // namespace tarnwick::app
