#pragma once

#include <QString>
#include <QStringList>
#include <atomic>

// A list file read whole for opening, before anything in the list changes.
struct OpenedList {
  enum class Outcome {
    Read,
    Unreadable,  // no readable regular file: shown as "OpenOpenError"
    TooLong,     // over kListFileSizeLimit bytes or kListRecordLimit records
  };
  Outcome outcome = Outcome::Unreadable;
  // When read: the entries the list keeps, followed by the file's records.
  QStringList texts;
  qsizetype records = 0;  // how many of `texts` came from the file
};

// Reads the list file at `path` and puts its records after `kept`. Building the whole new list
// here lets a caller on the event loop take it in one swap. `stop` ends the reading early; the
// outcome is then Unreadable.
OpenedList ReadListForOpening(const QString& path, QStringList kept, const std::atomic<bool>& stop);
