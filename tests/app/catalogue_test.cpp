// The windows built from the catalogue, checked against the expected windows,
// controls, captions, items, menus and timers written out here.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <memory>

#include "app/qt/catalogue.h"
#include "app/qt/shell.h"
#include "app/qt/web_browser.h"
#include "net/text.h"

using namespace tarnwick::app;

namespace {

const QString kMain = QStringLiteral("Tarnwick客户端v2.3.3.8修正版");

struct ExpectedControl {
  const char* window;
  const char* name;
  const char* className;
  const char* text;  // caption / initial text; nullptr = not checked
  bool hidden;
};

// Samples of every kind, the captions users see, and the hidden slots whose
// exact texts other code depends on.
const ExpectedControl kControls[] = {
    {"main", "选择文件", "QPushButton", "选择文件", false},
    {"main", "上传按钮", "QPushButton", "上传", false},
    {"main", "选择框1", "QCheckBox", "使用极速秒传", false},
    {"main", "标签48", "QLabel", "上传至：默认文件夹", false},
    {"main", "标签49", "QLabel", "状态：准备就绪!", false},
    {"main", "进度条", "QProgressBar", nullptr, false},
    {"main", "超文本浏览框1", "tarnwick::app::WebBrowser", nullptr, false},
    {"main", "按钮3", "QPushButton", "首页", false},
    {"main", "按钮26", "QPushButton", "下一页", false},
    {"main", "按钮27", "QPushButton", "上一页", false},
    {"main", "按钮7", "QPushButton", "开通VIP", false},
    {"main", "编辑框4", "QPlainTextEdit", "", false},
    {"main", "标签18", "QLabel", "发送这个链接给您的朋友，您将赚取 90% 下线提成，以及永久获得该用户文件推广6%佣金。\r\n", false},
    {"main", "编辑框29", "QLineEdit", "", false},
    {"main", "标签28", "QLabel", "已提现：0元", false},
    {"main", "按钮13", "QPushButton", "获取中", false},
    {"main", "超级链接框2", "tarnwick::app::HyperlinkLabel", "[购买卡密]", false},
    {"main", "按钮21", "QPushButton", "搜索", false},
    {"main", "按钮28", "QPushButton", "开始下载", false},
    {"main", "按钮34", "QPushButton", "...", false},
    {"main", "编辑框49", "QLineEdit", "", false},
    // hidden
    {"main", "日志编辑框", "QPlainTextEdit", "", true},
    {"main", "编辑框48", "QPlainTextEdit", "", true},
    {"main", "文件路径编辑框", "QLineEdit", "", true},
    {"main", "编辑框1", "QLineEdit", "<div  style=\"height:35px;\">.*?id=\"x.*?\">", true},
    {"main", "编辑框5", "QLineEdit",
     "<div style=\"display:none;\">pid：.*?<文件名：.*?<大小：.*?<日期：.*?<下载量：.*?< </div>\r", true},
    {"main", "编辑框17", "QLineEdit",
     "<div style=\"margin-top:5px;\">.*?&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;.*?&nbsp;.*?</div>", true},
    {"main", "编辑框8", "QLineEdit", "id=\"dan\" value=\"", true},
    {"main", "编辑框26", "QLineEdit", "id=\"fwmm\" value=\"", true},
    {"main", "编辑框27", "QLineEdit", "id=\"body\" cols=\"60\" rows=\"10\">", true},
    {"main", "编辑框30", "QLineEdit", "id=\"btn3qzsf\" style=\"width:325px;\">", true},
    {"main", "编辑框35", "QLineEdit",
     "<div style=\"margin-bottom:5px;    margin-top: 5px;\">.*?&nbsp;.*?&nbsp;.*?</div>", true},
    {"main", "编辑框36", "QLineEdit", "5px;\">", true},
    {"main", "编辑框37", "QLineEdit", "display:none;\">", true},
    {"main", "编辑框42", "QLineEdit",
     "<div style=\"float:left; padding-top:5px;\">.*?&nbsp;&nbsp&nbsp;.*?</div></div>", true},
    {"main", "编辑框31", "QLineEdit", "公告列表：", true},
    {"main", "编辑框32", "QLineEdit", "<div title=\"今天不再显示该窗口\"", true},
    {"main", "编辑框13", "QLineEdit", "123", true},
    {"main", "编辑框3", "QLineEdit", "", true},
    {"main", "按钮19", "QPushButton", "√开启了强制收费模式", true},
    {"main", "按钮33", "QPushButton", "托盘显示", true},
    {"main", "按钮16", "QPushButton", "下载列表", true},
    {"main", "标签45", "QLabel", "下载速度：0KB", true},
    {"main", "组合框5", "QComboBox", nullptr, true},
    // dialogs
    {"Tarnwick登录", "编辑框1", "QLineEdit", "", false},
    {"Tarnwick登录", "按钮4", "QPushButton", "QQ登录", false},
    {"Tarnwick登录", "选择框1", "QCheckBox", "记住帐号密码（公共场所慎选）", false},
    {"帐号注册", "超级链接框1", "tarnwick::app::HyperlinkLabel", "《使用条款》", false},
    {"帐号注册", "选择框1", "QCheckBox", "同意", false},
    {"创建文件夹", "编辑框1", "QLineEdit", "<div  style=\"height:35px;\">.*?id=\"x.*?\">", true},
    {"创建文件夹", "按钮5", "QPushButton", "修改", false},
    {"QQ互联登录", "超文本浏览框1", "tarnwick::app::WebBrowser", nullptr, false},
    {"提现记录", "编辑框1", "QPlainTextEdit", "", false},
    {"找回密码", "编辑框7", "QLineEdit", "", false},
    {"创建外链文件", "编辑框2", "QLineEdit", "http://", false},
    {"文件夹新名称", "按钮1", "QPushButton", "重置", false},
    {"文件操作", "按钮2", "QPushButton", "删除", false},
    {"使用条款", "编辑框1", "QPlainTextEdit", nullptr, false},
    {"公告", "编辑框1", "QPlainTextEdit", "", false},
};

QString readCaption(QWidget* w) {
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
  if (auto* e = qobject_cast<QPlainTextEdit*>(w)) return e->toPlainText();
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
  return {};
}

}  // namespace

