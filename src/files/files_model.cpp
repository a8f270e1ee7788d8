#include "files/files_model.h"

#include <algorithm>

namespace {
// Up to this many ranges are removed one by one (the views keep their scroll position); more
// are compacted in one pass behind a model reset.
constexpr size_t kMaxRangeRemovals = 16;
}  // namespace

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
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole) return texts_.at(index.row());
  return {};
}

void FilesModel::Append(const QStringList& texts) {
  if (texts.isEmpty()) return;
  const int first = Count();
  beginInsertRows(QModelIndex(), first, first + int(texts.size()) - 1);
  texts_.append(texts);
  endInsertRows();
}

bool FilesModel::Insert(int row, const QString& text) {
  if (row < 0 || row > Count()) return false;
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
  texts_.swapItemsAt(first, second);
  // Only the two rows and only their texts changed: views repaint just those.
  const QList<int> roles = {Qt::DisplayRole, Qt::ToolTipRole};
  emit dataChanged(index(first), index(first), roles);
  emit dataChanged(index(second), index(second), roles);
  return true;
}

void FilesModel::Clear() {
  beginResetModel();
  texts_.clear();
  endResetModel();
}
