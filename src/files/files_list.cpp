#include "files/files_list.h"

#include <sys/stat.h>

#include <QDir>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QPushButton>
#include <QStyle>
#include <atomic>
#include <utility>

#include "files/dropped_paths.h"
#include "files/files_commands.h"
#include "files/files_model.h"
#include "files/list_file.h"
#include "files/list_opening.h"
#include "platform/alert.h"
#include "platform/background_task.h"
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

// Up to this size a list file is read where it is asked for: a few thousand entries take
// a millisecond.
constexpr qint64 kReadAtOnceBytes = 64 * 1024;

// True when opening `path` reads little or nothing: a small file, or one refused unread (missing,
// no regular file, beyond the size limit).
bool ReadsAtOnce(const QString& path) {
  struct stat info {};
  if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode)) {
    return true;
  }
  return info.st_size <= kReadAtOnceBytes || info.st_size > kListFileSizeLimit;
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
  // Scrolling by item makes the view keep a map of every row's position and rebuild it on each
  // change of size, a pause of a tenth of a second for millions of entries; by pixel it needs none.
  setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
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

FilesList::~FilesList() {
  if (!reading_) return;
  reading_.reset();
  QGuiApplication::restoreOverrideCursor();
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
  WhenUpToDate([this, paths, left_out] { AddFilesNow(paths, left_out); });
}

void FilesList::AddFilesNow(const QStringList& paths, const QStringList& left_out) {
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
  AddItemsNow(held);
  if (!refused.isEmpty() && alerts_) alerts_->Go(alerts::FilesRefused(refused));
}

bool FilesList::AddItem(const QString& text) { return AddItems({text}); }

// While changes wait, the insertion waits with them and counts as made.
bool FilesList::AddItem(const QString& text, int index) {
  if (ChangesPending() || taking_waiting_) {
    WhenUpToDate([this, text, index] { InsertItemNow(text, index); });
    return true;
  }
  return InsertItemNow(text, index);
}

bool FilesList::InsertItemNow(const QString& text, int index) {
  if (!model_->Insert(index, text)) return false;
  SetEncodeEnabled(true);
  SelectionChanged();
  return true;
}

bool FilesList::AddItems(const QStringList& texts) {
  if (texts.isEmpty()) return false;
  WhenUpToDate([this, texts] { AddItemsNow(texts); });
  return true;
}

bool FilesList::AddItemsNow(const QStringList& texts) {
  if (texts.isEmpty()) return false;
  model_->Append(texts);
  SetEncodeEnabled(true);
  SelectionChanged();
  return true;
}

void FilesList::RemoveFiles() {
  WhenUpToDate([this] { RemoveFilesNow(); });
}

void FilesList::RemoveFilesNow() {
  model_->RemoveRanges(MergedRowRanges(selectionModel()->selection()));
  if (model_->Count() == 0) SetEncodeEnabled(false);
  SelectionChanged();
}

void FilesList::Clear() {
  WhenUpToDate([this] { ClearNow(); });
}

void FilesList::ClearNow() {
  model_->Clear();
  SetEncodeEnabled(false);
  SelectionChanged();
}

void FilesList::MoveUp() {
  WhenUpToDate([this] { MoveSelected(-1); });
}

void FilesList::MoveDown() {
  WhenUpToDate([this] { MoveSelected(+1); });
}

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
  WhenUpToDate([this, path] { SaveNow(path); });
}

void FilesList::SaveNow(const QString& path) {
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
  WhenUpToDate([this, path] { OpenNow(path); });
}

void FilesList::OpenNow(const QString& path) {
  // Read once, when the opening begins: changing the setting meanwhile does not change how a
  // list already being read is taken.
  const bool keep = settings_ && settings_->dont_clear_on_open;
  if (ReadsAtOnce(path)) {
    // Nothing much to read: the list changes before the next event, as it always did.
    const std::atomic<bool> never_stopped{false};
    TakeOpenedList(ReadListForOpening(path, {}, never_stopped), keep);
    return;
  }
  // Nothing changes the list until the file is taken, so the entries it keeps can go with the
  // reading, and the new list is built whole on the reading thread.
  ReadInBackground(path, keep ? model_->Texts() : QStringList(), keep);
}

void FilesList::ReadInBackground(const QString& path, QStringList kept, bool keep) {
  // The window goes on answering; the cursor says that the list is still coming. The rows that
  // are about to go cannot be selected meanwhile, so a waiting removal or move acts on the
  // selection it was given with.
  QGuiApplication::setOverrideCursor(Qt::BusyCursor);
  setSelectionMode(QAbstractItemView::NoSelection);
  reading_ = std::make_unique<BackgroundTask>(
      this,
      [path, kept = std::move(kept), gate = read_gate_](const std::atomic<bool>& stop) mutable {
        OpenedList opened = ReadListForOpening(path, std::move(kept), stop);
        if (gate) gate();
        return opened;
      },
      [this, keep](OpenedList opened) { ListReadInBackground(std::move(opened), keep); });
}

void FilesList::ListReadInBackground(OpenedList opened, bool keep) {
  reading_.reset();
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  QGuiApplication::restoreOverrideCursor();
  // A refusal's alert runs an event loop of its own: commands given meanwhile wait behind the
  // ones that waited for the reading.
  taking_waiting_ = true;
  TakeOpenedList(std::move(opened), keep);
  taking_waiting_ = false;
  TakeWaitingChanges();
}

// The one step in which an opened list file changes the list; a refused one changes nothing.
void FilesList::TakeOpenedList(OpenedList opened, bool keep) {
  switch (opened.outcome) {
    case OpenedList::Outcome::Unreadable:
      if (alerts_) alerts_->Go(alerts::OpenOpenError());
      return;
    case OpenedList::Outcome::TooLong:
      if (alerts_) {
        alerts_->Go(alerts::OpenTooLongError(kListFileSizeLimit / (1024 * 1024), kListRecordLimit));
      }
      return;
    case OpenedList::Outcome::Read:
      break;
  }
  emit ListFileRead();
  const bool holds_kept_entries = opened.texts.size() > opened.records;
  if (!keep) {
    // Emptying the list leaves the encode button as it was; only records enable it.
    model_->ReplaceAll(std::move(opened.texts));
  } else if (holds_kept_entries) {
    model_->Grow(std::move(opened.texts));
  } else {
    model_->Append(opened.texts);
  }
  if (opened.records > 0) SetEncodeEnabled(true);
  SelectionChanged();
}

void FilesList::WhenUpToDate(std::function<void()> step) {
  if (ChangesPending() || taking_waiting_) {
    waiting_.push_back(std::move(step));
    return;
  }
  step();
}

// In the order given, until one of them opens a list that must be read first.
void FilesList::TakeWaitingChanges() {
  if (taking_waiting_) return;
  taking_waiting_ = true;
  while (!reading_ && !waiting_.empty()) {
    std::function<void()> step = std::move(waiting_.front());
    waiting_.pop_front();
    step();
  }
  taking_waiting_ = false;
}

int FilesList::CountItems() const { return model_->Count(); }

QString FilesList::ItemText(int index) const { return model_->Text(index); }

QStringList FilesList::Texts() const { return model_->Texts(); }

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