class CatalogueTest : public QObject {
  Q_OBJECT
  std::unique_ptr<QWidget> m_main;
  std::map<QString, std::unique_ptr<QWidget>> m_dialogs;

  QWidget* window(const QString& title) {
    if (title == "main") return m_main.get();
    auto& slot = m_dialogs[title];
    if (!slot) slot.reset(buildWindow(title));
    return slot.get();
  }

 private slots:
  void initTestCase() {
    m_main = std::make_unique<QWidget>();
    QVERIFY(buildWindow(kMain, m_main.get()) == m_main.get());
  }

  void windowsHaveTitlesAndSizes() {
    const std::pair<const char*, QSize> windows[] = {
        {"Tarnwick登录", {302, 354}}, {"帐号注册", {279, 340}},     {"创建文件夹", {285, 228}},
        {"QQ互联登录", {521, 456}},   {"开通VIP", {287, 182}},      {"提现记录", {271, 228}},
        {"找回密码", {302, 612}},     {"创建外链文件", {291, 229}}, {"文件夹新名称", {299, 187}},
        {"文件操作", {262, 116}},     {"使用条款", {380, 250}},     {"公告", {380, 248}},
    };
    QCOMPARE(m_main->objectName(), kMain);
    QCOMPARE(m_main->windowTitle(), kMain);
    QCOMPARE(m_main->size(), QSize(665, 422));
    QCOMPARE(catalogueWindowTitles().size(), 13);
    for (const auto& [title, size] : windows) {
      QWidget* w = window(QString::fromUtf8(title));
      QVERIFY2(w, title);
      QCOMPARE(w->objectName(), QString::fromUtf8(title));
      QCOMPARE(w->windowTitle(), QString::fromUtf8(title));
      QCOMPARE(w->size(), size);
    }
    QVERIFY(buildWindow(QStringLiteral("没有这个窗口")) == nullptr);
  }

  void controlsHaveKindCaptionAndVisibility() {
    for (const ExpectedControl& c : kControls) {
      QWidget* w = window(QString::fromUtf8(c.window));
      QWidget* ctl = control(w, QString::fromUtf8(c.name));
      QVERIFY2(ctl, c.name);
      QCOMPARE(QString::fromLatin1(ctl->metaObject()->className()), QString::fromLatin1(c.className));
      if (c.text) QCOMPARE(readCaption(ctl), QString::fromUtf8(c.text));
      QCOMPARE(ctl->isVisibleTo(ctl->parentWidget()), !c.hidden);
    }
  }

