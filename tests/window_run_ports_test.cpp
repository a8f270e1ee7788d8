// Encoding runs started from the main window, with real processes: the fake encoder records its
// arguments and waits until the test ends it.
#include "window/window_run_ports.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "encode/progress_window.h"
#include "encode/run_commands.h"
#include "files/list_file.h"
#include "main_window_fixture.h"

namespace {

using window_test::EncoderCall;
using window_test::ProcessGone;
using window_test::ReadEncoderLog;

class WindowRunTest : public window_test::MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    log_path = Path(QStringLiteral("encoder.log"));
    qputenv("FAKE_ENCODER_LOG", QFile::encodeName(log_path));
    qputenv("FAKE_ENCODER_MODE", "wait");
    settings.encoder_location = QStringLiteral(ZAVRIK_TEST_PROGRAM_DIR "/fake_encoder");
    for (const QString& entry : entries) List()->AddFile(entry);
  }

  void TearDown() override {
    // Encoders a failed test left waiting; a process id taken over by another program is spared.
    for (const EncoderCall& call : Calls()) {
      QFile command_line(QStringLiteral("/proc/%1/cmdline").arg(call.pid));
      if (command_line.open(QIODevice::ReadOnly) &&
          command_line.readAll().contains("fake_encoder")) {
        kill(pid_t(call.pid), SIGKILL);
      }
    }
    qunsetenv("FAKE_ENCODER_LOG");
    qunsetenv("FAKE_ENCODER_MODE");
    MainWindowTest::TearDown();
  }

  QList<EncoderCall> Calls() const { return ReadEncoderLog(log_path); }

  // Waits until the encoder has been launched `count` times and returns the last launch.
  EncoderCall Launched(int count) const {
    EXPECT_TRUE(test_support::WaitUntil([&] { return Calls().size() >= count; }))
        << "launch " << count << " did not happen";
    const QList<EncoderCall> calls = Calls();
    return calls.size() >= count ? calls.at(count - 1) : EncoderCall{};
  }

  void EndEncoder(const EncoderCall& call) const {
    kill(pid_t(call.pid), SIGTERM);
    EXPECT_TRUE(test_support::WaitUntil([&] { return ProcessGone(call.pid); }));
  }

  void ClickEncode() {
    Find<QPushButton>(QStringLiteral("EncodeButton"))->click();
    ASSERT_TRUE(test_support::WaitUntil([&] { return window->run().encoding(); }));
  }

  QString ProgressText(const char* name) const {
    return Progress()->findChild<QLabel*>(QString::fromLatin1(name))->text();
  }

  const QStringList entries = {QStringLiteral("/w/one.wav"), QStringLiteral("/w/two words.wav"),
                               QStringLiteral("/w/say \"hi\".wav")};
  QString log_path;
};

TEST_F(WindowRunTest, ThreeEntriesAreEncodedOneAfterAnotherInListOrder) {
  ClickEncode();
  EXPECT_EQ(Progress()->pos(), window->frameGeometry().topLeft() + QPoint(50, 50));
  for (int number = 1; number <= 3; ++number) {
    const EncoderCall call = Launched(number);
    // Each file starts only after the one before it has ended.
    EXPECT_EQ(Calls().size(), number);
    ASSERT_FALSE(call.arguments.isEmpty());
    EXPECT_EQ(call.arguments.last(), entries.at(number - 1));
    EXPECT_EQ(ProgressText("FileNumber"), QStringLiteral("Datei %1 von 3").arg(number));
    EXPECT_EQ(Progress()->FileName(), FileText(entries.at(number - 1)));
    EXPECT_TRUE(Progress()->isVisible());
    EndEncoder(call);
  }
  EXPECT_TRUE(test_support::WaitUntil([&] { return !Progress()->isVisible(); }));
  EXPECT_FALSE(window->run().encoding());
  EXPECT_FALSE(window->run_ports().watching());
  EXPECT_EQ(Calls().size(), 3);
  EXPECT_TRUE(alerts.shown.isEmpty());
}

TEST_F(WindowRunTest, AnEmptyListLaunchesNothing) {
  List()->Clear();
  window->MessageReceived(Message(command::kEncode));
  EXPECT_FALSE(Progress()->isVisible());
  EXPECT_FALSE(window->run().encoding());
  EXPECT_FALSE(window->run_ports().watching());
  EXPECT_TRUE(Calls().isEmpty());
  EXPECT_TRUE(alerts.shown.isEmpty());
}

