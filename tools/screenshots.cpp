// Shows the main window and the progress window under a real X server and saves a picture of
// every tab and of the progress window, for checking the layout by eye:
//   zavrik_screenshots OUTPUT_FOLDER
#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>

#include "app/options_view.h"
#include "encode/progress_window.h"
#include "files/files_list.h"
#include "platform/message_box_presenter.h"
#include "window/main_window.h"

namespace {
// An application object that lets everything pass.
class IgnoringApplication : public ApplicationPort, public MimeTypeActions {
 public:
  void MessageReceived(const Message&) override {}
  QString ExecutablePath() const override { return {}; }
  void WriteOptions() override {}
  void Quit() override {}
  void RegisterMIMEType(bool) override {}
  void UnregisterMIMEType() override {}
};

bool Save(QWidget* widget, const QString& path) {
  const bool saved = widget->grab().save(path);
  std::printf("%s %s\n", saved ? "saved" : "FAILED", qPrintable(path));
  return saved;
}

// Lets the window system map and paint what was just shown or changed.
void Settle(QWidget* widget) {
  QEventLoop loop;
  QTimer::singleShot(300, &loop, &QEventLoop::quit);
  loop.exec();
  widget->repaint();
}
}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  const QDir output(QString::fromLocal8Bit(argv[1]));
  if (!output.mkpath(QStringLiteral("."))) return 1;

  IgnoringApplication application;
  MessageBoxPresenter alerts;
  Settings settings{{{false, false}, QStringLiteral("/usr/local/bin/gogo")}, true};
  MainWindow window(QString(), settings, application, alerts,
                    *new OptionsView(settings, application, &application));
  window.findChild<FilesList*>()->AddItems(
      {QStringLiteral("/home/anna/Musik/Aufnahmen/01 Einleitung.wav"),
       QStringLiteral("/home/anna/Musik/Aufnahmen/02 Über den Fluss.wav"),
       QStringLiteral("/home/anna/Musik/Aufnahmen/03 Schluss.wav")});
  window.show();

  bool all_saved = true;
  const QStringList names = {QStringLiteral("tab-1-dateien"), QStringLiteral("tab-2-gogo-optionen"),
                             QStringLiteral("tab-3-programm-optionen")};
  auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("TabView"));
  for (int tab = 0; tab < tabs->count(); ++tab) {
    tabs->setCurrentIndex(tab);
    Settle(&window);
    all_saved &= Save(&window, output.filePath(names.value(tab) + QStringLiteral(".png")));
  }

  auto* progress = window.findChild<ProgressWindow*>();
  progress->SetFileName(
      QStringLiteral("\"/home/anna/Musik/Aufnahmen aus dem Sommer/Ein sehr langer Ordnername mit "
                     "Umlauten äöü/02 Über den Fluss.wav\""));
  progress->SetFileNumber(QStringLiteral("Datei 2 von 3"));
  progress->move(window.pos() + QPoint(50, 50));
  progress->show();
  Settle(progress);
  all_saved &= Save(progress, output.filePath(QStringLiteral("progress-window.png")));
  progress->hide();
  return all_saved ? 0 : 1;
}