  void hiddenSlotKeepsExactBytesIncludingCarriageReturn() {
    const std::string pattern = controlText(m_main.get(), QStringLiteral("编辑框5"));
    QVERIFY(!pattern.empty());
    QCOMPARE(pattern.back(), '\r');
    QCOMPARE(pattern, tarnwick::net::fromUtf8(
                          "<div style=\"display:none;\">pid：.*?<文件名：.*?<大小：.*?<日期：.*?<下载量：.*?< </div>\r"));
    // A hidden slot is written and read like a visible box, long texts included.
    const std::string page(100000, 'x');
    setControlText(m_main.get(), QStringLiteral("编辑框39"), page);
    QCOMPARE(controlText(m_main.get(), QStringLiteral("编辑框39")).size(), page.size());
  }

  void geometryOfSampledControls() {
    const std::pair<const char*, QRect> samples[] = {
        {"选择夹1", {13, 17, 635, 370}}, {"超级列表框1", {186, 51, 434, 276}}, {"组合框1", {254, 335, 48, 20}},
        {"按钮28", {366, 275, 101, 28}}, {"超文本浏览框2", {11, 31, 612, 320}},
    };
    // Positions on a tab page count from the tab control's own corner, tab row
    // included, so that a page's controls all fit inside the control.
    m_main->show();
    QCoreApplication::processEvents();
    for (const auto& [name, rect] : samples) {
      QWidget* w = control(m_main.get(), QString::fromUtf8(name));
      // Bring the control's pages to the front so their tab controls lay out.
      for (QWidget* p = w; p && p != m_main.get(); p = p->parentWidget())
        if (auto* t = qobject_cast<QTabWidget*>(p->parentWidget() ? p->parentWidget()->parentWidget() : nullptr))
          t->setCurrentWidget(p);
      QCoreApplication::processEvents();
      QWidget* tabs = w->parentWidget();
      while (tabs && tabs != m_main.get() && !qobject_cast<QTabWidget*>(tabs)) tabs = tabs->parentWidget();
      QCOMPARE(QRect(w->mapTo(tabs, QPoint(0, 0)), w->size()), rect);
      if (tabs != m_main.get()) QVERIFY(tabs->rect().contains(QRect(w->mapTo(tabs, QPoint(0, 0)), w->size())));
    }
    m_main->hide();
    QCOMPARE(control(window("Tarnwick登录"), QStringLiteral("按钮3"))->geometry(), QRect(168, 160, 96, 32));
  }

  void tabPagesInOrder() {
    const std::pair<const char*, QStringList> tabs[] = {
        {"选择夹1", {"上传文件", "文件", "个人", "下线", "安全", "提现", "设置", "反馈", "搜索", "记录", "下载列表"}},
        {"选择夹3", {"客户端上传", "最近已完成（客户端）", "网页上传", "最近已完成（网页）"}},
        {"选择夹2", {"下载中", "已完成"}},
    };
    for (const auto& [name, pages] : tabs) {
      auto* t = control<QTabWidget>(m_main.get(), QString::fromUtf8(name));
      QVERIFY(t);
      QCOMPARE(t->count(), pages.size());
      for (int i = 0; i < pages.size(); ++i) {
        QCOMPARE(t->tabText(i), pages[i]);
        QCOMPARE(t->widget(i)->objectName(), pages[i]);
      }
    }
    // Nested tab controls sit on their pages.
    auto* outer = control<QTabWidget>(m_main.get(), QStringLiteral("选择夹1"));
    QVERIFY(outer->widget(0)->findChild<QTabWidget*>(QStringLiteral("选择夹3")));
    QVERIFY(outer->widget(10)->findChild<QTabWidget*>(QStringLiteral("选择夹2")));
    QVERIFY(outer->widget(1)->findChild<QWidget*>(QStringLiteral("超级列表框1")));
  }

  void comboItemsAndListColumns() {
    QCOMPARE(control<QComboBox>(m_main.get(), QStringLiteral("组合框4"))->count(), 2);
    QCOMPARE(control<QComboBox>(m_main.get(), QStringLiteral("组合框6"))->itemText(1), QStringLiteral("同名更改"));
    auto* permissions = control<QComboBox>(m_main.get(), QStringLiteral("组合框7"));
    QCOMPARE(permissions->itemText(3), QStringLiteral("只能手机访问"));
    auto* modes = control<QComboBox>(m_main.get(), QStringLiteral("组合框2"));
    QCOMPARE(modes->count(), 4);
    QCOMPARE(modes->itemText(2), QStringLiteral("收费模式3，别人下载您的文件必须开通VIP，获得90%提成。"));
    auto* files = control<QTreeWidget>(m_main.get(), QStringLiteral("超级列表框1"));
    QCOMPARE(files->columnCount(), 4);
    QCOMPARE(files->headerItem()->text(3), QStringLiteral("下载量"));
    QCOMPARE(files->columnWidth(0), 250);
    QCOMPARE(control<QTreeWidget>(m_main.get(), QStringLiteral("超级列表框2"))->headerItem()->text(3),
             QStringLiteral("pid"));
    QCOMPARE(control<QTreeWidget>(m_main.get(), QStringLiteral("超级列表框4"))->columnCount(), 4);
  }

