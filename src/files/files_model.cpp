#include "files/files_model.h"

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <utility>

#include "platform/background_task.h"

namespace {
// Up to this many ranges are removed one by one (the views keep their scroll position); more
// are compacted in one pass behind a model reset.
constexpr size_t kMaxRangeRemovals = 16;

// Freeing this many texts takes a few milliseconds.
constexpr qsizetype kDiscardPart = 64 * 1024;
}  // namespace

FilesModel::FilesModel(QObject* parent) : QAbstractListModel(parent) {}

// A trim under way is joined here.
FilesModel::~FilesModel() = default;

void FilesModel::DiscardInParts(QStringList texts) {
  // Texts still shared elsewhere are not freed here at all.
  if (texts.size() <= kDiscardPart || !texts.isDetached()) return;
  DiscardPart(std::make_shared<QStringList>(std::move(texts)));
}

void FilesModel::DiscardPart(std::shared_ptr<QStringList> texts) {
  texts->resize(std::max<qsizetype>(0, texts->size() - kDiscardPart));
  if (texts->isEmpty()) {
    *texts = QStringList();
    GiveMemoryBack();
    return;
  }
  QMetaObject::invokeMethod(
      this, [this, texts = std::move(texts)] { DiscardPart(texts); }, Qt::QueuedConnection);
}

// Millions of small texts leave the heap full of free holes that the allocator keeps; without a
// trim a cleared list would hold its memory until Zavrik ends. The texts of a list read on its
// own thread lie in that thread's heap, which the window's thread does not wait for meanwhile.
void FilesModel::GiveMemoryBack() {
  if (memory_trim_) return;
  memory_trim_ = std::make_unique<BackgroundTask>(
      this,
      [](const std::atomic<bool>&) {
        malloc_trim(0);
        return true;
      },
      [this](bool) { memory_trim_.reset(); });
}

std::vector<RowRange> MergedRowRanges(const QItemSelection& selection) {
  std::vector<RowRange> ranges;
  ranges.reserve(selection.size());
  for (const QItemSelectionRange& range : selection) {
    if (range.isValid()) ranges.push_back({range.top(), range.bottom()});
  }
  std::sort(ranges.begin(), ranges.end(),
            [](const RowRange& a, const RowRange& b) { return a.first < b.first; });
  std::vector<RowRange> merged;
  for (const RowRange& range : ranges) {
    if (!merged.empty() && range.first <= merged.back().last + 1) {
      merged.back().last = std::max(merged.back().last, range.last);
    } else {
      merged.push_back(range);
    }
  }
  return merged;
}

int FilesModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(texts_.size());
}

QVariant FilesModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
    return {};
  }
  const QString& text = texts_.at(index.row());
  if (role == Qt::DisplayRole) return text;
  const auto failure = failures_.constFind(text);
  if (failure == failures_.cend()) return role == Qt::ToolTipRole ? QVariant(text) : QVariant();
  switch (role) {
    case Qt::ToolTipRole:
      return QStringLiteral("%1\n%2").arg(text, *failure);
    case Qt::AccessibleDescriptionRole:
      return QStringLiteral("Fehlgeschlagen: ") + *failure;
    case Qt::DecorationRole:
      return failure_decoration_;
    default:
      return {};
  }
}

void FilesModel::MarkFailures(const QHash<QString, QString>& failures,
                              const QVariant& failure_decoration) {
  failure_decoration_ = failure_decoration;
  SetFailures(failures);
}

void FilesModel::ForgetFailures() {
  if (!failures_.isEmpty()) SetFailures({});
}

void FilesModel::SetFailures(QHash<QString, QString> failures) {
  const bool had_marks = !failures_.isEmpty();
  failures_ = std::move(failures);
  if ((had_marks || !failures_.isEmpty()) && Count() > 0) {
    emit dataChanged(index(0), index(Count() - 1),
                     {Qt::ToolTipRole, Qt::AccessibleDescriptionRole, Qt::DecorationRole});
  }
}

void FilesModel::Append(const QStringList& texts) {
  if (texts.isEmpty()) return;
  ForgetFailures();
  const int first = Count();
  beginInsertRows(QModelIndex(), first, first + int(texts.size()) - 1);
  texts_.append(texts);
  endInsertRows();
}

bool FilesModel::Insert(int row, const QString& text) {
  if (row < 0 || row > Count()) return false;
  ForgetFailures();
  beginInsertRows(QModelIndex(), row, row);
  texts_.insert(row, text);
  endInsertRows();
  return true;
}

void FilesModel::RemoveRanges(const std::vector<RowRange>& requested) {
  std::vector<RowRange> ranges;
  ranges.reserve(requested.size());
  for (const RowRange& range : requested) {
    if (range.first >= 0 && range.first <= range.last && range.last < Count()) {
      ranges.push_back(range);
    }
  }
  if (ranges.empty()) return;
  ForgetFailures();
  if (ranges.size() <= kMaxRangeRemovals) {
    // From the last range back, so the rows of the ranges not yet removed keep their numbers.
    for (auto range = ranges.rbegin(); range != ranges.rend(); ++range) {
      beginRemoveRows(QModelIndex(), range->first, range->last);
      texts_.remove(range->first, range->Count());
      endRemoveRows();
    }
    return;
  }
  beginResetModel();
  QStringList kept;
  kept.reserve(texts_.size());
  int row = 0;
  for (const RowRange& range : ranges) {
    for (; row < range.first; ++row) kept.append(texts_.at(row));
    row = range.last + 1;
  }
  for (; row < Count(); ++row) kept.append(texts_.at(row));
  texts_ = std::move(kept);
  endResetModel();
}

bool FilesModel::SwapRows(int first, int second) {
  if (std::min(first, second) < 0 || std::max(first, second) >= Count()) return false;
  ForgetFailures();
  texts_.swapItemsAt(first, second);
  // Only the two rows and only their texts changed: views repaint just those.
  const QList<int> roles = {Qt::DisplayRole, Qt::ToolTipRole};
  emit dataChanged(index(first), index(first), roles);
  emit dataChanged(index(second), index(second), roles);
  return true;
}

void FilesModel::ReplaceAll(QStringList texts) {
  ForgetFailures();
  beginResetModel();
  QStringList old = std::exchange(texts_, std::move(texts));
  endResetModel();
  DiscardInParts(std::move(old));
}

void FilesModel::Grow(QStringList texts) {
  if (texts.size() <= Count()) return;
  ForgetFailures();
  beginInsertRows(QModelIndex(), Count(), int(texts.size()) - 1);
  QStringList old = std::exchange(texts_, std::move(texts));
  endInsertRows();
  DiscardInParts(std::move(old));
}

void FilesModel::Clear() {
  ForgetFailures();
  beginResetModel();
  QStringList old = std::exchange(texts_, {});
  endResetModel();
  DiscardInParts(std::move(old));
}
