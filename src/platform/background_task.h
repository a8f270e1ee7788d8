#pragma once

#include <QMetaObject>
#include <QObject>
#include <atomic>
#include <thread>
#include <utility>

// One piece of work done on a thread of its own, so that the event loop that asked for it keeps
// answering. The work gets everything it needs by value and shares nothing with the asker but the
// stop flag. Its result is handed over once, moved into a queued call of `done` on the thread of
// `context`; after that the work thread touches nothing. The destructor raises the stop flag and
// joins the thread, so no work outlives its owner, and a result not yet delivered is dropped.
class BackgroundTask {
 public:
  // `work` is called as work(stop) on the new thread and should return early once `stop` holds;
  // `done(result)` runs on `context`'s thread unless the task was stopped or `context` is gone.
  template <typename Work, typename Done>
  BackgroundTask(QObject* context, Work work, Done done) {
    thread_ =
        std::thread([this, context, work = std::move(work), done = std::move(done)]() mutable {
          auto result = work(stop_);
          if (stop_.load(std::memory_order_acquire)) return;
          QMetaObject::invokeMethod(
              context, [done, result = std::move(result)]() mutable { done(std::move(result)); },
              Qt::QueuedConnection);
        });
  }
  BackgroundTask(const BackgroundTask&) = delete;
  BackgroundTask& operator=(const BackgroundTask&) = delete;
  ~BackgroundTask() {
    stop_.store(true, std::memory_order_release);
    thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};
