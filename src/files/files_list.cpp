#include "files/files_list.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPushButton>
#include <QStyle>
#include <utility>

#include "files/dropped_paths.h"
#include "files/files_commands.h"
#include "files/files_model.h"
#include "files/list_file.h"
#include "platform/alert.h"
#include "platform/file_names.h"
#include "platform/file_panel.h"
#include "platform/paths.h"

namespace {
FilePanel::Setup ListPanelSetup(FilePanel::Mode mode, uint32_t what, const QString& title,
                                const QString& accept_label) {
  FilePanel::Setup setup;
  setup.mode = mode;
  setup.what = what;
  setup.title = title;
  setup.accept_label = accept_label;
  setup.cancel_label = QStringLiteral("Abbrechen");
  return setup;
}

// The row of a selection of exactly one row, otherwise -1.
int SingleRow(const std::vector<RowRange>& selected) {
  if (selected.size() != 1 || selected.front().Count() != 1) return -1;
  return selected.front().first;
}

void SetEnabled(QPushButton* button, bool enabled) {
  if (button) button->setEnabled(enabled);
}
}  // namespace

FilesList::FilesList(MessageHandler* application, AlertPresenter* alerts,
                     const FilesSettings* settings, QWidget* parent)
    : QListView(parent),
      model_(new FilesModel(this)),
      alerts_(alerts),
      settings_(settings),
      save_panel_(new FilePanel(
          ListPanelSetup(FilePanel::Mode::SaveFile, command::kSavePanel,
                         QStringLiteral("Liste speichern"), QStringLiteral("Speichern")),
          application, this)),
      open_panel_(
          new FilePanel(ListPanelSetup(FilePanel::Mode::OpenFile, command::kOpenPanel,
                                       QStringLiteral("Liste öffnen"), QStringLiteral("Öffnen")),
                        application, this)) {
  setObjectName(QStringLiteral("FilesList"));
  setAccessibleName(QStringLiteral("Liste der Dateien"));
  setModel(model_);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  // Uniform rows let the view lay out a long list without measuring every entry.
  setUniformItemSizes(true);
  // A list of millions of entries is laid out a part at a time, between other events.
  setLayoutMode(QListView::Batched);
  // A failed entry's icon fits the line, so every row keeps the height of a row of text.
  const int line = fontMetrics().height();
  setIconSize(QSize(line, line));
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setDragDropMode(QAbstractItemView::DropOnly);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
}

void FilesList::MessageReceived(const Message& message) {
  switch (message.what) {
    case command::kNewList:
      Clear();
      break;
    case command::kSaveList:
      ShowSave();
      break;
    case command::kOpenList:
      ShowOpen();
      break;
    case command::kSavePanel:
      SaveChosen(message);
      break;
    case command::kOpenPanel:
      OpenChosen(message);
      break;
    case command::kRemoveFiles:
      RemoveFiles();
      break;
    case command::kMoveUp:
      MoveUp();
      break;
    case command::kMoveDown:
      MoveDown();
      break;
    default:
      break;
  }
}

void FilesList::SaveChosen(const Message& message) {
  const std::optional<QString> directory = message.FindRef(QStringLiteral("directory"));
  const std::optional<QString> name = message.FindString(QStringLiteral("name"));
  if (!directory || !name || directory->isEmpty() || name->isEmpty()) return;
  Save(QDir(CanonicalOrAbsolutePath(*directory)).filePath(*name));
}

void FilesList::OpenChosen(const Message& message) {
  // A list that vanished meanwhile keeps its own path, so Open can say it cannot be read.
  const std::optional<QString> ref = message.FindRef(QStringLiteral("refs"));
  if (ref && !ref->isEmpty()) Open(CanonicalOrAbsolutePath(*ref));
}

void FilesList::SetButtons(QPushButton* remove, QPushButton* encode, QPushButton* move_up,
                           QPushButton* move_down) {
  remove_button_ = remove;
  encode_button_ = encode;
  move_up_button_ = move_up;
  move_down_button_ = move_down;
}

void FilesList::AddFile(const QString& path) { AddFiles({path}); }

void FilesList::AddFiles(const QStringList& paths, const QStringList& left_out) {
  QStringList held;
  QStringList refused = left_out;
  held.reserve(paths.size());
  for (const QString& path : paths) {
    // A line break would split the path into two records of a saved list.
    if (path.contains(QLatin1Char('\n')) || path.contains(QLatin1Char('\r'))) {
      refused.append(alerts::NameWithLineBreak(VisibleFileName(path)));
    } else {
      held.append(path);
    }
  }
  AddItems(held);
  if (!refused.isEmpty() && alerts_) alerts_->Go(alerts::FilesRefused(refused));
}

bool FilesList::AddItem(const QString& text) { return AddItems({text}); }

bool FilesList::AddItem(const QString& text, int index) {
  if (!model_->Insert(index, text)) return false;
  SetEncodeEnabled(true);
  SelectionChanged();
  return true;
}

bool FilesList::AddItems(const QStringList& texts) {
  if (texts.isEmpty()) return false;
  model_->Append(texts);
  SetEncodeEnabled(true);
  SelectionChanged();
  return true;
}

