#include "encode/progress_window.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "encode/run_commands.h"
#include "platform/message_post.h"

namespace {
constexpr int kWindowWidth = 340;

QLabel* TextView(const QString& name, const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setTextFormat(Qt::PlainText);
  return label;
}

QProgressBar* Bar(const QString& name, const QString& accessible_name, int maximum,
                  QWidget* parent) {
  auto* bar = new QProgressBar(parent);
  bar->setObjectName(name);
  bar->setAccessibleName(accessible_name);
  bar->setRange(0, maximum);
  bar->setValue(0);
  bar->setTextVisible(false);
  return bar;
}
}  // namespace

ProgressWindow::ProgressWindow(MessageHandler* window, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setWindowTitle(QStringLiteral("Fortschritt der Kodierung"));
  setWindowModality(Qt::ApplicationModal);

  back_view_ = new QWidget(this);
  back_view_->setObjectName(QStringLiteral("BackView"));
  auto* now_encoding =
      TextView(QStringLiteral("NowEncoding"),
               QStringLiteral("Bitte warten während der Kodierung von:"), back_view_);
  file_name_ = TextView(QStringLiteral("FileName"), QStringLiteral("#"), back_view_);
  // The label never asks for more width than the window has; long paths are shortened instead.
  file_name_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  file_name_text_ = file_name_->text();
  file_number_ = TextView(QStringLiteral("FileNumber"), QStringLiteral("#"), back_view_);
  file_progress_ =
      Bar(QStringLiteral("FileProgress"), QStringLiteral("Fortschritt der Datei"), 100, back_view_);
  run_progress_ = Bar(QStringLiteral("RunProgress"), QStringLiteral("Fortschritt aller Dateien"),
                      1000, back_view_);
  remaining_time_ = TextView(QStringLiteral("RemainingTime"), QString(), back_view_);
  // Room for the longest estimate, so the window keeps its size while the text changes.
  remaining_time_->setMinimumWidth(
      remaining_time_->fontMetrics().horizontalAdvance(QStringLiteral("noch etwa 00:00:00")));
  remaining_time_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  skip_button_ = new QPushButton(QStringLiteral("Datei auslassen"), back_view_);
  skip_button_->setObjectName(QStringLiteral("SkipFile"));
  stop_button_ = new QPushButton(QStringLiteral("Kodieren abbrechen"), back_view_);
  stop_button_->setObjectName(QStringLiteral("StopEncoding"));
  // Neither button is a default button: Return must not skip a file by accident.
  for (QPushButton* button : {skip_button_, stop_button_}) button->setAutoDefault(false);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(skip_button_);
  buttons->addWidget(stop_button_);
  buttons->addStretch();
  auto* back_layout = new QVBoxLayout(back_view_);
  back_layout->addWidget(now_encoding);
  back_layout->addWidget(file_name_);
  back_layout->addWidget(file_number_);
  back_layout->addWidget(file_progress_);
  auto* run_line = new QHBoxLayout;
  run_line->addWidget(run_progress_, 1);
  run_line->addWidget(remaining_time_);
  back_layout->addLayout(run_line);
  back_layout->addLayout(buttons);
  auto* window_layout = new QVBoxLayout(this);
  window_layout->setContentsMargins(0, 0, 0, 0);
  window_layout->addWidget(back_view_);

  const QSize wanted = sizeHint();
  setFixedSize(std::max(kWindowWidth, wanted.width()), wanted.height());

  connect(skip_button_, &QPushButton::clicked, this,
          [this, window] { PostMessage(skip_button_, window, Message(command::kSkip)); });
  connect(stop_button_, &QPushButton::clicked, this,
          [this, window] { PostMessage(stop_button_, window, Message(command::kStop)); });
}

void ProgressWindow::SetFileName(const QString& text) {
  file_name_text_ = text;
  // The window has a fixed width, so the label's room is known before it is first shown.
  layout()->activate();
  back_view_->layout()->activate();
  file_name_->setText(file_name_->fontMetrics().elidedText(text, Qt::ElideMiddle,
                                                           file_name_->contentsRect().width()));
  file_name_->setToolTip(text);
  file_name_->setAccessibleName(text);
}

void ProgressWindow::SetFileNumber(const QString& text) { file_number_->setText(text); }

void ProgressWindow::SetButtonsEnabled(bool enabled) {
  skip_button_->setEnabled(enabled);
  stop_button_->setEnabled(enabled);
}

void ProgressWindow::SetFileProgress(int percent) {
  if (percent < 0) {
    file_progress_->setRange(0, 0);
    return;
  }
  file_progress_->setRange(0, 100);
  file_progress_->setValue(percent);
}

void ProgressWindow::SetRunProgress(int permille, const QString& remaining) {
  run_progress_->setValue(permille);
  remaining_time_->setText(remaining);
}
