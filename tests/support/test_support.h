#pragma once

#include <signal.h>
#include <sys/resource.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QString>
#include <functional>

namespace test_support {

// The temporary folder that stands in for the user's home during this test program.
QString TemporaryHome();

// Removes `path` and everything below it, whatever the names hold: QDir skips a name that is
// not UTF-8, and the folder holding it stays behind.
void RemoveTree(const QString& path);

// Runs the event loop until `condition` holds or `timeout_ms` passes; returns the condition.
bool WaitUntil(const std::function<bool()>& condition, int timeout_ms = 10000);

// Holds the file size limit low for the life of the object, as on a full disk.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    saved_handler_ = signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved_;
    limited.rlim_cur = bytes;
    active_ = setrlimit(RLIMIT_FSIZE, &limited) == 0;
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, saved_handler_);
  }
  bool active() const { return active_; }

 private:
  rlimit saved_{};
  sighandler_t saved_handler_ = SIG_DFL;
  bool active_ = false;
};

}  // namespace test_support
