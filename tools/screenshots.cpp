// Shows the main window, the progress window and the alert after a run with failed files under
// a real X server and saves a picture of each, for checking the layout by eye:
//   zavrik_screenshots OUTPUT_FOLDER
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTabWidget>
#include <QTimer>
#include <QTranslator>
#include <cstdio>

#include "app/options_view.h"
#include "encode/progress_window.h"
#include "encode/run_outcome.h"
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
  // Qt's own buttons in German, as Zavrik shows them.
  QTranslator qt_german;
  if (qt_german.load(QLocale(QLocale::German), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    app.installTranslator(&qt_german);
  }
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
  progress->SetFileProgress(42);
  progress->SetRunProgress(380, QStringLiteral("noch etwa 2:35"));
  progress->move(window.pos() + QPoint(50, 50));
  progress->show();
  Settle(progress);
  all_saved &= Save(progress, output.filePath(QStringLiteral("progress-window.png")));
  progress->hide();

  // The alert after a run with failed files, once as it opens and once with its details shown.
  RunResults results;
  results.Add(
      {QStringLiteral("/home/anna/Musik/Aufnahmen/01 Einleitung.wav"), FileOutcome::kEncoded, {}});
  results.Add({QStringLiteral("/home/anna/Musik/Aufnahmen/02 Über den Fluss.wav"),
               FileOutcome::kFailed,
               QStringLiteral("gogo: \"/home/anna/Musik/Aufnahmen/02 Über den Fluss.wav\": keine "
                              "lesbare Audiodatei")});
  results.Add({QStringLiteral("/home/anna/Musik/Aufnahmen/03 Schluss.wav"), FileOutcome::kFailed,
               QStringLiteral("Der Kodierer wurde durch Signal 9 beendet.")});
  for (const QString& name :
       {QStringLiteral("run-failures"), QStringLiteral("run-failures-details")}) {
    QTimer::singleShot(0, [&, name] {
      QWidget* box = QApplication::activeModalWidget();
      if (box == nullptr) return;
      auto* message_box = qobject_cast<QMessageBox*>(box);
      if (message_box != nullptr && name.endsWith(QStringLiteral("details"))) {
        // The box's own button that shows the details is its only action button.
        for (QAbstractButton* button : message_box->buttons()) {
          if (message_box->buttonRole(button) == QMessageBox::ActionRole) button->click();
        }
      }
      Settle(box);
      all_saved &= Save(box, output.filePath(name + QStringLiteral(".png")));
      box->close();
    });
    alerts.Go(results.FailureAlert());
  }
  return all_saved ? 0 : 1;
}
