#include "files/list_opening.h"

#include <sys/stat.h>

#include <QFile>
#include <utility>

#include "files/list_file.h"

namespace {
// A part of the file between two looks at the stop flag.
constexpr qint64 kPartBytes = 4 * 1024 * 1024;

bool LargerThanAnyList(const QString& path) {
  struct stat info {};
  return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode) &&
         info.st_size > kListFileSizeLimit;
}
}  // namespace

OpenedList ReadListForOpening(const QString& path, QStringList kept,
                              const std::atomic<bool>& stop) {
  OpenedList opened;
  ListFileReader reader;
  if (!reader.Open(path)) {
    opened.outcome =
        LargerThanAnyList(path) ? OpenedList::Outcome::TooLong : OpenedList::Outcome::Unreadable;
    return opened;
  }
  opened.texts = std::move(kept);
  const qsizetype kept_count = opened.texts.size();
  while (!reader.ReadSome(kPartBytes)) {
    if (stop.load(std::memory_order_relaxed)) return {};
    opened.texts.append(reader.TakeRecords());
  }
  if (reader.TooManyRecords()) {
    opened.outcome = OpenedList::Outcome::TooLong;
    opened.texts.clear();
    return opened;
  }
  opened.texts.append(reader.TakeRecords());
  opened.outcome = OpenedList::Outcome::Read;
  opened.records = opened.texts.size() - kept_count;
  return opened;
}
