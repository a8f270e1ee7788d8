#pragma once

#include <QTabWidget>

// The main window's three tabs, "Dateien", "Gogo-Optionen" and "Programm-Optionen", each
// labelled by its view's name. The tab view owns the views from then on.
class TabView : public QTabWidget {
  Q_OBJECT

 public:
  TabView(QWidget* files_view, QWidget* encoder_view, QWidget* options_view,
          QWidget* parent = nullptr);
};
