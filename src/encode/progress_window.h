#pragma once

#include <QDialog>

#include "platform/message.h"

class QLabel;
class QProgressBar;
class QPushButton;

// The window that stands in front of the application during a run: which file is encoded, its
// number, and the buttons to skip it or stop the run. An application-modal dialog, so assistive
// technology announces it when it opens. The user cannot close (not even with Escape), resize,
// minimise or maximise it; the run shows and hides it.
class ProgressWindow : public QDialog {
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

 public slots:
  // Only the run ends the dialog: the window manager's close and Escape come here and do nothing.
  void reject() override {}

 private:
  QWidget* back_view_;
  QLabel* file_name_;
  QLabel* file_number_;
  QPushButton* skip_button_;
  QPushButton* stop_button_;
  QProgressBar* file_progress_;
  QProgressBar* run_progress_;
  QLabel* remaining_time_;
  QString file_name_text_;
};
