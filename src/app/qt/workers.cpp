// The worker pool and the hand-over between workers and the GUI thread.
#include "app/qt/workers.h"

#include <QCoreApplication>
#include <QEvent>
#include <QRunnable>
#include <QThread>
#include <QThreadPool>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <set>

#include "app/qt/log.h"
#include "net/http.h"
#include "net/request_job.h"

namespace tarnwick::app {

namespace {

// Never deleted: a worker that outlived the bounded wait at exit must not
// make the pool's destructor wait for it.
QThreadPool* pool() {
  static QThreadPool* p = [] {
    auto* created = new QThreadPool;
    // Workers mostly wait on the network; many may wait at once.
    created->setMaxThreadCount(64);
    created->setExpiryTimeout(10000);
    return created;
  }();
  return p;
}

std::atomic<bool> g_stopping{false};
std::atomic<int> g_active{0};

std::mutex g_jobsMutex;
std::set<std::shared_ptr<net::RequestJob>>& jobs() {
  static auto* set = new std::set<std::shared_ptr<net::RequestJob>>;
  return *set;
}

// Wakes every callOnGuiAndWait when the pool stops.
std::mutex g_waitMutex;
std::condition_variable g_waitCv;

// Qt's event queue and thread pool order a hand-over before the receiving
// thread runs it, with locks inside Qt that a thread-sanitizer build cannot
// see. Every hand-over is therefore built whole in our code before it is
// marked and passed on, and the receiver marks it taken first; the marks
// tell the sanitizer that order (they are nothing in other builds).
#if defined(__SANITIZE_THREAD__)
#define TARNWICK_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TARNWICK_TSAN 1
#endif
#endif
#ifdef TARNWICK_TSAN
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
char g_handOver;
void markHandedOver() { __tsan_release(&g_handOver); }
void markTakenOver() { __tsan_acquire(&g_handOver); }
#else
void markHandedOver() {}
void markTakenOver() {}
#endif

// A call for the GUI thread, posted as an event to an object that lives there.
class CallEvent : public QEvent {
 public:
  explicit CallEvent(std::function<void()> f) : QEvent(type()), m_f(std::move(f)) {}
  // Also when Qt deletes it undelivered (the application ends first).
  ~CallEvent() override { markTakenOver(); }
  static QEvent::Type type() {
    static const auto t = static_cast<QEvent::Type>(QEvent::registerEventType());
    return t;
  }
  void call() { m_f(); }

 private:
  std::function<void()> m_f;
};

class GuiCaller : public QObject {
 public:
  bool event(QEvent* e) override {
    markTakenOver();  // before the first read of the event
    if (e->type() != CallEvent::type()) return QObject::event(e);
    static_cast<CallEvent*>(e)->call();
    return true;
  }
};

// Created on first use (any thread) and moved to the GUI thread; never
// deleted, as a call may be posted to it up to the end.
QObject* guiCaller(QCoreApplication* app) {
  static GuiCaller* caller = [app] {
    auto* c = new GuiCaller;
    c->moveToThread(app->thread());
    return c;
  }();
  return caller;
}

class WorkerRun : public QRunnable {
 public:
  explicit WorkerRun(std::function<void()> job) : m_job(std::move(job)) { setAutoDelete(true); }
  void run() override {
    markTakenOver();
    m_job();
  }

 private:
  std::function<void()> m_job;
};

bool onGuiThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return app && QThread::currentThread() == app->thread();
}

}  // namespace

void startWorker(std::function<void()> job) {
  if (g_stopping.load()) return;
  ++g_active;
  auto* run = new WorkerRun([job = std::move(job)] {
    try {
      job();
    } catch (const std::exception& e) {
      qCCritical(lcApp) << "worker failed:" << e.what();
    } catch (...) {
      qCCritical(lcApp) << "worker failed";
    }
    --g_active;
  });
  markHandedOver();
  pool()->start(run);
}

void runOnGui(std::function<void()> f) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return;
  auto* call = new CallEvent(std::move(f));
  QObject* caller = guiCaller(app);
  markHandedOver();
  QCoreApplication::postEvent(caller, call);
}

void runOnGui(QPointer<QObject> context, std::function<void()> f) {
  runOnGui([context, f = std::move(f)] {
    if (context) f();
  });
}

void callOnGuiAndWait(std::function<void()> f) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return;
  if (onGuiThread()) {
    f();
    return;
  }
  // started/done under g_waitMutex; abandoned when the pool stopped before the
  // GUI thread took f up (f refers to this worker's stack and must not run then).
  struct State {
    bool started = false, done = false, abandoned = false;
  };
  auto state = std::make_shared<State>();
  runOnGui([state, &f] {
    {
      std::lock_guard lock(g_waitMutex);
      if (state->abandoned) return;
      state->started = true;
    }
    f();
    {
      std::lock_guard lock(g_waitMutex);
      state->done = true;
    }
    g_waitCv.notify_all();
  });
  std::unique_lock lock(g_waitMutex);
  while (!state->done) {
    if (!state->started && g_stopping.load()) {
      state->abandoned = true;
      return;
    }
    g_waitCv.wait_for(lock, std::chrono::milliseconds(50));
  }
}

void registerJob(const std::shared_ptr<net::RequestJob>& job) {
  std::lock_guard lock(g_jobsMutex);
  jobs().insert(job);
  if (g_stopping.load()) job->cancel();
}

void unregisterJob(const std::shared_ptr<net::RequestJob>& job) {
  std::lock_guard lock(g_jobsMutex);
  jobs().erase(job);
}

bool stopWorkers(std::chrono::milliseconds timeout) {
  g_stopping.store(true);
  net::stopAllRequests();  // requests deep inside any worker end at once
  {
    std::lock_guard lock(g_jobsMutex);
    for (const auto& job : jobs()) job->cancel();
  }
  g_waitCv.notify_all();
  const bool done = pool()->waitForDone(static_cast<int>(timeout.count()));
  if (!done) qCWarning(lcApp) << "workers still running at exit:" << g_active.load();
  return done;
}

bool workersStopping() { return g_stopping.load(); }

void resumeWorkers() {
  g_stopping.store(false);
  net::allowRequests();
}

int activeWorkers() { return g_active.load(); }

}  // namespace tarnwick::app
