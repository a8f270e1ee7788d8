#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QString>
#include <functional>

namespace test_support {

// The temporary folder that stands in for the user's home during this test program.
QString TemporaryHome();

// Runs the event loop until `condition` holds or `timeout_ms` passes; returns the condition.
bool WaitUntil(const std::function<bool()>& condition, int timeout_ms = 10000);

}  // namespace test_support
