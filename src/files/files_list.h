#pragma once

#include <QListView>
#include <QPointer>
#include <QStringList>
#include <deque>
#include <functional>
#include <memory>

#include "files/files_settings.h"
#include "files/list_file.h"
#include "files/list_opening.h"
#include "platform/message.h"

class AlertPresenter;
class BackgroundTask;
class FilePanel;
class FilesModel;
class QMimeData;
class QPushButton;

// The input files of a run, one path per row in run order. It keeps the encode, remove and
// move buttons in step with its entries and selection, owns the panels that save and open list
// files, and carries out the list's commands.
//
// A long list file is read on a thread of its own, and the list takes it in one step once it is
// read whole. Until then the list stays as it was, and every command that changes or reads the
// list waits, in the order given, so that each acts as if the file had been read at once.
class FilesList : public QListView {
  Q_OBJECT

 public:
  // `application` receives the panels' messages; `settings` is read on every Open.
  FilesList(MessageHandler* application, AlertPresenter* alerts, const FilesSettings* settings,
            QWidget* parent = nullptr);
  ~FilesList() override;

  // The list's commands: "Neu", "Speichern...", "Öffnen...", the list panels' results, and the
  // "Dateien" tab's remove and move buttons. Other codes change nothing.
  void MessageReceived(const Message& message);

  void SetButtons(QPushButton* remove, QPushButton* encode, QPushButton* move_up,
                  QPushButton* move_down);

  void AddFile(const QString& path);
  // Appends the files whose paths a list file can hold. The others are named in one alert, after
  // the lines of `left_out` for what never became a path (as ResolveDroppedUrls gives them).
  void AddFiles(const QStringList& paths, const QStringList& left_out = {});
  // The only ways into the list: each successful addition enables the encode button.
  bool AddItem(const QString& text);
  bool AddItem(const QString& text, int index);
  bool AddItems(const QStringList& texts);

  void RemoveFiles();
  void Clear();
  void MoveUp();
  void MoveDown();
  void SelectionChanged();
  // Marks the entries of the failed files with an error icon and the reason (path -> reason),
  // until the list changes.
  void ShowFailures(const QHash<QString, QString>& failures);

  // Appends the local files of dropped URLs; true when the data held any URL.
  bool DropMimeData(const QMimeData* mime_data);

  void ShowSave();
  void ShowOpen();
  void Save(const QString& path);
  void Open(const QString& path);

  // Runs `step` once every change given before it has been made (a list file still being read
  // among them); at once when none waits.
  void WhenUpToDate(std::function<void()> step);
  // A list file is being read, or changes wait for one.
  bool ChangesPending() const { return reading_ != nullptr || !waiting_.empty(); }
  // Called on the reading thread once a list file is read, before the list takes it: tests hold
  // the reading there.
  void SetReadGate(std::function<void()> gate) { read_gate_ = std::move(gate); }

  int CountItems() const;
  QString ItemText(int index) const;
  // Every entry's text, shared until either side changes.
  QStringList Texts() const;

  FilePanel* SavePanel() const { return save_panel_; }
  FilePanel* OpenPanel() const { return open_panel_; }

 signals:
  // A list file was read and is about to fill the list: the "Dateien" tab should be shown.
  void ListFileRead();

 protected:
  void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // The selected row when exactly one is selected, otherwise -1.
  int SingleSelectedRow() const;
  void SetEncodeEnabled(bool enabled);
  void SaveChosen(const Message& message);
  void OpenChosen(const Message& message);
  void AddFilesNow(const QStringList& paths, const QStringList& left_out);
  bool AddItemsNow(const QStringList& texts);
  bool InsertItemNow(const QString& text, int index);
  void RemoveFilesNow();
  void ClearNow();
  void MoveSelected(int step);
  void SaveNow(const QString& path);
  void OpenNow(const QString& path);
  void ReadInBackground(const QString& path, QStringList kept, bool keep);
  void TakeOpenedList(OpenedList opened, bool keep);
  void ListReadInBackground(OpenedList opened, bool keep);
  void TakeWaitingChanges();

  FilesModel* model_;
  AlertPresenter* alerts_;
  const FilesSettings* settings_;
  FilePanel* save_panel_;
  FilePanel* open_panel_;
  // The reading of a long list file, while it goes on.
  std::unique_ptr<BackgroundTask> reading_;
  std::function<void()> read_gate_;
  // Changes given while a list is read or while waiting changes are made, oldest first.
  std::deque<std::function<void()>> waiting_;
  bool taking_waiting_ = false;
  QPointer<QPushButton> encode_button_;
  QPointer<QPushButton> remove_button_;
  QPointer<QPushButton> move_up_button_;
  QPointer<QPushButton> move_down_button_;
};
