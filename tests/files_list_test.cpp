#include "files/files_list.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QDateTime>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <optional>

#include "files/files_commands.h"
#include "files/files_settings.h"
#include "files/list_file.h"
#include "files_recorders.h"
#include "support/test_support.h"

namespace {

QStringList Entries(const FilesList& list) {
  QStringList texts;
  for (int i = 0; i < list.CountItems(); ++i) texts.append(list.ItemText(i));
  return texts;
}

class FilesListTest : public testing::Test {
 protected:
  void SetUp() override {
    list_ = std::make_unique<FilesList>(&application_, &alerts_, &settings_);
    for (QPushButton* button : {&remove_, &encode_, &move_up_, &move_down_}) {
      button->setEnabled(false);
    }
    list_->SetButtons(&remove_, &encode_, &move_up_, &move_down_);
  }

  void Fill(int count) {
    for (int i = 0; i < count; ++i) list_->AddFile(QStringLiteral("/music/%1.wav").arg(i));
  }

  void Select(const std::vector<int>& rows) {
    QItemSelection selection;
    for (int row : rows) {
      const QModelIndex index = list_->model()->index(row, 0);
      selection.select(index, index);
    }
    list_->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
  }

  std::vector<int> SelectedRows() const {
    std::vector<int> rows;
    for (int row = 0; row < list_->CountItems(); ++row) {
      if (list_->selectionModel()->isRowSelected(row)) rows.push_back(row);
    }
    return rows;
  }

  struct Buttons {
    bool remove, move_up, move_down;
    bool operator==(const Buttons&) const = default;
  };
  Buttons ButtonStates() const {
    return {remove_.isEnabled(), move_up_.isEnabled(), move_down_.isEnabled()};
  }

  QString WriteFile(const QString& name, const QByteArray& bytes) {
    const QString path = folder_.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
  }

