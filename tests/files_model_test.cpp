#include "files/files_model.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QStringListModel>
#include <functional>

#include "files_recorders.h"

namespace {

QStringList Numbered(int count) {
  QStringList texts;
  for (int i = 0; i < count; ++i) texts.append(QString::number(i));
  return texts;
}

// What removing `ranges` must leave, worked out row by row.
QStringList Without(const QStringList& texts, const std::vector<RowRange>& ranges) {
  QStringList kept;
  for (int row = 0; row < texts.size(); ++row) {
    bool removed = false;
    for (const RowRange& range : ranges) removed |= row >= range.first && row <= range.last;
    if (!removed) kept.append(texts.at(row));
  }
  return kept;
}

struct MergeCase {
  const char* name;
  std::vector<RowRange> selected;  // as the view hands them over
  std::vector<RowRange> expected;
};

class MergedRowRangesTest : public testing::TestWithParam<MergeCase> {};

TEST_P(MergedRowRangesTest, GivesEachSelectedRowOnceInOrder) {
  QStringListModel model(Numbered(20));
  QItemSelection selection;
  for (const RowRange& range : GetParam().selected) {
    selection.append(QItemSelectionRange(model.index(range.first), model.index(range.last)));
  }
  EXPECT_EQ(MergedRowRanges(selection), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Selections, MergedRowRangesTest,
    testing::Values(MergeCase{"Empty", {}, {}}, MergeCase{"OneRow", {{4, 4}}, {{4, 4}}},
                    MergeCase{"Unsorted", {{9, 9}, {2, 3}, {6, 6}}, {{2, 3}, {6, 6}, {9, 9}}},
                    MergeCase{"Overlapping", {{2, 6}, {4, 8}, {3, 3}}, {{2, 8}}},
                    MergeCase{"Adjacent", {{5, 5}, {4, 4}, {6, 7}}, {{4, 7}}},
                    MergeCase{"Duplicated", {{1, 1}, {1, 1}}, {{1, 1}}}),
    [](const testing::TestParamInfo<MergeCase>& case_info) { return case_info.param.name; });

struct RemoveCase {
  const char* name;
  int rows;
  std::vector<RowRange> ranges;
};

class RemoveRangesTest : public testing::TestWithParam<RemoveCase> {};

TEST_P(RemoveRangesTest, KeepsTheRestInTheirOrder) {
  const QStringList texts = Numbered(GetParam().rows);
  FilesModel model;
  model.Append(texts);
  model.RemoveRanges(GetParam().ranges);
  EXPECT_EQ(model.Texts(), Without(texts, GetParam().ranges));
  EXPECT_EQ(model.rowCount(), model.Count());
}

std::vector<RowRange> EveryOtherRow(int rows) {
  std::vector<RowRange> ranges;
  for (int row = 0; row < rows; row += 2) ranges.push_back({row, row});
  return ranges;
}

INSTANTIATE_TEST_SUITE_P(
    Selections, RemoveRangesTest,
    testing::Values(RemoveCase{"Nothing", 5, {}}, RemoveCase{"First", 5, {{0, 0}}},
                    RemoveCase{"Last", 5, {{4, 4}}}, RemoveCase{"All", 5, {{0, 4}}},
                    RemoveCase{"SomeRuns", 10, {{1, 2}, {5, 5}, {8, 9}}},
                    // Enough ranges to take the one-pass path.
                    RemoveCase{"EveryOtherOfMany", 101, EveryOtherRow(101)},
                    RemoveCase{"ManyRunsToTheEnd",
                               60,
                               {{0, 1},
                                {3, 3},
                                {5, 5},
                                {7, 7},
                                {9, 9},
                                {11, 11},
                                {13, 13},
                                {15, 15},
                                {17, 17},
                                {19, 19},
                                {21, 21},
                                {23, 23},
                                {25, 25},
                                {27, 27},
                                {29, 29},
                                {31, 31},
                                {33, 59}}}),
    [](const testing::TestParamInfo<RemoveCase>& case_info) { return case_info.param.name; });

TEST(FilesModelTest, RangesOutsideTheListAreIgnored) {
  FilesModel model;
  model.Append(Numbered(3));
  model.RemoveRanges({{-1, 0}, {1, 1}, {2, 7}});
  EXPECT_EQ(model.Texts(), QStringList({"0", "2"}));
}

TEST(FilesModelTest, RemovingManyRangesResetsOnceInsteadOfRowByRow) {
  FilesModel model;
  model.Append(Numbered(1000));
  QSignalSpy removals(&model, &QAbstractItemModel::rowsRemoved);
  QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
  model.RemoveRanges(EveryOtherRow(1000));
  EXPECT_EQ(removals.count(), 0);
  EXPECT_EQ(resets.count(), 1);
  EXPECT_EQ(model.Count(), 500);
}

struct SwapCase {
  const char* name;
  int first;
  int second;
  bool swapped;
  QStringList expected;
};

class SwapTest : public testing::TestWithParam<SwapCase> {};

TEST_P(SwapTest, TradesTwoRowsOrNothing) {
  FilesModel model;
  model.Append({"a", "b", "c", "d"});
  QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
  EXPECT_EQ(model.SwapRows(GetParam().first, GetParam().second), GetParam().swapped);
  EXPECT_EQ(model.Texts(), GetParam().expected);
  ASSERT_EQ(changes.count(), GetParam().swapped ? 2 : 0);
  if (GetParam().swapped) {
    // The views repaint exactly the two rows, which now show each other's texts.
    EXPECT_EQ(changes.at(0).at(0).toModelIndex().row(), GetParam().first);
    EXPECT_EQ(changes.at(1).at(0).toModelIndex().row(), GetParam().second);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SwapTest,
    testing::Values(SwapCase{"WithTheRowAbove", 2, 1, true, {"a", "c", "b", "d"}},
                    SwapCase{"WithTheRowBelow", 1, 2, true, {"a", "c", "b", "d"}},
                    SwapCase{"FirstAndLast", 0, 3, true, {"d", "b", "c", "a"}},
                    SwapCase{"BeforeTheList", 0, -1, false, {"a", "b", "c", "d"}},
                    SwapCase{"PastTheList", 3, 4, false, {"a", "b", "c", "d"}}),
    [](const testing::TestParamInfo<SwapCase>& case_info) { return case_info.param.name; });

TEST(FilesModelTest, InsertsOnlyWithinTheList) {
  FilesModel model;
  model.Append({"a", "b"});
  EXPECT_TRUE(model.Insert(1, "x"));
  EXPECT_TRUE(model.Insert(3, "end"));
  EXPECT_FALSE(model.Insert(5, "far"));
  EXPECT_FALSE(model.Insert(-1, "before"));
  EXPECT_EQ(model.Texts(), QStringList({"a", "x", "b", "end"}));
}

TEST(FilesModelTest, FailureMarksLastUntilTheListChanges) {
  const std::function<void(FilesModel&)> changes[] = {
      [](FilesModel& m) { m.Append({QStringLiteral("9")}); },
      [](FilesModel& m) { m.Insert(0, QStringLiteral("9")); },
      [](FilesModel& m) {
        m.RemoveRanges({{2, 2}});
      },
      [](FilesModel& m) { m.SwapRows(0, 2); },
      [](FilesModel& m) { m.Clear(); },
  };
  for (const auto& change : changes) {
    FilesModel model;
    model.Append(Numbered(3));
    model.MarkFailures({{QStringLiteral("1"), QStringLiteral("gogo: kaputt")}},
                       QStringLiteral("icon"));
    const QModelIndex failed = model.index(1);
    EXPECT_EQ(failed.data(Qt::DecorationRole), QVariant(QStringLiteral("icon")));
    EXPECT_EQ(failed.data(Qt::ToolTipRole), QVariant(QStringLiteral("1\ngogo: kaputt")));
    EXPECT_EQ(failed.data(Qt::AccessibleDescriptionRole),
              QVariant(QStringLiteral("Fehlgeschlagen: gogo: kaputt")));
    EXPECT_FALSE(model.index(0).data(Qt::DecorationRole).isValid());
    change(model);
    for (int row = 0; row < model.Count(); ++row) EXPECT_TRUE(model.Failure(row).isEmpty());
  }
}

}  // namespace
