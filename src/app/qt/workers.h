#pragma once
// Work off the GUI thread. Every worker runs on one tracked pool; at exit the
// start routine stops the pool: it accepts no more work, cancels the request
// jobs that run, and waits a bounded time for the workers to end.
//
// Thread rule: only the GUI thread touches widgets. A worker reads what it
// needs before it starts (or asks the GUI thread with callOnGuiAndWait) and
// hands every write back with runOnGui.

#include <QObject>
#include <QPointer>
#include <chrono>
#include <functional>
#include <memory>

namespace tarnwick::net {
class RequestJob;
}

namespace tarnwick::app {

// Runs job on the worker pool and returns at once; dropped once the pool is
// stopping.
void startWorker(std::function<void()> job);
// Runs f on the GUI thread (queued; returns at once).
void runOnGui(std::function<void()> f);
// Runs f on the GUI thread unless context is gone by then (queued). Make the
// QPointer on the GUI thread, while the object surely exists.
void runOnGui(QPointer<QObject> context, std::function<void()> f);
// Runs f on the GUI thread and waits for it (use sparingly from workers).
// When the pool stops before the GUI thread took f up, f is not run and the
// call returns.
void callOnGuiAndWait(std::function<void()> f);

// Request jobs that run are registered, so that stopping cancels them.
void registerJob(const std::shared_ptr<net::RequestJob>& job);
void unregisterJob(const std::shared_ptr<net::RequestJob>& job);

// Stops the pool: no new work, every registered job cancelled, then waits up
// to timeout for the workers. True when none is left.
bool stopWorkers(std::chrono::milliseconds timeout);
// True between stopWorkers and resumeWorkers; long workers (polls) end then.
bool workersStopping();
// The start routine accepts work again (tests run it more than once).
void resumeWorkers();
// Workers running or queued now.
int activeWorkers();

}  // namespace tarnwick::app
