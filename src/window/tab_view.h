#pragma once

#include <QTabWidget>

#include "app/settings.h"
#include "platform/alert.h"
#include "platform/message.h"

class EncoderView;
class FilesView;
class OptionsView;
class QPushButton;

// The main window's three tabs, "Dateien", "Gogo-Optionen" and "Programm-Optionen", each
// labelled by its view's name.
class TabView : public QTabWidget {
  Q_OBJECT

 public:
  TabView(QPushButton* encode_button, MessageHandler* window, MessageHandler* application,
          AlertPresenter* alerts, const Settings* settings, QWidget* parent = nullptr);

  FilesView* files_view;
  EncoderView* encoder_view;
  OptionsView* options_view;
};
