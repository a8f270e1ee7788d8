#include "support/test_support.h"

#include <QFile>
#include <filesystem>

namespace test_support {

void RemoveTree(const QString& path) {
  std::error_code ignored;
  std::filesystem::remove_all(QFile::encodeName(path).toStdString(), ignored);
}

bool WaitUntil(const std::function<bool()>& condition, int timeout_ms) {
  QDeadlineTimer deadline(timeout_ms);
  while (!condition()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
  }
  return true;
}

}  // namespace test_support
