#pragma once

#include <QStringList>
#include <ostream>
#include <vector>

#include "support/recorders.h"

// Readable QStrings in test failures.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}
