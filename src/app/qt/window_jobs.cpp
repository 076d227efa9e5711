#include "app/qt/window_jobs.h"

#include "app/qt/workers.h"
#include "net/http.h"

namespace tarnwick::app {

WindowJobs::WindowJobs(QObject* owner) : QObject(owner) { setObjectName(QStringLiteral("tarnwick-jobs")); }

WindowJobs::~WindowJobs() { cancelAll(); }

WindowJobs* WindowJobs::of(QObject* window) {
  if (!window) return nullptr;
  if (auto* jobs = window->findChild<WindowJobs*>(QStringLiteral("tarnwick-jobs"), Qt::FindDirectChildrenOnly))
    return jobs;
  return new WindowJobs(window);
}

void WindowJobs::cancelAll() {
  for (const auto& job : m_jobs) job->cancel();
  m_cancelRuns->store(true);
  m_cancelRuns = std::make_shared<std::atomic<bool>>(false);  // for work started later
}

bool WindowJobs::request(net::JobRequest what, QWidget* control, Done done) {
  auto job = std::make_shared<net::RequestJob>(std::move(what));
  auto result = std::make_shared<net::RequestJobResult>();
  m_jobs.insert(job);
  registerJob(job);
  QPointer<WindowJobs> self(this);
  const bool started = run(
      [job, result] {
        *result = job->run();
        unregisterJob(job);
      },
      control,
      [self, job, result, done = std::move(done)] {
        self->m_jobs.erase(job);
        if (!result->cancelled && done) done(*result);
      });
  if (!started) {
    m_jobs.erase(job);
    unregisterJob(job);
  }
  return started;
}

bool WindowJobs::run(std::function<void()> job, QWidget* control, std::function<void()> done) {
  if (workersStopping()) return false;
  QPointer<QWidget> button(control);
  if (button) button->setEnabled(false);
  ++m_pending;
  QPointer<QObject> self(this);
  startWorker([job = std::move(job), cancel = m_cancelRuns, self, button, done = std::move(done)] {
    try {
      net::RequestCancelScope scope(cancel.get());
      job();
    } catch (...) {
      // A failed job still reports back, so its control comes back to life.
    }
    runOnGui(self, [self, button, done] {
      --static_cast<WindowJobs*>(self.data())->m_pending;
      if (button) button->setEnabled(true);
      if (done) done();
    });
  });
  return true;
}

}  // namespace tarnwick::app
