#include "window/tab_view.h"

TabView::TabView(QWidget* files_view, QWidget* encoder_view, QWidget* options_view, QWidget* parent)
    : QTabWidget(parent) {
  setObjectName(QStringLiteral("TabView"));
  // All three tabs stay in sight; the window is made wide enough for their labels.
  setUsesScrollButtons(false);
  for (QWidget* view : {files_view, encoder_view, options_view}) addTab(view, view->objectName());
}