  void menusWithItemsInOrder() {
    const std::pair<const char*, QStringList> menus[] = {
        {"菜单", {"删除选中文件", "打开选中文件(网页)", "添加进下载列表", "移动选中文件", "获取文件分享链接",
                  "复制文件直链", "上传文件到此", "创建外链"}},
        {"目录", {"刷新文件夹", "打开文件夹(网页)", "删除文件夹", "重命名", "获取文件夹分享链接", "创建文件夹",
                  "上传文件到此处", "创建外链文件"}},
        {"搜索", {"打开"}},
        {"托盘", {"登录网页版", "打开软件", "注销", "退出"}},
        {"完成菜单", {"打开文件", "访问文件夹"}},
        {"开始菜单", {"删除任务"}},
        {"上传菜单", {"删除该上传任务"}},
        {"上传完成菜单", {"打开该文件", "打开文件夹", "打开网页文件链接", "复制网页分享链接", "复制该文件直链"}},
    };
    for (const auto& [name, items] : menus) {
      auto* m = m_main->findChild<QMenu*>(QString::fromUtf8(name));
      QVERIFY2(m, name);
      const QList<QAction*> actions = m->actions();
      QCOMPARE(actions.size(), items.size());
      for (int i = 0; i < items.size(); ++i) {
        QCOMPARE(actions[i]->text(), items[i]);
        QCOMPARE(actions[i]->objectName(), items[i]);
      }
    }
  }

  void timersWithIntervals() {
    const std::tuple<const char*, const char*, int> timers[] = {
        {"main", "时钟3", 30000}, {"main", "时钟5", 2000}, {"main", "上传速度时钟", 0},
        {"main", "时钟2", 1500},  {"main", "时钟4", 1000}, {"main", "时钟1", 1000},
        {"QQ互联登录", "时钟1", 3000},
    };
    for (const auto& [win, name, interval] : timers) {
      auto* t = window(QString::fromUtf8(win))->findChild<QTimer*>(QString::fromUtf8(name));
      QVERIFY2(t, name);
      QCOMPARE(t->interval(), interval);
      QCOMPARE(t->isActive(), interval > 0);
    }
  }

  void mainWindowNamesAreUnique() {
    // Every named widget of the main window is found once; the only shared
    // name is the page 搜索 and the popup menu 搜索, which differ in type.
    QMap<QString, int> seen;
    for (QWidget* w : m_main->findChildren<QWidget*>()) {
      // Qt's own inner widgets carry ASCII names; catalogue names do not.
      if (w->objectName().isEmpty() || w->objectName().at(0).unicode() < 0x80) continue;
      if (qobject_cast<QMenu*>(w) && w->objectName() == QStringLiteral("搜索")) continue;
      ++seen[w->objectName()];
    }
    for (auto it = seen.cbegin(); it != seen.cend(); ++it) QVERIFY2(it.value() == 1, qPrintable(it.key()));
    QVERIFY(seen.size() > 150);  // the whole catalogue was walked
  }

  void termsTextOpensAndClosesAsWritten() {
    const QString terms = readCaption(control(window("使用条款"), QStringLiteral("编辑框1")));
    QVERIFY(terms.startsWith(QStringLiteral("欢迎来到Tarnwick免费在线文件分享服务, 此为Tarnwick提供。")));
    QVERIFY(terms.endsWith(QStringLiteral("请不要打破以上条款，感谢您。")));
    for (const char* section : {"1. 公司规定", "2. 合理使用", "3. 免责声明", "4. 链结第三方网站", "5. 会员帐号、密码及安全",
                                "6. 服务说明"})
      QVERIFY2(terms.contains(QString::fromUtf8(section)), section);
  }

  void webViewIsNotCreatedByTheBuilder() {
    auto* b = control<WebBrowser>(m_main.get(), QStringLiteral("超文本浏览框1"));
    QVERIFY(b && !b->hasView());
  }
};

QTEST_MAIN(CatalogueTest)
#include "catalogue_test.moc"