  QTemporaryDir folder_;
  RecordingHandler application_;
  RecordingAlerts alerts_;
  FilesSettings settings_;
  QPushButton remove_, encode_, move_up_, move_down_;
  std::unique_ptr<FilesList> list_;
};

struct SelectionCase {
  const char* name;
  int entries;
  std::vector<int> selected;
  bool remove, move_up, move_down;
};

class ButtonRulesTest : public FilesListTest, public testing::WithParamInterface<SelectionCase> {};

TEST_P(ButtonRulesTest, FollowTheSelection) {
  const SelectionCase& c = GetParam();
  Fill(c.entries);
  Select(c.selected);
  EXPECT_EQ(ButtonStates(), (Buttons{c.remove, c.move_up, c.move_down}));
  // The selection never touches the encode button.
  EXPECT_EQ(encode_.isEnabled(), c.entries > 0);
}

INSTANTIATE_TEST_SUITE_P(
    States, ButtonRulesTest,
    testing::Values(SelectionCase{"EmptyList", 0, {}, false, false, false},
                    SelectionCase{"NothingSelected", 5, {}, false, false, false},
                    SelectionCase{"OnlyEntry", 1, {0}, true, false, false},
                    SelectionCase{"FirstEntry", 5, {0}, true, false, true},
                    SelectionCase{"LastEntry", 5, {4}, true, true, false},
                    SelectionCase{"MiddleEntry", 5, {2}, true, true, true},
                    SelectionCase{"TwoEntries", 5, {1, 3}, true, false, false},
                    SelectionCase{"Everything", 3, {0, 1, 2}, true, false, false}),
    [](const testing::TestParamInfo<SelectionCase>& case_info) { return case_info.param.name; });

struct MoveCase {
  const char* name;
  std::vector<int> selected;
  bool up;
  std::vector<int> order;  // original indexes of the entries afterwards
  std::vector<int> selected_after;
};

class MoveRulesTest : public FilesListTest, public testing::WithParamInterface<MoveCase> {};

TEST_P(MoveRulesTest, MoveOnlyASingleEntryThatCanMove) {
  const MoveCase& c = GetParam();
  Fill(5);
  Select(c.selected);
  c.up ? list_->MoveUp() : list_->MoveDown();
  QStringList expected;
  for (int original : c.order) expected.append(QStringLiteral("/music/%1.wav").arg(original));
  EXPECT_EQ(Entries(*list_), expected);
  EXPECT_EQ(SelectedRows(), c.selected_after);
}

INSTANTIATE_TEST_SUITE_P(
    Selections, MoveRulesTest,
    testing::Values(MoveCase{"UpFromIndexThree", {3}, true, {0, 1, 3, 2, 4}, {2}},
                    MoveCase{"DownFromIndexOne", {1}, false, {0, 2, 1, 3, 4}, {2}},
                    MoveCase{"UpFromTheFirst", {0}, true, {0, 1, 2, 3, 4}, {0}},
                    MoveCase{"DownFromTheLast", {4}, false, {0, 1, 2, 3, 4}, {4}},
                    MoveCase{"UpWithTwoSelected", {1, 2}, true, {0, 1, 2, 3, 4}, {1, 2}},
                    MoveCase{"DownWithNoneSelected", {}, false, {0, 1, 2, 3, 4}, {}}),
    [](const testing::TestParamInfo<MoveCase>& case_info) { return case_info.param.name; });

TEST_F(FilesListTest, TellsAScreenReaderWhatItHolds) {
  EXPECT_EQ(QAccessible::queryAccessibleInterface(list_.get())->text(QAccessible::Name),
            QStringLiteral("Liste der Dateien"));
}

TEST_F(FilesListTest, MovingUpFromIndexThreeOfFiveLeavesBothMoveButtonsEnabled) {
  Fill(5);
  Select({3});
  list_->MoveUp();
  EXPECT_EQ(ButtonStates(), (Buttons{true, true, true}));
}

TEST_F(FilesListTest, RemovingAPartialSelectionKeepsTheOrderOfTheRest) {
  Fill(6);
  Select({0, 2, 3});
  list_->RemoveFiles();
  EXPECT_EQ(Entries(*list_), QStringList({"/music/1.wav", "/music/4.wav", "/music/5.wav"}));
  EXPECT_TRUE(encode_.isEnabled());
  EXPECT_EQ(ButtonStates(), (Buttons{false, false, false}));
}

TEST_F(FilesListTest, RemovingAScatteredSelectionOfALongListKeepsTheOrderOfTheRest) {
  Fill(1000);
  std::vector<int> every_third;
  QStringList expected;
  for (int i = 0; i < 1000; ++i) {
    if (i % 3 == 0) {
      every_third.push_back(i);
    } else {
      expected.append(QStringLiteral("/music/%1.wav").arg(i));
    }
  }
  Select(every_third);
  list_->RemoveFiles();
  EXPECT_EQ(Entries(*list_), expected);
}

TEST_F(FilesListTest, RemovingEverythingDisablesEncodeRemoveAndMove) {
  Fill(3);
  Select({0, 1, 2});
  list_->RemoveFiles();
  EXPECT_EQ(list_->CountItems(), 0);
  EXPECT_FALSE(encode_.isEnabled());
  EXPECT_EQ(ButtonStates(), (Buttons{false, false, false}));
}

TEST_F(FilesListTest, RemovingOrClearingAnEmptyListDisablesEncode) {
  for (auto operation : {&FilesList::RemoveFiles, &FilesList::Clear}) {
    encode_.setEnabled(true);
    (list_.get()->*operation)();
    EXPECT_FALSE(encode_.isEnabled());
  }
}

TEST_F(FilesListTest, EverySuccessfulAdditionEnablesEncodeAndAFailedOneDoesNot) {
  EXPECT_FALSE(list_->AddItem("/far.wav", 3));
  EXPECT_FALSE(list_->AddItems({}));
  EXPECT_FALSE(encode_.isEnabled());
  EXPECT_TRUE(list_->AddItem("/a.wav", 0));
  EXPECT_TRUE(encode_.isEnabled());
  list_->Clear();
  list_->AddFile("/a.wav");
  list_->AddFile("/a.wav");
  EXPECT_TRUE(encode_.isEnabled());
  EXPECT_EQ(Entries(*list_), QStringList({"/a.wav", "/a.wav"}));
}

TEST_F(FilesListTest, AddingBelowASelectedLastEntryEnablesMoveDown) {
  Fill(2);
  Select({1});
  EXPECT_FALSE(move_down_.isEnabled());
  list_->AddFile("/new.wav");
  EXPECT_TRUE(move_down_.isEnabled());
}

// Feeds a drag through the view, as a drag from a file manager enters and ends: Qt delivers
// the drop only to the widget that accepted the drag.
bool Drop(FilesList& list, const QMimeData& data) {
  const QPoint inside(5, 5);
  QDragEnterEvent enter(inside, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(list.viewport(), &enter);
  QDropEvent drop(inside, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(list.viewport(), &drop);
  return enter.isAccepted() && drop.isAccepted();
}

TEST_F(FilesListTest, ADropOfThreeUrlsAppendsThemInOrderFollowingLinks) {
  const QString root = QDir(folder_.path()).canonicalPath();
  WriteFile("a.wav", {});
  WriteFile("list.zvk", "# Generated by Zavrik 1.2a\n0;/x.wav\n");
  ASSERT_TRUE(QFile::link(root + "/a.wav", root + "/link.wav"));
  ASSERT_TRUE(QDir(root).mkdir("folder"));
  list_->AddFile("/before.wav");
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(root + "/link.wav"), QUrl::fromLocalFile(root + "/folder"),
                QUrl::fromLocalFile(root + "/list.zvk")});
  EXPECT_TRUE(Drop(*list_, data));
  EXPECT_EQ(Entries(*list_),
            QStringList({"/before.wav", root + "/a.wav", root + "/folder", root + "/list.zvk"}));
  EXPECT_TRUE(encode_.isEnabled());
}

TEST_F(FilesListTest, ADropWithoutLocalFilesAddsNothingAndSaysWhy) {
  QMimeData text;
  text.setText(QStringLiteral("/music/a.wav"));
  EXPECT_FALSE(Drop(*list_, text));
  EXPECT_TRUE(alerts_.shown.isEmpty());
  QMimeData remote;
  remote.setUrls({QUrl("https://example.org/a.wav"), QUrl::fromLocalFile("/no/such/file.wav")});
  Drop(*list_, remote);
  EXPECT_EQ(list_->CountItems(), 0);
  EXPECT_FALSE(encode_.isEnabled());
  ASSERT_EQ(alerts_.Ids(), QStringList({"FilesRefused"}));
  EXPECT_TRUE(alerts_.shown[0].text.contains("https://example.org/a.wav"));
  EXPECT_TRUE(alerts_.shown[0].text.contains("/no/such/file.wav"));
}

TEST_F(FilesListTest, OpeningAFileThatCannotBeReadChangesNothing) {
  QFile huge(folder_.filePath("riesig.zvk"));
  ASSERT_TRUE(huge.open(QIODevice::WriteOnly) && huge.resize(kListFileSizeLimit + 1));
  for (const QString& path : {folder_.filePath("missing.zvk"), folder_.path(), huge.fileName()}) {
    Fill(2);
    Select({1});
    alerts_.shown.clear();
    QSignalSpy tab_requests(list_.get(), &FilesList::ListFileRead);
    list_->Open(path);
    EXPECT_EQ(alerts_.Ids(), QStringList({"OpenOpenError"})) << path.toStdString();
    EXPECT_EQ(list_->CountItems(), 2);
    EXPECT_EQ(SelectedRows(), std::vector<int>({1}));
    EXPECT_EQ(ButtonStates(), (Buttons{true, true, false}));
    EXPECT_EQ(tab_requests.count(), 0);
    list_->Clear();
  }
}

// Every list file read on the list's own thread is held, once read, until the test releases it.
class HeldReadingTest : public FilesListTest {
 protected:
  void SetUp() override {
    FilesListTest::SetUp();
    list_->SetReadGate([this] { held_.acquire(); });
  }
  // Before the list joins its reading thread.
  void TearDown() override { held_.release(kEnough); }

