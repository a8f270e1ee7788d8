#pragma once

#include <QWidget>

#include "platform/message.h"

class QLabel;
class QProgressBar;
class QPushButton;

// The window that stands in front of the application during a run: which file is encoded, its
// number, and the buttons to skip it or stop the run. The user cannot close, resize, minimise or
// maximise it; the run shows and hides it.
class ProgressWindow : public QWidget {
  Q_OBJECT

 public:
  // The buttons' 'SKIP' and 'STOP' go to `window`, the main window.
  explicit ProgressWindow(MessageHandler* window, QWidget* parent = nullptr);

  // The full text stays available (FileName(), tooltip, accessible name) when the label has to
  // shorten a long path to keep the window on the screen.
  void SetFileName(const QString& text);
  QString FileName() const { return file_name_text_; }
  void SetFileNumber(const QString& text);
  void SetButtonsEnabled(bool enabled);
  // The current file's percentage; -1 makes the bar a busy bar.
  void SetFileProgress(int percent);
  // The run's progress in thousandths and the estimate of the time left.
  void SetRunProgress(int permille, const QString& remaining);

  QWidget* back_view;
  QLabel* file_name;
  QLabel* file_number;
  QPushButton* skip_button;
  QPushButton* stop_button;
  QProgressBar* file_progress;
  QProgressBar* run_progress;
  QLabel* remaining_time;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QString file_name_text_;
};
