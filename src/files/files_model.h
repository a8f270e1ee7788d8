#pragma once

#include <QAbstractListModel>
#include <QHash>
#include <QItemSelection>
#include <QStringList>
#include <memory>
#include <vector>

class BackgroundTask;

// A run of consecutive rows, first and last included.
struct RowRange {
  int first = 0;
  int last = 0;
  int Count() const { return last - first + 1; }
  bool operator==(const RowRange&) const = default;
};

// The rows a selection covers, as sorted, disjoint, non-adjacent ranges: however the view built
// the selection (overlapping ranges, any order), each row appears once.
std::vector<RowRange> MergedRowRanges(const QItemSelection& selection);

// The entries of the file list: one text per row, kept in list order.
class FilesModel : public QAbstractListModel {
  Q_OBJECT

 public:
  explicit FilesModel(QObject* parent = nullptr);
  ~FilesModel() override;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

  int Count() const { return int(texts_.size()); }
  QString Text(int row) const { return texts_.value(row); }
  const QStringList& Texts() const { return texts_; }

  // Appends all texts in one insertion.
  void Append(const QStringList& texts);
  // Inserts one text before `row`; false when `row` is not within 0..Count().
  bool Insert(int row, const QString& text);
  // Removes the rows of sorted, disjoint `ranges`. Many ranges are removed with one reset, as
  // range-by-range removal costs each view a pass over its rows every time.
  void RemoveRanges(const std::vector<RowRange>& ranges);
  // The texts of two rows trade places; false when either row is out of range. Only the two
  // rows change, so a long list is not laid out again; a selection stays where it was.
  bool SwapRows(int first, int second);
  void Clear();
  // The list becomes `texts` in one reset; the old entries are let go of in parts.
  void ReplaceAll(QStringList texts);
  // `texts` begins with the current entries; the rows beyond them are inserted in one step. The
  // current rows and their selection stay, and the old array is let go of in parts.
  void Grow(QStringList texts);

  // Marks the entries whose text is a key of `failures` as failed, with the value as the
  // reason, shown as the row's tooltip, accessible description and `failure_decoration`. The
  // marks go with the next change of the list.
  void MarkFailures(const QHash<QString, QString>& failures, const QVariant& failure_decoration);
  QString Failure(int row) const { return failures_.value(texts_.value(row)); }

 private:
  // Lets go of `texts` a part per turn of the event loop: freeing millions of texts at once would
  // hold the window for a fifth of a second. Once a long list is gone, its memory goes back to the
  // system.
  void DiscardInParts(QStringList texts);
  void DiscardPart(std::shared_ptr<QStringList> texts);
  void GiveMemoryBack();
  void ForgetFailures();
  void SetFailures(QHash<QString, QString> failures);

  QStringList texts_;
  QHash<QString, QString> failures_;
  QVariant failure_decoration_;
  // Handing freed memory back takes a third of a second after a list of millions, so it is done
  // on a thread of its own; one at a time.
  std::unique_ptr<BackgroundTask> memory_trim_;
};
