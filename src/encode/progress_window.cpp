#include "encode/progress_window.h"

#include <QHBoxLayout>
#include <QLabel>
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
}  // namespace

ProgressWindow::ProgressWindow(MessageHandler* window, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setWindowTitle(QStringLiteral("Fortschritt der Kodierung"));
  setWindowModality(Qt::ApplicationModal);

  back_view = new QWidget(this);
  back_view->setObjectName(QStringLiteral("BackView"));
  auto* now_encoding =
      TextView(QStringLiteral("NowEncoding"),
               QStringLiteral("Bitte warten während der Kodierung von:"), back_view);
  file_name = TextView(QStringLiteral("FileName"), QStringLiteral("#"), back_view);
  // The label never asks for more width than the window has; long paths are shortened instead.
  file_name->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  file_name_text_ = file_name->text();
  file_number = TextView(QStringLiteral("FileNumber"), QStringLiteral("#"), back_view);
  skip_button = new QPushButton(QStringLiteral("Datei auslassen"), back_view);
  skip_button->setObjectName(QStringLiteral("SkipFile"));
  stop_button = new QPushButton(QStringLiteral("Kodieren abbrechen"), back_view);
  stop_button->setObjectName(QStringLiteral("StopEncoding"));
  // Neither button is a default button: Return must not skip a file by accident.
  for (QPushButton* button : {skip_button, stop_button}) button->setAutoDefault(false);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(skip_button);
  buttons->addWidget(stop_button);
  buttons->addStretch();
  auto* back_layout = new QVBoxLayout(back_view);
  back_layout->addWidget(now_encoding);
  back_layout->addWidget(file_name);
  back_layout->addWidget(file_number);
  back_layout->addLayout(buttons);
  auto* window_layout = new QVBoxLayout(this);
  window_layout->setContentsMargins(0, 0, 0, 0);
  window_layout->addWidget(back_view);

  const QSize wanted = sizeHint();
  setFixedSize(std::max(kWindowWidth, wanted.width()), wanted.height());

  connect(skip_button, &QPushButton::clicked, this,
          [this, window] { PostMessage(skip_button, window, Message(command::kSkip)); });
  connect(stop_button, &QPushButton::clicked, this,
          [this, window] { PostMessage(stop_button, window, Message(command::kStop)); });
}

void ProgressWindow::SetFileName(const QString& text) {
  file_name_text_ = text;
  // The window has a fixed width, so the label's room is known before it is first shown.
  layout()->activate();
  back_view->layout()->activate();
  file_name->setText(file_name->fontMetrics().elidedText(text, Qt::ElideMiddle,
                                                         file_name->contentsRect().width()));
  file_name->setToolTip(text);
  file_name->setAccessibleName(text);
}

void ProgressWindow::SetFileNumber(const QString& text) { file_number->setText(text); }

void ProgressWindow::SetButtonsEnabled(bool enabled) {
  skip_button->setEnabled(enabled);
  stop_button->setEnabled(enabled);
}
