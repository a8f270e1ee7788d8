#include "window/tab_view.h"

#include "app/options_view.h"
#include "encoder_options/encoder_view.h"
#include "files/files_view.h"

TabView::TabView(QPushButton* encode_button, MessageHandler* window, MessageHandler* application,
                 AlertPresenter* alerts, const Settings* settings, QWidget* parent)
    : QTabWidget(parent) {
  setObjectName(QStringLiteral("TabView"));
  // All three tabs stay in sight; the window is made wide enough for their labels.
  setUsesScrollButtons(false);
  files_view = new FilesView(encode_button, window, application, alerts, settings, this);
  encoder_view = new EncoderView(window, application, this);
  options_view = new OptionsView(*settings, window, application, this);
  for (QWidget* view : {static_cast<QWidget*>(files_view), static_cast<QWidget*>(encoder_view),
                        static_cast<QWidget*>(options_view)}) {
    addTab(view, view->objectName());
  }
}
