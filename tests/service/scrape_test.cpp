// The service's pages fetched with the client's own request engine (its
// process-wide cookie store carries the session) and read with its scraping
// helpers (Boost regex, GBK textBetween, iconv), against the running CTest
// service. The test registers its own member and builds what it reads, so
// other tests' changes to the demo data do not matter. A second client (for
// the watchdog) is a plain libcurl handle with a cookie store of its own.

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <set>
#include <string>

#include "net/form.h"
#include "net/http.h"
#include "net/regex.h"
#include "net/text.h"

namespace net = tarnwick::net;

namespace {

std::string g(const char* utf8) { return net::fromUtf8(utf8); }

std::string mainHost() {
  const char* host = std::getenv("TARNWICK_MAIN_HOST");
  return host ? host : "http://127.0.0.1:1";
}

// The client: the engine's fetchUrl for GETs, httpRequestText for form POSTs.
struct Client {
  std::string get(const std::string& path) { return net::fetchUrl(mainHost() + path); }
  std::string post(const std::string& path, const net::FormBuilder& form) {
    return net::httpRequestText(mainHost() + path, "POST", "", "", form.str());
  }
};

class Http {
 public:
  Http() : m_curl(curl_easy_init()) {
    curl_easy_setopt(m_curl, CURLOPT_COOKIEFILE, "");  // in-memory cookie engine, like one client
    curl_easy_setopt(m_curl, CURLOPT_TIMEOUT, 30L);
    curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, &Http::write);
  }
  ~Http() { curl_easy_cleanup(m_curl); }

  std::string get(const std::string& path) { return run(path, nullptr); }
  std::string post(const std::string& path, const net::FormBuilder& form) {
    const std::string body = form.str();
    return run(path, &body);
  }

 private:
  static size_t write(char* data, size_t size, size_t n, void* out) {
    static_cast<std::string*>(out)->append(data, size * n);
    return size * n;
  }
  std::string run(const std::string& path, const std::string* body) {
    std::string out;
    const std::string url = mainHost() + path;
    curl_easy_setopt(m_curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, &out);
    if (body) {
      curl_easy_setopt(m_curl, CURLOPT_POSTFIELDS, body->c_str());
      curl_easy_setopt(m_curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body->size()));
    } else {
      curl_easy_setopt(m_curl, CURLOPT_HTTPGET, 1L);
    }
    curl_easy_perform(m_curl);
    return out;
  }
  CURL* m_curl;
};

std::string uniqueAccount() {
  std::random_device rd;
  return "scrape" + std::to_string(rd() % 1000000);
}

class Scrape : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(std::getenv("TARNWICK_MAIN_HOST"), nullptr);
    m_account = uniqueAccount();
    net::FormBuilder reg;
    reg.add("zh1", m_account, net::Charset::Utf8).add("mm1", "pw1").add("cfmm1", "pw1")
        .add("zcyx", m_account + "@scrape.local", net::Charset::Utf8).add("xcfmm1", "1");
    ASSERT_EQ(m_http.post("/zc.php", reg), "3");
    net::FormBuilder login;
    login.add("zh", m_account, net::Charset::Utf8).add("mm", "pw1");
    const auto pieces = net::splitText(net::replaceText(m_http.post("/csx.php", login), "\r\n", ""), "x");
    ASSERT_EQ(pieces.size(), 3u);
    m_userId = pieces[0];
    EXPECT_EQ(pieces[1], m_account);
    EXPECT_EQ(pieces[2], m_account + "@scrape.local");
  }

  std::string createFolder(const std::string& gbkName, const std::string& parent) {
    net::FormBuilder f;
    f.add("fwmm", gbkName, net::Charset::Utf8).add("ejml", parent);
    const std::string reply = m_http.post("/post/cjml.php?zh=" + m_account, f);
    EXPECT_GE(net::replaceText(reply, "\r\n", "").size(), 3u);
    return reply.substr(2);  // "ok" + id
  }

  Client m_http;
  std::string m_account;
  std::string m_userId;
};

TEST_F(Scrape, FolderEntriesYieldIdsAndNames) {
  const std::string top = createFolder(g("资料"), "0");
  const std::string child = createFolder(g("下级 目录"), top);
  net::Regex re;
  ASSERT_TRUE(re.compile("<div  style=\"height:35px;\">.*?id=\"x.*?\">"));
  const auto& matches = re.findAll(m_http.get("/sc/index.php?zh=" + m_account + "&ml=0"));
  ASSERT_EQ(matches.size(), 3u);
  std::vector<std::pair<std::string, std::string>> got;
  for (const auto& m : matches) {
    const std::string s = net::textBetween(m.text, "margin-left: 10px;", "</a>");
    const std::string t = net::textBetween(s, "_blank", "&nbsp;");
    got.emplace_back(net::textBetween(s, "&ml=", "\""), t.substr(t.rfind('>') + 1));
  }
  EXPECT_EQ(got[0], std::make_pair(top, g("资料")));
  EXPECT_EQ(got[1], std::make_pair(child, g("下级 目录")));
  EXPECT_EQ(got[2], std::make_pair(std::string("0"), g("默认文件夹")));
  const std::string props = m_http.get("/mlsx.php?pid=" + child + "&zh=" + m_account);
  EXPECT_EQ(net::textBetween(props, "<option selected value=\"", "\""), top);
}

