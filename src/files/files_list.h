#pragma once

#include <QListView>
#include <QPointer>
#include <QStringList>
#include <memory>

#include "files/files_settings.h"
#include "files/list_file.h"
#include "platform/message.h"

class AlertPresenter;
class FilePanel;
class FilesModel;
class QMimeData;
class QPushButton;

// The input files of a run, one path per row in run order. It keeps the encode, remove and
// move buttons in step with its entries and selection, owns the panels that save and open list
// files, and carries out the list's commands.
class FilesList : public QListView {
  Q_OBJECT

 public:
  // `application` receives the panels' messages; `settings` is read on every Open.
  FilesList(MessageHandler* application, AlertPresenter* alerts, const FilesSettings* settings,
            QWidget* parent = nullptr);

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
  // Reads the rest of a list still being opened at once, so that what follows sees it whole.
  void FinishReading();

  int CountItems() const;
  QString ItemText(int index) const;

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
  void MoveSelected(int step);
  void SetEncodeEnabled(bool enabled);
  void SaveChosen(const Message& message);
  void OpenChosen(const Message& message);
  void ReadOpenedList();
  void EndReading();

  FilesModel* model_;
  AlertPresenter* alerts_;
  const FilesSettings* settings_;
  FilePanel* save_panel_;
  FilePanel* open_panel_;
  // The list file being opened; a long one is read over several turns of the event loop.
  std::unique_ptr<ListFileReader> reader_;
  QStringList texts_before_open_;
  QPointer<QPushButton> encode_button_;
  QPointer<QPushButton> remove_button_;
  QPointer<QPushButton> move_up_button_;
  QPointer<QPushButton> move_down_button_;
};
