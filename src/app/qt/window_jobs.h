#pragma once
// Requests made on behalf of a window, as jobs the window owns. A
// WindowJobs object is a child of its window: it runs each job on the worker
// pool and hands the result to the window with a queued call, so a result
// that arrives after the window is gone is dropped. The control that started
// a job is disabled until its result has been handled, and destroying the
// window (a dialog is deleted when it closes) cancels its jobs. No event loop
// is turned while a job waits.

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <set>

#include "net/request_job.h"

namespace tarnwick::app {

class WindowJobs : public QObject {
  Q_OBJECT
 public:
  using Done = std::function<void(const net::RequestJobResult&)>;

  explicit WindowJobs(QObject* owner);
  ~WindowJobs() override;

  // The jobs of window (created on first use).
  static WindowJobs* of(QObject* window);

  // Sends the request off the GUI thread; done(result) runs on the GUI thread while
  // this object (and so the window) exists. control, when given, is disabled
  // meanwhile and enabled again just before done runs. False when nothing was
  // started (the program is ending).
  bool request(net::JobRequest what, QWidget* control, Done done);
  // Any work: job() off the GUI thread, then done() on the GUI thread. The
  // requests job() makes end as cancelled when the window goes.
  bool run(std::function<void()> job, QWidget* control, std::function<void()> done);

  // Jobs started and not yet handled.
  int pending() const { return m_pending; }
  // Cancels every request job of this window (their results are dropped)
  // and every request that its running work makes.
  void cancelAll();

 private:
  std::set<std::shared_ptr<net::RequestJob>> m_jobs;
  std::shared_ptr<std::atomic<bool>> m_cancelRuns = std::make_shared<std::atomic<bool>>(false);
  int m_pending = 0;
};

}  // namespace tarnwick::app
