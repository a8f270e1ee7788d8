#pragma once

// Helpers for tests that drive the main window: an application object that records what the
// window asks of it, an alert presenter that records and answers, and the fake encoder's log.
#include <gtest/gtest.h>
#include <signal.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <memory>

#include "app/options_view.h"
#include "app/settings.h"
#include "encode/encoding_run.h"
#include "encode/progress_window.h"
#include "files/files_list.h"
#include "platform/alert.h"
#include "platform/system_messages.h"
#include "support/recorders.h"
#include "support/test_support.h"
#include "window/application_port.h"
#include "window/main_window.h"

namespace window_test {

// Takes the URLs that would go to a browser or a viewer.
class UrlRecorder : public QObject {
  Q_OBJECT

 public Q_SLOTS:
  void Open(const QUrl& url) { opened.append(url); }

 public:
  QList<QUrl> opened;
};

using ::RecordingAlerts;

// Stands in for the application object: records the calls and routes messages to the window
// the way the real one does.
class RecordingApplication : public ApplicationPort, public MimeTypeActions {
 public:
  QString ExecutablePath() const override { return executable_path; }
  void WriteOptions() override { calls.append(QStringLiteral("WriteOptions")); }
  void Quit() override { calls.append(QStringLiteral("Quit")); }
  void RegisterMIMEType(bool show_result) override {
    calls.append(QStringLiteral("RegisterMIMEType(%1)").arg(show_result));
  }
  void UnregisterMIMEType() override { calls.append(QStringLiteral("UnregisterMIMEType")); }
  void MessageReceived(const Message& message) override {
    if (window == nullptr) return;
    if (message.what == command::kSomeAppQuit) {
      window->ProcessEnded(*message.FindRef(QStringLiteral("be:ref")),
                           *message.FindInt32(QStringLiteral("pid")), EncoderEndFrom(message));
    } else if (message.what == command::kRefsReceived) {
      window->RefsReceived(message);
    } else {
      window->MessageReceived(message);
    }
  }

  QString executable_path;
  QStringList calls;
  MainWindow* window = nullptr;
};

inline Message WithRefs(uint32_t what, const QStringList& refs) {
  Message message(what);
  for (const QString& ref : refs) message.AddRef(QStringLiteral("refs"), ref);
  return message;
}

// Writes `content` to `name` below `folder`, making the folders on the way.
inline QString WriteFileIn(const QTemporaryDir& folder, const QString& name,
                           const QByteArray& content = "RIFF") {
  const QString path = folder.filePath(name);
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(content);
  return path;
}

template <typename Widget>
Widget* FindIn(const QWidget& window, const QString& name) {
  auto* widget = window.findChild<Widget*>(name);
  EXPECT_NE(widget, nullptr) << name.toStdString();
  return widget;
}

inline FilesList* ListOf(const MainWindow& window) {
  return FindIn<FilesList>(window, QStringLiteral("FilesList"));
}

inline ProgressWindow* ProgressOf(const MainWindow& window) {
  return window.findChild<ProgressWindow*>();
}

inline QStringList Entries(const MainWindow& window) {
  const FilesList* list = ListOf(window);
  QStringList entries;
  for (int i = 0; i < list->CountItems(); ++i) entries.append(list->ItemText(i));
  return entries;
}

// A main window on recording ports, with a temporary folder for the files a test makes.
class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.isValid());
    application.executable_path = Path(QStringLiteral("bin/zavrik"));
    settings.encoder_location = Path(QStringLiteral("bin/gogo"));
    auto* options_view = new OptionsView(settings, application, &application);
    window = std::make_unique<MainWindow>(QString(), settings, application, alerts, *options_view);
    application.window = window.get();
    window->show();
  }

  void TearDown() override {
    application.window = nullptr;
    window.reset();
  }

  QString Path(const QString& name) const { return folder.filePath(name); }

  QString WriteFile(const QString& name, const QByteArray& content = "RIFF") const {
    return WriteFileIn(folder, name, content);
  }
  QStringList Entries() const { return window_test::Entries(*window); }
  FilesList* List() const { return ListOf(*window); }
  ProgressWindow* Progress() const { return ProgressOf(*window); }
  template <typename Widget>
  Widget* Find(const QString& name) const {
    return FindIn<Widget>(*window, name);
  }

  QTemporaryDir folder;
  Settings settings;
  RecordingAlerts alerts;
  RecordingApplication application;
  std::unique_ptr<MainWindow> window;
};

// One run of the fake encoder: its process id and arguments.
struct EncoderCall {
  qint64 pid = 0;
  QStringList arguments;
};

// Reads the records the fake encoder appends: pid, argument count, arguments, each ended by NUL.
inline QList<EncoderCall> ReadEncoderLog(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QList<QByteArray> fields = file.readAll().split('\0');
  QList<EncoderCall> calls;
  qsizetype at = 0;
  while (at + 1 < fields.size()) {
    EncoderCall call;
    call.pid = fields.at(at).toLongLong();
    const int count = fields.at(at + 1).toInt();
    at += 2;
    if (at + count > fields.size()) break;
    for (int i = 0; i < count; ++i) call.arguments.append(QString::fromUtf8(fields.at(at + i)));
    at += count;
    calls.append(call);
  }
  return calls;
}

inline bool ProcessGone(qint64 pid) { return kill(pid_t(pid), 0) != 0 && errno == ESRCH; }

}  // namespace window_test