  // A list of `count` short records, long enough to be read on the list's own thread.
  QString LongList(const QString& name, int count, QStringList* entries = nullptr) {
    QByteArray file = "# h\n";
    for (int i = 0; i < count; ++i) {
      const QString entry = QStringLiteral("/%1/%2").arg(name).arg(i);
      file += "0;" + entry.toUtf8() + "\n";
      if (entries) entries->append(entry);
    }
    return WriteFile(name + ".zvk", file);
  }

  void ReleaseAndWait() {
    held_.release(kEnough);
    ASSERT_TRUE(test_support::WaitUntil([&] { return !list_->ChangesPending(); }));
  }

  static constexpr int kEnough = 1000;
  static constexpr int kLongListEntries = 20000;
  QSemaphore held_;
};

TEST_F(HeldReadingTest, AListOfMoreEntriesThanAnyRealListIsRefusedAndChangesNothing) {
  // Short records: the file stays far below the size limit.
  QFile many(folder_.filePath("viele.zvk"));
  ASSERT_TRUE(many.open(QIODevice::WriteOnly));
  ASSERT_TRUE(many.write(QByteArray("0;\n").repeated(kListRecordLimit + 1)) > 0);
  many.close();
  for (const bool dont_clear_on_open : {false, true}) {
    settings_.dont_clear_on_open = dont_clear_on_open;
    Fill(2);
    alerts_.shown.clear();
    QSignalSpy tab_requests(list_.get(), &FilesList::ListFileRead);
    list_->Open(many.fileName());
    list_->AddFile("/added.wav");
    ReleaseAndWait();
    ASSERT_EQ(alerts_.Ids(), QStringList({"OpenOpenError"}));
    EXPECT_TRUE(alerts_.shown[0].text.contains("zu lang")) << alerts_.shown[0].text.toStdString();
    EXPECT_EQ(Entries(*list_), QStringList({"/music/0.wav", "/music/1.wav", "/added.wav"}));
    EXPECT_EQ(tab_requests.count(), 0);
    EXPECT_TRUE(encode_.isEnabled());
    list_->Clear();
  }
}

struct HeldCommandCase {
  const char* name;
  bool dont_clear_on_open;
  // Given while the list "/lang/…" is being read; `second` is a list of "/zwei/0" and "/zwei/1".
  std::function<void(FilesList&, const QString& second)> command;
  // Before: "/alt/0", "/alt/1", of which "/alt/1" is selected; `read` are the long list's entries.
  std::function<QStringList(const QStringList& read)> expected;
};

class HeldCommandTest : public HeldReadingTest,
                        public testing::WithParamInterface<HeldCommandCase> {};

TEST_P(HeldCommandTest, TakesEffectAfterTheWholeListAsIfItHadBeenReadAtOnce) {
  const HeldCommandCase& c = GetParam();
  settings_.dont_clear_on_open = c.dont_clear_on_open;
  list_->AddItems({"/alt/0", "/alt/1"});
  Select({1});
  QStringList read;
  const QString long_list = LongList("lang", kLongListEntries, &read);
  const QString second = WriteFile("zwei.zvk", "0;/zwei/0\n0;/zwei/1\n");
  QSignalSpy tab_requests(list_.get(), &FilesList::ListFileRead);
  list_->Open(long_list);
  c.command(*list_, second);
  // Held after reading the whole file: nothing has changed yet, and the window says it is busy.
  EXPECT_EQ(Entries(*list_), QStringList({"/alt/0", "/alt/1"}));
  EXPECT_EQ(ButtonStates(), (Buttons{true, true, false}));
  EXPECT_EQ(tab_requests.count(), 0);
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::BusyCursor);
  ReleaseAndWait();
  EXPECT_EQ(Entries(*list_), c.expected(read));
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_GE(tab_requests.count(), 1);
  EXPECT_TRUE(alerts_.Ids().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Commands, HeldCommandTest,
    testing::Values(
        HeldCommandCase{"NewList", false,
                        [](FilesList& list, const QString&) {
                          list.MessageReceived(Message(command::kNewList));
                        },
                        [](const QStringList&) { return QStringList(); }},
        HeldCommandCase{"AddedFileComesAfterTheList", false,
                        [](FilesList& list, const QString&) { list.AddFile("/a.wav"); },
                        [](const QStringList& read) { return read + QStringList{"/a.wav"}; }},
        HeldCommandCase{"InsertionAtTheTop", false,
                        [](FilesList& list, const QString&) { list.AddItem("/x.wav", 0); },
                        [](const QStringList& read) { return QStringList{"/x.wav"} + read; }},
        HeldCommandCase{
            "SecondListKeepingBoth", true,
            [](FilesList& list, const QString& second) { list.Open(second); },
            [](const QStringList& read) {
              return QStringList{"/alt/0", "/alt/1"} + read + QStringList{"/zwei/0", "/zwei/1"};
            }},
        HeldCommandCase{"SecondListReplacing", false,
                        [](FilesList& list, const QString& second) { list.Open(second); },
                        [](const QStringList&) {
                          return QStringList{"/zwei/0", "/zwei/1"};
                        }},
        HeldCommandCase{"RemovalOfTheSelectedKeptEntry", true,
                        [](FilesList& list, const QString&) { list.RemoveFiles(); },
                        [](const QStringList& read) { return QStringList{"/alt/0"} + read; }},
        HeldCommandCase{"MoveOfTheSelectedKeptEntry", true,
                        [](FilesList& list, const QString&) { list.MoveUp(); },
                        [](const QStringList& read) {
                          return QStringList{"/alt/1", "/alt/0"} + read;
                        }}),
    [](const testing::TestParamInfo<HeldCommandCase>& case_info) { return case_info.param.name; });

// Any sequence of commands given while lists are read leaves the list as the same commands given
// one by one, each after the reading before it has ended.
TEST_F(HeldReadingTest, AnyCommandsGivenWhileReadingEndAsIfEachListWereReadAtOnce) {
  const QString long_list = LongList("lang", kLongListEntries);
  const QString short_list = WriteFile("kurz.zvk", "0;/kurz/0\n0;/kurz/1\n0;/kurz/2\n");
  const QString saved = folder_.filePath("gespeichert.zvk");
  FilesList at_once(&application_, &alerts_, &settings_);
  QPushButton encode_at_once;
  at_once.SetButtons(nullptr, &encode_at_once, nullptr, nullptr);
  const auto seed = quint32(QDateTime::currentMSecsSinceEpoch());
  QRandomGenerator random(seed);
  for (int round = 0; round < 12; ++round) {
    settings_.dont_clear_on_open = random.bounded(2) == 1;
    QList<std::function<void(FilesList&)>> commands;
    QStringList names;
    for (int i = 0; i < 8; ++i) {
      const QString file = QStringLiteral("/r%1/%2.wav").arg(round).arg(i);
      switch (random.bounded(8)) {
        case 0:
          commands.append([](FilesList& l) { l.MessageReceived(Message(command::kNewList)); });
          names << "NWLS";
          break;
        case 1:
          commands.append([file](FilesList& l) { l.AddFile(file); });
          names << "add";
          break;
        case 2:
          commands.append([](FilesList& l) { l.RemoveFiles(); });
          names << "remove";
          break;
        case 3:
          commands.append([](FilesList& l) { l.MoveUp(); });
          names << "up";
          break;
        case 4:
          commands.append([](FilesList& l) { l.MoveDown(); });
          names << "down";
          break;
        case 5:
          commands.append([&](FilesList& l) { l.Open(short_list); });
          names << "open short";
          break;
        case 6:
          commands.append([&](FilesList& l) { l.Open(long_list); });
          names << "open long";
          break;
        default:
          commands.append([&](FilesList& l) {
            l.Save(saved);
            l.Open(saved);
          });
          names << "save, open";
          break;
      }
    }
    const int selected = random.bounded(3);
    for (FilesList* list : {list_.get(), &at_once}) {
      list->Clear();
      list->AddItems({"/a.wav", "/b.wav", "/c.wav"});
      list->selectionModel()->select(list->model()->index(selected, 0),
                                     QItemSelectionModel::ClearAndSelect);
    }
    list_->Open(long_list);
    for (const auto& command : commands) command(*list_);
    ReleaseAndWait();
    const QStringList held = Entries(*list_);
    const bool encode_held = encode_.isEnabled();
    at_once.Open(long_list);
    for (const auto& command : commands) {
      ASSERT_TRUE(test_support::WaitUntil([&] { return !at_once.ChangesPending(); }));
      command(at_once);
    }
    ASSERT_TRUE(test_support::WaitUntil([&] { return !at_once.ChangesPending(); }));
    ASSERT_EQ(held, Entries(at_once))
        << "seed " << seed << ", round " << round << ": " << names.join(", ").toStdString();
    ASSERT_EQ(encode_held, encode_at_once.isEnabled()) << "seed " << seed << ", round " << round;
  }
  EXPECT_TRUE(alerts_.Ids().isEmpty());
}

struct OpenCase {
  const char* name;
  bool dont_clear_on_open;
  QByteArray file;
  QStringList expected;
  bool encode_enabled;  // encode starts disabled with the entry "/old.wav" in the list
};

class OpenTest : public FilesListTest, public testing::WithParamInterface<OpenCase> {};

TEST_P(OpenTest, FillsTheListFromTheFile) {
  const OpenCase& c = GetParam();
  settings_.dont_clear_on_open = c.dont_clear_on_open;
  list_->AddFile("/old.wav");
  Select({0});
  encode_.setEnabled(false);
  QSignalSpy tab_requests(list_.get(), &FilesList::ListFileRead);
  list_->Open(WriteFile("list.zvk", c.file));
  // A long list is read while the window goes on answering, and arrives whole at the end.
  ASSERT_TRUE(test_support::WaitUntil([&] { return list_->CountItems() == c.expected.size(); }));
  EXPECT_EQ(Entries(*list_), c.expected);
  EXPECT_EQ(encode_.isEnabled(), c.encode_enabled);
  EXPECT_EQ(tab_requests.count(), 1);
  EXPECT_TRUE(alerts_.Ids().isEmpty());
  // Whatever was selected before, the buttons fit the list afterwards.
  EXPECT_EQ(remove_.isEnabled(), !SelectedRows().empty());
}

// Several megabytes of records, more than the list reads at one time.
OpenCase LongList() {
  OpenCase c{"ALongList", false, "# h\n", {}, true};
  for (int i = 0; i < 40000; ++i) {
    const QString path = QStringLiteral("/musik/aufnahmen/sitzung-%1/").arg(i) + QString(40, u'x');
    c.file += "0;" + path.toUtf8() + "\n";
    c.expected.append(path);
  }
  return c;
}

INSTANTIATE_TEST_SUITE_P(
    Settings, OpenTest,
    testing::Values(
        LongList(),
        OpenCase{"Clearing", false, "# h\n0;/a.wav\n0;/b.wav\n", {"/a.wav", "/b.wav"}, true},
        OpenCase{
            "Appending", true, "0;/a.wav\n0;/old.wav\n", {"/old.wav", "/a.wav", "/old.wav"}, true},
        OpenCase{"ClearingWithoutRecords", false, "# h\n", {}, false},
        OpenCase{"AppendingWithoutRecords", true, "# h\n", {"/old.wav"}, false}),
    [](const testing::TestParamInfo<OpenCase>& case_info) { return case_info.param.name; });

TEST_F(FilesListTest, ALongListSavedWhileItIsStillReadIsSavedWhole) {
  const OpenCase long_list = LongList();
  list_->Open(WriteFile("long.zvk", long_list.file));
  ASSERT_LT(list_->CountItems(), long_list.expected.size());
  const QString copy = folder_.filePath("copy.zvk");
  list_->Save(copy);
  list_->Clear();
  list_->Open(copy);
  ASSERT_TRUE(
      test_support::WaitUntil([&] { return list_->CountItems() == long_list.expected.size(); }));
  EXPECT_EQ(Entries(*list_), long_list.expected);
}

TEST_F(FilesListTest, SavedListOpensWithTheSameEntries) {
  const QStringList entries = {"/music/a b.wav", " /lead space.wav", "/x;y.wav", "/ü.wav"};
  list_->AddItems(entries);
  const QString path = folder_.filePath("saved.zvk");
  list_->Save(path);
  list_->Clear();
  list_->Open(path);
  EXPECT_EQ(Entries(*list_), entries);
  EXPECT_TRUE(alerts_.Ids().isEmpty());
}

TEST_F(FilesListTest, SavingWhereNoFileCanBeMadeRaisesSaveOpenError) {
  Fill(1);
  list_->Save(folder_.filePath("no-such-folder/list.zvk"));
  list_->Save(folder_.path());
  EXPECT_EQ(alerts_.Ids(), QStringList({"SaveOpenError", "SaveOpenError"}));
  EXPECT_EQ(list_->CountItems(), 1);
}

TEST_F(FilesListTest, SavePanelResultJoinsFolderAndNameAndMissingFieldsSaveNothing) {
  list_->AddFile(QStringLiteral("/music/a.wav"));
  QDir().mkpath(folder_.filePath(QStringLiteral("lists")));
  QFile::link(folder_.filePath(QStringLiteral("lists")), folder_.filePath(QStringLiteral("link")));
  struct Case {
    std::optional<QString> directory;
    std::optional<QString> name;
    std::optional<QString> saved_at;  // nothing: no file may appear
  };
  const QList<Case> cases = {
      {folder_.filePath(QStringLiteral("lists")), QStringLiteral("x"),
       folder_.filePath(QStringLiteral("lists/x"))},
      {folder_.filePath(QStringLiteral("link")), QStringLiteral("y.zvk"),
       folder_.filePath(QStringLiteral("lists/y.zvk"))},
      {std::nullopt, QStringLiteral("z"), std::nullopt},
      {folder_.filePath(QStringLiteral("lists")), std::nullopt, std::nullopt},
      {folder_.filePath(QStringLiteral("lists")), QString(), std::nullopt},
  };
  for (const Case& test : cases) {
    Message message(command::kSavePanel);
    if (test.directory) message.AddRef(QStringLiteral("directory"), *test.directory);
    if (test.name) message.AddString(QStringLiteral("name"), *test.name);
    const QStringList before =
        QDir(folder_.filePath(QStringLiteral("lists"))).entryList(QDir::Files);
    list_->MessageReceived(message);
    const QStringList after =
        QDir(folder_.filePath(QStringLiteral("lists"))).entryList(QDir::Files);
    if (test.saved_at) {
      EXPECT_EQ(ReadListFile(*test.saved_at), QStringList({QStringLiteral("/music/a.wav")}));
    } else {
      EXPECT_EQ(after, before);
    }
  }
  EXPECT_TRUE(alerts_.shown.isEmpty());
}

TEST_F(FilesListTest, OpenPanelResultOpensTheChosenListAndWithoutRefsDoesNothing) {
  const QString list = folder_.filePath(QStringLiteral("old.zvk"));
  ASSERT_EQ(SaveListFile(list, {QStringLiteral("/m/1.wav"), QStringLiteral("/m/2.wav")}),
            ListSaveResult::Saved);
  list_->AddFile(QStringLiteral("/m/replaced.wav"));

  list_->MessageReceived(Message(command::kOpenPanel));
  EXPECT_EQ(Entries(*list_), QStringList({QStringLiteral("/m/replaced.wav")}));

  Message chosen(command::kOpenPanel);
  chosen.AddRef(QStringLiteral("refs"), list);
  list_->MessageReceived(chosen);
  EXPECT_EQ(Entries(*list_), QStringList({QStringLiteral("/m/1.wav"), QStringLiteral("/m/2.wav")}));
}

}  // namespace
