#include "net/curl_driver.h"

#include <algorithm>

#include "net/curl_global.h"

namespace tarnwick::net {

CurlDriver::CurlDriver() {
  ensureCurlGlobal();
  m_multi = curl_multi_init();
}

CurlDriver::~CurlDriver() {
  if (m_multi) curl_multi_cleanup(m_multi);
}

void CurlDriver::wakeup() {
  if (m_multi) curl_multi_wakeup(m_multi);
}

CURLcode CurlDriver::run(CURL* easy, int pollMs, const Step& step) {
  if (!m_multi || !easy) return CURLE_FAILED_INIT;
  if (curl_multi_add_handle(m_multi, easy) != CURLM_OK) return CURLE_FAILED_INIT;
  CURLcode result = CURLE_OK;
  setPollMs(pollMs);
  for (;;) {
    int running = 0;
    if (curl_multi_perform(m_multi, &running) != CURLM_OK) {
      result = CURLE_FAILED_INIT;
      break;
    }
    bool done = false;
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(m_multi, &left)) {
      if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy) {
        result = msg->data.result;
        done = true;
      }
    }
    if (done) break;
    if (running == 0) {  // ended without a message: treat as a broken transfer
      result = CURLE_RECV_ERROR;
      break;
    }
    if (step) {
      const CURLcode stop = step();
      if (stop != CURLE_OK) {
        result = stop;
        break;
      }
    }
    int events = 0;
    curl_multi_poll(m_multi, nullptr, 0, std::min(m_nextPollMs, m_pollMs), &events);
    m_nextPollMs = events > 0 ? 1 : std::min(m_nextPollMs * 2, std::max(m_pollMs, 1));
  }
  curl_multi_remove_handle(m_multi, easy);
  return result;
}

}  // namespace tarnwick::net
