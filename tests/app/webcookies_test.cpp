// Cookies flow both ways between the embedded web views and the HTTP
// engine: a cookie a page sets is sent by the next request, and a cookie a
// request received is sent by the next page load. A local HTTP server
// records the Cookie header of every request.
#include <httplib.h>

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QWebEngineView>
#include <mutex>
#include <thread>

#include "app/qt/cookie_bridge.h"
#include "app/qt/start.h"
#include "app/qt/web_browser.h"
#include "net/cookies.h"
#include "net/http.h"

using namespace tarnwick;

namespace {

class RecordingServer {
 public:
  RecordingServer() {
    m_server.Get("/page-sets", [](const httplib::Request&, httplib::Response& res) {
      res.set_header("Set-Cookie", "fromPage=p1; Path=/");
      res.set_content("<html><body>set</body></html>", "text/html");
    });
    m_server.Get("/script-sets", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("<html><script>document.cookie='fromScript=s1; path=/';</script></html>", "text/html");
    });
    m_server.Get("/request-sets", [](const httplib::Request&, httplib::Response& res) {
      res.set_header("Set-Cookie", "fromRequest=r1; Path=/");
      res.set_content("ok", "text/plain");
    });
    m_server.Get(R"(/echo.*)", [this](const httplib::Request& req, httplib::Response& res) {
      std::lock_guard lock(m_mutex);
      m_lastCookie = req.get_header_value("Cookie");
      res.set_content("<html><body>echo</body></html>", "text/html");
    });
    m_port = m_server.bind_to_any_port("127.0.0.1");
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
  }
  ~RecordingServer() {
    m_server.stop();
    m_thread.join();
  }
  std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(m_port) + path; }
  std::string lastCookie() {
    std::lock_guard lock(m_mutex);
    return m_lastCookie;
  }

 private:
  httplib::Server m_server;
  int m_port = 0;
  std::thread m_thread;
  std::mutex m_mutex;
  std::string m_lastCookie;
};

bool netHas(const std::string& name, const std::string& value) {
  for (const net::Cookie& c : net::allCookies())
    if (c.name == name && c.value == value) return true;
  return false;
}

}  // namespace

class WebCookiesTest : public QObject {
  Q_OBJECT
  RecordingServer m_server;
  app::WebBrowser* m_browser = nullptr;

  bool load(const std::string& path) {
    QSignalSpy done(m_browser, &app::WebBrowser::documentCompleted);
    m_browser->navigate(QUrl(QString::fromStdString(m_server.url(path))));
    return done.wait(30000) && done.first().first().toBool();
  }

 private slots:
  void initTestCase() {
    m_browser = new app::WebBrowser;
    m_browser->setObjectName(QStringLiteral("超文本浏览框1"));
    m_browser->resize(400, 300);
  }
  void cleanupTestCase() { delete m_browser; }

  void conversionKeepsEveryField() {
    net::Cookie c;
    c.domain = "pan.example.com";
    c.includeSubdomains = true;
    c.path = "/sc";
    c.secure = true;
    c.expires = 2000000000;
    c.name = "PHPSESSID";
    c.value = "abc";
    const QNetworkCookie q = app::toQtCookie(c);
    QCOMPARE(q.domain(), QStringLiteral(".pan.example.com"));
    const net::Cookie back = app::fromQtCookie(q);
    QCOMPARE(back.domain, c.domain);
    QVERIFY(back.includeSubdomains);
    QCOMPARE(back.path, c.path);
    QVERIFY(back.secure);
    QCOMPARE(back.expires, c.expires);
    QCOMPARE(back.name, c.name);
    QCOMPARE(back.value, c.value);
    c.includeSubdomains = false;
    c.expires = 0;
    const net::Cookie session = app::fromQtCookie(app::toQtCookie(c));
    QVERIFY(!session.includeSubdomains);
    QCOMPARE(session.expires, 0);
  }

  void cookieFromAPageIsSentByTheNextRequest() {
    QVERIFY(!m_browser->hasView());
    QVERIFY(load("/page-sets"));
    QTRY_VERIFY_WITH_TIMEOUT(netHas("fromPage", "p1"), 10000);
    QVERIFY(load("/script-sets"));
    QTRY_VERIFY_WITH_TIMEOUT(netHas("fromScript", "s1"), 10000);
    net::fetchUrl(m_server.url("/echo-fetch"));
    const std::string sent = m_server.lastCookie();
    QVERIFY2(sent.find("fromPage=p1") != std::string::npos, sent.c_str());
    QVERIFY2(sent.find("fromScript=s1") != std::string::npos, sent.c_str());
  }

  void cookieFromARequestIsSentByTheNextPage() {
    net::httpRequest(m_server.url("/request-sets"));
    QVERIFY(netHas("fromRequest", "r1"));
    QVERIFY(load("/echo-page"));
    const std::string sent = m_server.lastCookie();
    QVERIFY2(sent.find("fromRequest=r1") != std::string::npos, sent.c_str());
    // And the page's script sees it.
    QSignalSpy result(this, &WebCookiesTest::scriptResult);
    m_browser->view()->page()->runJavaScript(QStringLiteral("document.cookie"),
                                             [this](const QVariant& v) { emit scriptResult(v.toString()); });
    QVERIFY(result.wait(10000));
    QVERIFY(result.first().first().toString().contains(QStringLiteral("fromRequest=r1")));
  }

 signals:
  void scriptResult(const QString& cookies);
};

int main(int argc, char** argv) {
  app::prepareApplication();
  QApplication a(argc, argv);
  WebCookiesTest t;
  return QTest::qExec(&t, argc, argv);
}
#include "webcookies_test.moc"