void FilesList::RemoveFiles() {
  model_->RemoveRanges(MergedRowRanges(selectionModel()->selection()));
  if (model_->Count() == 0) SetEncodeEnabled(false);
  SelectionChanged();
}

void FilesList::Clear() {
  model_->Clear();
  SetEncodeEnabled(false);
  SelectionChanged();
}

void FilesList::MoveUp() { MoveSelected(-1); }

void FilesList::MoveDown() { MoveSelected(+1); }

void FilesList::MoveSelected(int step) {
  const int row = SingleSelectedRow();
  const int target = row + step;
  if (row >= 0 && target >= 0 && target < model_->Count()) {
    // The moved entry stays selected and current. Selecting before the texts trade places
    // leaves the view's layout of a long list to its next paint instead of doing it here.
    const QModelIndex moved = model_->index(target);
    selectionModel()->setCurrentIndex(moved, QItemSelectionModel::ClearAndSelect);
    scrollTo(moved);
    model_->SwapRows(row, target);
  }
  SelectionChanged();
}

void FilesList::SelectionChanged() {
  const std::vector<RowRange> selected = MergedRowRanges(selectionModel()->selection());
  const int single = SingleRow(selected);
  SetEnabled(remove_button_, !selected.empty());
  SetEnabled(move_up_button_, single > 0);
  SetEnabled(move_down_button_, single >= 0 && single < model_->Count() - 1);
}

int FilesList::SingleSelectedRow() const {
  return SingleRow(MergedRowRanges(selectionModel()->selection()));
}

bool FilesList::DropMimeData(const QMimeData* mime_data) {
  if (!mime_data || !mime_data->hasUrls()) return false;
  QStringList left_out;
  const QStringList paths = ResolveDroppedUrls(mime_data->urls(), &left_out);
  AddFiles(paths, left_out);
  return true;
}

void FilesList::ShowSave() { save_panel_->Show(); }

void FilesList::ShowOpen() { open_panel_->Show(); }

void FilesList::Save(const QString& path) {
  // A list still being read is saved whole, never cut where reading had got to.
  FinishReading();
  switch (SaveListFile(path, model_->Texts())) {
    case ListSaveResult::Saved:
      break;
    case ListSaveResult::OpenError:
      if (alerts_) alerts_->Go(alerts::SaveOpenError());
      break;
    case ListSaveResult::WriteError:
      if (alerts_) alerts_->Go(alerts::SaveWriteError());
      break;
  }
}

void FilesList::Open(const QString& path) {
  auto reader = std::make_unique<ListFileReader>();
  if (!reader->Open(path)) {
    if (alerts_) alerts_->Go(alerts::OpenOpenError());
    return;
  }
  // A list opened while another is still read takes its place; a refusal goes back to the list
  // from before the first.
  if (!reader_) texts_before_open_ = model_->Texts();
  reader_ = std::move(reader);
  emit ListFileRead();
  if (!settings_ || !settings_->dont_clear_on_open) {
    // Emptying before the records arrive leaves the encode button as it was.
    model_->Clear();
    SelectionChanged();
  }
  ReadOpenedList();
}

// A megabyte of list file, or some ten thousand entries of short lines, is a few milliseconds of
// work.
constexpr qint64 kTurnBytes = 1024 * 1024;
constexpr qsizetype kTurnRecords = 16 * 1024;

// Reads the list being opened a turn of the event loop at a time and adds what it read, so that
// the window keeps answering while a long list comes in.
void FilesList::ReadOpenedList() {
  if (!reader_) return;
  const bool read = reader_->ReadSome(kTurnBytes, kTurnRecords);
  AddItems(reader_->TakeRecords());
  if (read) {
    EndReading();
  } else {
    QMetaObject::invokeMethod(this, &FilesList::ReadOpenedList, Qt::QueuedConnection);
  }
}

void FilesList::FinishReading() {
  if (!reader_) return;
  while (!reader_->ReadSome(kTurnBytes)) AddItems(reader_->TakeRecords());
  AddItems(reader_->TakeRecords());
  EndReading();
}

// A list refused part way through leaves the list as it was before the list was opened.
void FilesList::EndReading() {
  const bool refused = reader_->TooManyRecords();
  reader_.reset();
  QStringList before = std::exchange(texts_before_open_, {});
  if (!refused) {
    DiscardInParts(std::move(before), this);
    return;
  }
  model_->Clear();
  model_->Append(before);
  SetEncodeEnabled(!before.isEmpty());
  SelectionChanged();
  if (alerts_) alerts_->Go(alerts::OpenOpenError());
}

int FilesList::CountItems() const { return model_->Count(); }

QString FilesList::ItemText(int index) const { return model_->Text(index); }

void FilesList::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) {
  QListView::selectionChanged(selected, deselected);
  SelectionChanged();
}

void FilesList::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void FilesList::dragMoveEvent(QDragMoveEvent* event) {
  if (event->mimeData()->hasUrls()) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void FilesList::dropEvent(QDropEvent* event) {
  if (DropMimeData(event->mimeData())) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void FilesList::SetEncodeEnabled(bool enabled) { SetEnabled(encode_button_, enabled); }

void FilesList::ShowFailures(const QHash<QString, QString>& failures) {
  model_->MarkFailures(failures, style()->standardIcon(QStyle::SP_MessageBoxCritical));
}