TEST_F(WindowRunTest, StopDuringTheSecondFileEndsTheRunAndTheNextRunStartsAtTheFirst) {
  ClickEncode();
  EndEncoder(Launched(1));
  const EncoderCall second = Launched(2);
  window->MessageReceived(Message(command::kStop));
  EXPECT_FALSE(Progress()->isVisible());
  EXPECT_FALSE(window->run().encoding());
  EXPECT_FALSE(window->run_ports().watching());
  // The killed encoder's end must not start the third file.
  EXPECT_TRUE(test_support::WaitUntil([&] { return ProcessGone(second.pid); }));
  EXPECT_EQ(Calls().size(), 2);

  ClickEncode();
  EXPECT_EQ(Launched(3).arguments.last(), entries.at(0));
}

TEST_F(WindowRunTest, SkipDuringTheSecondFileGoesOnWithTheThird) {
  ClickEncode();
  EndEncoder(Launched(1));
  const EncoderCall second = Launched(2);
  window->MessageReceived(Message(command::kSkip));
  EXPECT_FALSE(Find<QPushButton>(QStringLiteral("SkipFile"))->isEnabled());
  EXPECT_FALSE(Find<QPushButton>(QStringLiteral("StopEncoding"))->isEnabled());
  EXPECT_TRUE(Progress()->isVisible());

  const EncoderCall third = Launched(3);
  EXPECT_TRUE(ProcessGone(second.pid));
  EXPECT_EQ(third.arguments.last(), entries.at(2));
  EXPECT_TRUE(Find<QPushButton>(QStringLiteral("SkipFile"))->isEnabled());
  EndEncoder(third);
  EXPECT_TRUE(test_support::WaitUntil([&] { return !window->run().encoding(); }));
}

// A list handed over during a run once replaced the list under it, and the run ended before
// its third file without a word.
TEST_F(WindowRunTest, FilesHandedOverDuringARunWaitForItsEndInTheOrderTheyCame) {
  const QString list = Path(QStringLiteral("list.zvk"));
  ASSERT_EQ(SaveListFile(list, {QStringLiteral("/m/1.wav"), QStringLiteral("/m/2.wav")}),
            ListSaveResult::Saved);
  const QString wave = WriteFile(QStringLiteral("late.wav"));
  ClickEncode();
  application.MessageReceived(window_test::WithRefs(command::kRefsReceived, {list}));
  EndEncoder(Launched(1));
  application.MessageReceived(window_test::WithRefs(command::kRefsReceived, {wave}));
  EndEncoder(Launched(2));
  EXPECT_EQ(Entries(), entries);
  EndEncoder(Launched(3));
  ASSERT_TRUE(test_support::WaitUntil([&] { return !window->run().encoding(); }));
  QStringList encoded;
  for (const EncoderCall& call : Calls()) encoded.append(call.arguments.last());
  EXPECT_EQ(encoded, entries);
  EXPECT_EQ(Entries(), QStringList({QStringLiteral("/m/1.wav"), QStringLiteral("/m/2.wav"), wave}));
}

TEST_F(WindowRunTest, OptionsChangedDuringARunApplyFromTheNextRunOn) {
  ClickEncode();
  const EncoderCall first = Launched(1);
  auto* bitrate = Find<QComboBox>(QStringLiteral("BitRate"));
  bitrate->setCurrentIndex(bitrate->count() - 1);
  EndEncoder(first);
  const EncoderCall second = Launched(2);
  EXPECT_EQ(second.arguments.mid(0, second.arguments.size() - 1),
            first.arguments.mid(0, first.arguments.size() - 1));
  window->MessageReceived(Message(command::kStop));

  ClickEncode();
  EXPECT_TRUE(Launched(3).arguments.contains(QStringLiteral("320")));
}

TEST_F(WindowRunTest, EncodersThatCannotRunAreReportedAndLeaveNoRunBehind) {
  struct Case {
    QString encoder_location;
    QString alert;
  };
  const QList<Case> cases = {
      {Path(QStringLiteral("no/such/gogo")), QStringLiteral("EncodeFailed")},
      {WriteFile(QStringLiteral("not-executable")), QStringLiteral("LaunchFailed")},
      {Path(QString()), QStringLiteral("LaunchFailed")},  // a folder
  };
  for (const Case& test : cases) {
    alerts.shown.clear();
    settings.encoder_location = test.encoder_location;
    window->MessageReceived(Message(command::kEncode));
    EXPECT_EQ(alerts.Ids(), QStringList({test.alert})) << test.encoder_location.toStdString();
    EXPECT_FALSE(Progress()->isVisible());
    EXPECT_FALSE(window->run().encoding());
  }
  EXPECT_TRUE(Calls().isEmpty());
}

}  // namespace