TEST_F(Scrape, ListingRowsAndPages) {
  std::set<std::string> names;
  for (int i = 0; i < 12; ++i) {
    const std::string name = g("外链") + std::to_string(i) + ".zip";
    names.insert(name);
    net::FormBuilder f;
    f.add("wjm", name).add("wldz", "http://example.com/" + std::to_string(i));
    ASSERT_EQ(m_http.post("/post/cjwjpc.php?mlpid=0&zh=" + m_account, f), "1");
  }
  net::Regex re;
  ASSERT_TRUE(re.compile(g("<div style=\"display:none;\">pid：.*?<文件名：.*?<大小：.*?<日期：.*?<下载量：.*?< </div>") +
                         "\r"));
  std::set<std::string> seen;
  for (int page = 0; page < 2; ++page) {
    const std::string html = m_http.get("/wdwj.php?pid=" + m_userId + "&ml=0&yms=" + std::to_string(page));
    EXPECT_EQ(net::textToInt(net::textBetween(html, g("总共有"), g("页"))), 2);
    const auto& rows = re.findAll(html);
    EXPECT_EQ(rows.size(), page == 0 ? 10u : 2u);
    for (const auto& m : rows) {
      EXPECT_GT(net::textToInt(net::textBetween(m.text, g(">pid："), "<")), 0);
      EXPECT_EQ(net::textBetween(m.text, g("大小："), "<"), "0B");
      EXPECT_EQ(net::textBetween(m.text, g("下载量："), "<"), "0");
      EXPECT_EQ(net::textBetween(m.text, g("日期："), "<").size(), 19u);
      seen.insert(net::textBetween(m.text, g("文件名："), "<"));
    }
  }
  EXPECT_EQ(seen, names);
}

TEST_F(Scrape, SettingsMarkersAndSearch) {
  net::FormBuilder pw;
  pw.add("body", g("公告"), net::Charset::Utf8).add("fwmm", "k9", net::Charset::Utf8);
  ASSERT_EQ(m_http.post("/post/cz1.php?pid=" + m_account, pw), "1");
  net::FormBuilder off;
  off.add("btn2", "1");
  m_http.post("/post/sz.php?pid=" + m_account, off);
  ASSERT_EQ(m_http.get("/post/szx.php?zh=" + m_account + "&lx=2&szqx=3"), "1");
  const std::string page = net::fromUtf8(m_http.get("/get/sz.php?pid=" + m_account));
  EXPECT_EQ(net::textToInt(net::textBetween(page, "selected [", "]")) - 1, 1);
  EXPECT_EQ(net::textToInt(net::textBetween(page, "selected]", "[")) - 1, 3);
  EXPECT_EQ(net::textBetween(page, "id=\"fwmm\" value=\"", "\""), "k9");
  EXPECT_EQ(net::textBetween(page, "id=\"body\" cols=\"60\" rows=\"10\">", "<"), g("公告"));
  EXPECT_EQ(net::textBetween(page, "id=\"btn2\" style=\"width:325px;\">", "<"), g("开启"));
  EXPECT_EQ(net::textBetween(page, "<p id=\"dan4\">", "<"), g("下载量公开：×"));

  const std::string folder = createFolder(g("找我"), "0");
  net::FormBuilder q;
  q.add("gjc", g("找"));
  const std::string hits = net::fromUtf8(m_http.post("/post/czwj1.php?pid=2", q));
  net::Regex re;
  ASSERT_TRUE(re.compile("<div style=\"margin-bottom:5px;    margin-top: 5px;\">.*?&nbsp;.*?&nbsp;.*?</div>"));
  const auto& matches = re.findAll(hits);
  ASSERT_EQ(matches.size(), 1u);
  EXPECT_EQ(net::textBetween(matches[0].text, "display:none;\">", "<"), folder);
  EXPECT_EQ(net::textBetween(matches[0].text, "5px;\">", "<"), g("找我"));
  EXPECT_EQ(net::textBetween(matches[0].text, "<xxx>", "<xxx>"), m_userId);
  EXPECT_EQ(net::textBetween(matches[0].text, "<qqq>", "<qqq>"), folder);
}

TEST_F(Scrape, RecordsFollowTheSessionCookie) {
  net::Regex re;
  ASSERT_TRUE(re.compile("<div style=\"float:left; padding-top:5px;\">.*?&nbsp;&nbsp&nbsp;.*?</div></div>"));
  const auto& rows = re.findAll(m_http.get("/sytj.php?yms=0"));
  ASSERT_EQ(rows.size(), 1u);  // this member's login
  const std::string row = net::replaceText(net::replaceText(rows[0].text, "&nbsp;", " "), "&nbsp", " ");
  EXPECT_NE(net::textBetween(row, ">", "<").find(g("   客户端登录成功")), std::string::npos);
  Http stranger;  // no session: no rows
  EXPECT_TRUE(re.findAll(stranger.get("/sytj.php?yms=0")).empty());
}

TEST_F(Scrape, WatchdogCutsOfBothPages) {
  const std::string current = m_http.get("/sc/index1.php?zh=" + m_account);
  EXPECT_EQ(net::textBetween(current, "sxwj.php?zh=", "\""), m_account);
  Http other;
  net::FormBuilder login;
  login.add("zh", m_account, net::Charset::Utf8).add("mm", "pw1");
  other.post("/csx.php", login);
  EXPECT_EQ(net::textBetween(m_http.get("/sc/index1.php?zh=" + m_account), "sxwj.php?zh=", "\""),
            "CTYPE html PUBLIC ");
}

}  // namespace
