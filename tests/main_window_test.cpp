#include "window/main_window.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <functional>
#include <memory>

#include "app/options_commands.h"
#include "app/options_view.h"
#include "encode/progress_window.h"
#include "encode/run_commands.h"
#include "encoder_options/encoder_commands.h"
#include "files/files_commands.h"
#include "files/files_list.h"
#include "files/list_file.h"
#include "platform/file_panel.h"
#include "platform/system_messages.h"
#include "support/recorders.h"
#include "support/test_support.h"
#include "window/tab_view.h"
#include "window/window_commands.h"

namespace {

// The real window with its command handler replaced by a recorder.
class RecordingMainWindow : public MainWindow {
 public:
  RecordingMainWindow(const QString& list_path, const WindowSettings& settings,
                      ApplicationPort& application, AlertPresenter& alerts, OptionsTab& options_tab)
      : MainWindow(list_path, settings, application, alerts, options_tab) {}
  void MessageReceived(const Message& message) override { received.MessageReceived(message); }
  RecordingHandler received;
};

// An application object that only keeps the messages it is handed.
class RecordingApplication : public ApplicationPort, public MimeTypeActions {
 public:
  QString ExecutablePath() const override { return {}; }
  void WriteOptions() override {}
  void Quit() override {}
  void RegisterMIMEType(bool) override {}
  void UnregisterMIMEType() override {}
  void MessageReceived(const Message& message) override { received.MessageReceived(message); }
  RecordingHandler received;
};

struct Fixture {
  explicit Fixture(const QString& list_path = {})
      : window(std::make_unique<RecordingMainWindow>(
            list_path, settings, application, alerts,
            *new OptionsView(settings, application, &application))) {}
  Settings settings{{{false, false}, QStringLiteral("/usr/bin/gogo")}, true};
  RecordingAlerts alerts;
  RecordingApplication application;
  std::unique_ptr<RecordingMainWindow> window;
};

template <typename Widget>
Widget* Find(const MainWindow& window, const QString& name) {
  auto* widget = window.findChild<Widget*>(name);
  EXPECT_NE(widget, nullptr) << name.toStdString();
  return widget;
}

void TriggerMenuItem(MainWindow& window, const QString& menu_title, const QString& item_text) {
  for (QAction* menu_action : Find<QMenuBar>(window, QStringLiteral("MenuBar"))->actions()) {
    if (menu_action->text() != menu_title) continue;
    for (QAction* item : menu_action->menu()->actions()) {
      if (item->text() == item_text) {
        item->trigger();
        return;
      }
    }
  }
  FAIL() << "no menu item " << item_text.toStdString();
}

void Click(MainWindow& window, const char* name) {
  auto* button = window.findChild<QAbstractButton*>(QLatin1String(name));
  ASSERT_NE(button, nullptr) << name;
  button->setEnabled(true);
  button->click();
}

struct ControlCase {
  const char* name;
  std::function<void(MainWindow&)> use;
  uint32_t expected;
  bool to_application;
};
void PrintTo(const ControlCase& c, std::ostream* os) { *os << c.name; }

class MainWindowControlTest : public ::testing::TestWithParam<ControlCase> {};

TEST_P(MainWindowControlTest, DeliversItsCommandToItsHandler) {
  const ControlCase& c = GetParam();
  Fixture fixture;
  c.use(*fixture.window);
  RecordingHandler& target =
      c.to_application ? fixture.application.received : fixture.window->received;
  RecordingHandler& other =
      c.to_application ? fixture.window->received : fixture.application.received;
  ASSERT_TRUE(test_support::WaitUntil([&] { return !target.messages.isEmpty(); }, 5000));
  EXPECT_EQ(target.Codes(), QList<uint32_t>{c.expected});
  EXPECT_TRUE(other.messages.isEmpty());
}

const auto kMenu = [](const char* menu, const char* item) {
  return [menu, item](MainWindow& window) {
    TriggerMenuItem(window, QString::fromUtf8(menu), QString::fromUtf8(item));
  };
};
const auto kClick = [](const char* name) {
  return [name](MainWindow& window) { Click(window, name); };
};

INSTANTIATE_TEST_SUITE_P(
    Controls, MainWindowControlTest,
    ::testing::Values(
        ControlCase{"MenuNew", kMenu("Liste", "Neu"), command::kNewList, false},
        ControlCase{"MenuSave", kMenu("Liste", "Speichern..."), command::kSaveList, false},
        ControlCase{"MenuOpen", kMenu("Liste", "Öffnen..."), command::kOpenList, false},
        ControlCase{"MenuQuit", kMenu("Liste", "Beenden"), command::kClose, false},
        ControlCase{"MenuReadme", kMenu("Hilfe", "Liesmich"), command::kReadme, false},
        ControlCase{"MenuAboutGoesToTheApplication", kMenu("Hilfe", "Über..."),
                    command::kAboutRequested, true},
        ControlCase{"CloseButton", kClick("CloseButton"), command::kClose, false},
        ControlCase{"EncodeButton", kClick("EncodeButton"), command::kEncode, false},
        ControlCase{"SkipFile", kClick("SkipFile"), command::kSkip, false},
        ControlCase{"StopEncoding", kClick("StopEncoding"), command::kStop, false},
        ControlCase{"DontCloseOnAdd", kClick("DontCloseOnAdd"), command::kDontCloseOnAdd, false},
        ControlCase{"DontClearOnOpen", kClick("DontClearOnOpen"), command::kDontClearOnOpen, false},
        ControlCase{"SelfRegisterMIMEType", kClick("SelfRegisterMIMEType"),
                    command::kSelfRegisterMimeType, false},
        ControlCase{"RegisterMIMETypeNow", kClick("RegisterMIMETypeNow"),
                    command::kRegisterMimeTypeNow, false},
        ControlCase{"UnregisterMIMETypeNow", kClick("UnregisterMIMETypeNow"),
                    command::kUnregisterMimeTypeNow, false},
        ControlCase{"AddFiles", kClick("AddFiles"), command::kAddFiles, false},
        ControlCase{"TypingTheEncoderPath",
                    [](MainWindow& window) {
                      window.findChild<QLineEdit*>(QStringLiteral("EncoderLocation"))
                          ->setText(QStringLiteral("/opt/gogo"));
                    },
                    command::kEncoderLocationChanged, false}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

struct BrowseCase {
  const char* button;
  const char* panel;
};
void PrintTo(const BrowseCase& c, std::ostream* os) { *os << c.button; }

class MainWindowBrowseTest : public ::testing::TestWithParam<BrowseCase> {};

TEST_P(MainWindowBrowseTest, ShowsItsTabsOwnPanelWithoutACommand) {
  const BrowseCase& c = GetParam();
  Fixture fixture;
  Click(*fixture.window, c.button);
  const FilePanel* panel = Find<FilePanel>(*fixture.window, QString::fromLatin1(c.panel));
  ASSERT_NE(panel->Dialog(), nullptr);
  EXPECT_TRUE(panel->Dialog()->isVisible());
  panel->Dialog()->hide();
  QCoreApplication::processEvents();
  EXPECT_TRUE(fixture.window->received.messages.isEmpty());
  EXPECT_TRUE(fixture.application.received.messages.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(BrowseButtons, MainWindowBrowseTest,
                         ::testing::Values(BrowseCase{"OutputDirButton", "DirectoryPanel"},
                                           BrowseCase{"SetEncoderLocation", "PathPanel"}),
                         [](const auto& param_info) {
                           return std::string(param_info.param.button);
                         });

TEST(MainWindowTest, StartsWithEncodingDisabledAndTheProgressWindowHidden) {
  Fixture fixture;
  MainWindow& window = *fixture.window;
  const QTabWidget* tabs = Find<QTabWidget>(window, QStringLiteral("TabView"));
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Zavrik 1.2a"));
  EXPECT_FALSE(Find<QPushButton>(window, QStringLiteral("EncodeButton"))->isEnabled());
  EXPECT_TRUE(Find<QPushButton>(window, QStringLiteral("CloseButton"))->isEnabled());
  EXPECT_TRUE(window.findChild<ProgressWindow*>()->isWindow());
  EXPECT_FALSE(window.findChild<ProgressWindow*>()->isVisible());
  ASSERT_EQ(tabs->count(), 3);
  EXPECT_EQ(tabs->tabText(0), QStringLiteral("Dateien"));
  EXPECT_EQ(tabs->tabText(1), QStringLiteral("Gogo-Optionen"));
  EXPECT_EQ(tabs->tabText(2), QStringLiteral("Programm-Optionen"));
  // No menu item has a shortcut.
  for (QAction* menu : Find<QMenuBar>(window, QStringLiteral("MenuBar"))->actions()) {
    for (QAction* item : menu->menu()->actions()) EXPECT_TRUE(item->shortcut().isEmpty());
  }
}

TEST(MainWindowTest, OpensTheListItIsGivenAndShowsTheFilesTab) {
  QTemporaryDir folder;
  const QString list = folder.filePath(QStringLiteral("liste.zvk"));
  ASSERT_EQ(SaveListFile(list, {QStringLiteral("/tmp/a.wav"), QStringLiteral("/tmp/b c.wav")}),
            ListSaveResult::Saved);
  Fixture fixture(list);
  EXPECT_EQ(Find<FilesList>(*fixture.window, QStringLiteral("FilesList"))->CountItems(), 2);
  EXPECT_EQ(Find<FilesList>(*fixture.window, QStringLiteral("FilesList"))->ItemText(1),
            QStringLiteral("/tmp/b c.wav"));
  EXPECT_TRUE(Find<QPushButton>(*fixture.window, QStringLiteral("EncodeButton"))->isEnabled());
  EXPECT_EQ(Find<QTabWidget>(*fixture.window, QStringLiteral("TabView"))->currentIndex(), 0);
  EXPECT_TRUE(fixture.alerts.shown.isEmpty());
}

TEST(MainWindowTest, IsNotResizableOrZoomable) {
  Fixture fixture;
  MainWindow& window = *fixture.window;
  EXPECT_EQ(window.minimumSize(), window.maximumSize());
  EXPECT_GE(window.width(), 440);
  EXPECT_GE(window.height(), 280);
  if (window.minimumSizeHint().boundedTo(QSize(440, 280)) == window.minimumSizeHint()) {
    EXPECT_EQ(window.size(), QSize(440, 280));
  }
  EXPECT_FALSE(window.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
}

// Every visible control of the window in window coordinates.
QList<QWidget*> VisibleControls(QWidget* window) {
  QList<QWidget*> controls;
  for (QWidget* widget : window->findChildren<QWidget*>()) {
    if (!widget->isVisible() || widget->window() != window) continue;
    if (qobject_cast<QAbstractButton*>(widget) || qobject_cast<QLabel*>(widget) ||
        qobject_cast<QLineEdit*>(widget) || qobject_cast<QComboBox*>(widget) ||
        qobject_cast<QListView*>(widget) || qobject_cast<QTabBar*>(widget) ||
        qobject_cast<QMenuBar*>(widget)) {
      controls.append(widget);
    }
  }
  return controls;
}

QRect InWindow(QWidget* widget) {
  return QRect(widget->mapTo(widget->window(), QPoint(0, 0)), widget->size());
}

TEST(MainWindowTest, NoControlOverlapsAnotherOrIsClippedOnAnyTab) {
  Fixture fixture;
  MainWindow& window = *fixture.window;
  window.show();
  ASSERT_TRUE(test_support::WaitUntil([&] { return window.isVisible(); }));
  QTabWidget* tabs = Find<QTabWidget>(window, QStringLiteral("TabView"));
  for (int tab = 0; tab < tabs->count(); ++tab) {
    tabs->setCurrentIndex(tab);
    QCoreApplication::processEvents();
    const QList<QWidget*> controls = VisibleControls(&window);
    ASSERT_GT(controls.size(), 4);
    for (QWidget* control : controls) {
      const std::string name =
          control->objectName().toStdString() + " on tab " + std::to_string(tab);
      EXPECT_TRUE(window.rect().contains(InWindow(control))) << name;
      // Smaller than its minimum, a control cuts its text.
      EXPECT_GE(control->width(), control->minimumSizeHint().width()) << name;
      EXPECT_GE(control->height(), control->minimumSizeHint().height()) << name;
      for (QWidget* other : controls) {
        if (other == control || control->isAncestorOf(other) || other->isAncestorOf(control)) {
          continue;
        }
        EXPECT_FALSE(InWindow(control).intersects(InWindow(other)))
            << name << " overlaps " << other->objectName().toStdString();
      }
    }
  }
  // The buttons sit below the tabs, "Kodieren!" left of "Beenden".
  QPushButton* encode = Find<QPushButton>(window, QStringLiteral("EncodeButton"));
  QPushButton* close = Find<QPushButton>(window, QStringLiteral("CloseButton"));
  EXPECT_LE(InWindow(tabs).bottom(), InWindow(encode).top());
  EXPECT_LT(InWindow(encode).right(), InWindow(close).left());
  window.hide();
}

}  // namespace
