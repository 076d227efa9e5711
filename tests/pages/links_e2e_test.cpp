// Every hyperlink of every window of the catalogue opens a page that the
// service serves: the walk builds each window as the user gets it and asks
// the local service for each link's target.
#include <QApplication>
#include <QTest>
#include <memory>

#include "app/qt/catalogue.h"
#include "app/qt/hyperlink_label.h"
#include "net/http.h"

using namespace tarnwick;

class LinksE2E : public QObject {
  Q_OBJECT
 private slots:
  void everyLinkTargetIsServed() {
    int walked = 0;
    for (const QString& title : app::catalogueWindowTitles()) {
      std::unique_ptr<QWidget> window(app::buildWindow(title));
      QVERIFY(window);
      for (auto* link : window->findChildren<app::HyperlinkLabel*>()) {
        const QString target = link->target();
        if (target.isEmpty()) continue;  // a link that opens a window of the client
        const net::RequestResult r = net::performFetch(target.toStdString(), {});
        const QString where = title + " " + link->objectName() + " " + target;
        QVERIFY2(r.ok(), qPrintable(where + ": " + QString::fromStdString(r.error)));
        QVERIFY2(r.status == 200, qPrintable(where + ": status " + QString::number(r.status)));
        ++walked;
      }
    }
    QVERIFY(walked >= 4);  // 设置, 反馈 and the two of 开通VIP at least
  }
};

QTEST_MAIN(LinksE2E)
#include "links_e2e_test.moc"
