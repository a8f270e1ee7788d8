#include "encode/encoding_run.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <functional>
#include <utility>

#include "encode/process_run_ports.h"
#include "support/test_support.h"

namespace {

QString Words(const QStringList& words) {
  QString text;
  for (const QString& word : words) text += QLatin1Char('[') + word + QLatin1Char(']');
  return text;
}

// Writes every effect of the run down as one line, in the order they happen.
class RecordingPorts : public RunPorts {
 public:
  QStringList files;
  QString options_before;
  QString options_after;
  mutable QStringList effects;
  QList<Alert> alerts;
  QStringList launched_executables;
  int failing_launch = 0;  // counted from 1; 0: every launch succeeds
  std::function<void()> during_alert;

  int FileCount() const override { return int(files.size()); }
  QString FileAt(int index) const override {
    if (index < 0 || index >= files.size()) {
      ADD_FAILURE() << "read past the end of the list at " << index;
      return {};
    }
    return files.at(index);
  }
  QString OptionsBefore() const override {
    effects << QStringLiteral("options before");
    return options_before;
  }
  QString OptionsAfter() const override {
    effects << QStringLiteral("options after");
    return options_after;
  }
  void ShowProgress() override { effects << QStringLiteral("show"); }
  void HideProgress() override { effects << QStringLiteral("hide"); }
  void SetProgressTexts(const QString& file_text, const QString& number_text) override {
    effects << QStringLiteral("texts %1 | %2").arg(file_text, number_text);
  }
  void SetProgressButtonsEnabled(bool enabled) override {
    effects << (enabled ? QStringLiteral("buttons on") : QStringLiteral("buttons off"));
  }
  void StartWatching() override { effects << QStringLiteral("watch"); }
  void StopWatching() override { effects << QStringLiteral("unwatch"); }
  int Launch(const QString& executable, const QStringList& words, qint64* pid) override {
    effects << QStringLiteral("launch ") + Words(words);
    launched_executables << executable;
    if (int(launched_executables.size()) == failing_launch) return 2;
    *pid = 100 + launched_executables.size();
    return 0;
  }
  void Kill(qint64 pid) override { effects << QStringLiteral("kill %1").arg(pid); }
  void AfterStoppedEncodersEnd(std::function<void()> then) override { then(); }
  void ShowAlert(const Alert& alert) override {
    effects << QStringLiteral("alert ") + alert.id;
    alerts << alert;
    if (during_alert) during_alert();
  }
  // The bars, the results and the notice are kept apart from the order of the other effects.
  void SetFileProgress(int percent) override { file_percents << percent; }
  void SetRunProgress(int permille, const QString&) override { run_permilles << permille; }
  qint64 FileSize(const QString&) const override { return 1; }
  qint64 NowMs() const override { return 0; }
  void ShowResults(const RunResults& shown) override { results = shown; }
  void NotifyRunEnded(const QString& text) override { notices << text; }

  QList<int> file_percents;
  QList<int> run_permilles;
  RunResults results;
  QStringList notices;
};

class EncodingRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.isValid());
    encoder = folder.filePath(QStringLiteral("gogo"));
    QFile file(encoder);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    encoder = QFileInfo(encoder).canonicalFilePath();
    ports.files = {QStringLiteral("/m/a.wav"), QStringLiteral("/m/b.wav"),
                   QStringLiteral("/m/c.wav")};
    ports.options_before = QStringLiteral("-b 128");
  }

  // Returns the effects recorded since the last call.
  QStringList TakeEffects() { return std::exchange(ports.effects, {}); }

  QTemporaryDir folder;
  QString encoder;
  RecordingPorts ports;
  EncodingRun run{ports};
};

TEST_F(EncodingRunTest, ThreeEntriesAreLaunchedOneAfterAnotherInListOrder) {
  run.Start(encoder);
  EXPECT_EQ(TakeEffects(), QStringList({"options before", "options after", "show", "watch",
                                        "texts /m/a.wav | Datei 1 von 3", "buttons on",
                                        "launch [-b][128][/m/a.wav]"}));
  EXPECT_TRUE(run.encoding());
  EXPECT_EQ(run.file_index(), 1);
  EXPECT_EQ(run.encoder_pid(), 101);
  EXPECT_EQ(run.encoder_ref(), encoder);

  run.ProcessEnded(encoder, 101);
  EXPECT_EQ(TakeEffects(), QStringList({"texts /m/b.wav | Datei 2 von 3", "buttons on",
                                        "launch [-b][128][/m/b.wav]"}));
  run.ProcessEnded(encoder, 102);
  EXPECT_EQ(TakeEffects(), QStringList({"texts /m/c.wav | Datei 3 von 3", "buttons on",
                                        "launch [-b][128][/m/c.wav]"}));
  EXPECT_EQ(run.file_index(), 3);

  run.ProcessEnded(encoder, 103);
  EXPECT_EQ(TakeEffects(), QStringList({"unwatch", "hide"}));
  EXPECT_FALSE(run.encoding());
  EXPECT_EQ(run.file_index(), 0);
  EXPECT_EQ(ports.launched_executables, QStringList({encoder, encoder, encoder}));
}

TEST_F(EncodingRunTest, AnEmptyListShowsTheProgressAndHidesItAtOnceWithoutLaunching) {
  ports.files.clear();
  run.Start(encoder);
  EXPECT_EQ(TakeEffects(),
            QStringList({"options before", "options after", "show", "watch", "unwatch", "hide"}));
  EXPECT_FALSE(run.encoding());
}

TEST_F(EncodingRunTest, AnEncoderThatCannotRunAlertsAndLeavesTheRunStateAlone) {
  // A finished run leaves state behind that a failed start must not touch.
  run.Start(encoder);
  for (qint64 pid = 101; pid <= 103; ++pid) run.ProcessEnded(encoder, pid);
  TakeEffects();
  const QString dangling = folder.filePath(QStringLiteral("dangling"));
  ASSERT_TRUE(QFile::link(folder.filePath(QStringLiteral("gone")), dangling));
  // The running program itself would hand each file back to itself: a run that never ends.
  const QString itself = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
  const QString link_to_itself = folder.filePath(QStringLiteral("Gogo"));
  ASSERT_TRUE(QFile::link(itself, link_to_itself));

  struct Case {
    QString missing;
    const char* alert;
  };
  const Case cases[] = {
      {folder.filePath(QStringLiteral("no gogo here")), "EncodeFailed"},
      {dangling, "EncodeFailed"},
      {itself, "LaunchFailed"},
      {link_to_itself, "LaunchFailed"},
  };
  for (const auto& [missing, alert] : cases) {
    SCOPED_TRACE(missing.toStdString());
    ports.options_before = QStringLiteral("-b 320");
    ports.alerts.clear();
    run.Start(missing);
    EXPECT_EQ(TakeEffects(), QStringList({QStringLiteral("alert ") + QLatin1String(alert)}));
    ASSERT_EQ(ports.alerts.size(), 1);
    if (ports.alerts[0].id == QLatin1String("EncodeFailed")) {
      EXPECT_TRUE(ports.alerts[0].text.startsWith(missing + QStringLiteral(" nicht gefunden.")));
    }
    EXPECT_FALSE(run.encoding());
    EXPECT_EQ(run.file_index(), 0);
    EXPECT_EQ(run.encoder_ref(), encoder);
    EXPECT_EQ(run.options_before(), QStringLiteral("-b 128"));
  }
}

TEST_F(EncodingRunTest, AFailedLaunchAlertsEndsTheRunAndLaunchesNothingAfterIt) {
  ports.failing_launch = 2;
  run.Start(encoder);
  TakeEffects();
  run.ProcessEnded(encoder, 101);
  EXPECT_EQ(TakeEffects(),
            QStringList({"texts /m/b.wav | Datei 2 von 3", "buttons on",
                         "launch [-b][128][/m/b.wav]", "alert LaunchFailed", "unwatch", "hide"}));
  EXPECT_FALSE(run.encoding());
  EXPECT_EQ(run.file_index(), 0);

  run.ProcessEnded(encoder, 101);
  EXPECT_TRUE(TakeEffects().isEmpty());
  EXPECT_EQ(ports.launched_executables.size(), 2);
}

TEST_F(EncodingRunTest, SkipDisablesTheButtonsUntilTheNextLaunchAndTheEndOfTheLastFileEndsTheRun) {
  run.Start(encoder);
  run.ProcessEnded(encoder, 101);
  TakeEffects();

  run.Skip();
  EXPECT_EQ(TakeEffects(), QStringList({"buttons off", "kill 102"}));
  EXPECT_TRUE(run.encoding());
  run.ProcessEnded(encoder, 102);
  EXPECT_EQ(TakeEffects(), QStringList({"texts /m/c.wav | Datei 3 von 3", "buttons on",
                                        "launch [-b][128][/m/c.wav]"}));

  // Skipping the last file ends the run with the buttons left disabled.
  run.Skip();
  run.ProcessEnded(encoder, 103);
  EXPECT_EQ(TakeEffects(), QStringList({"buttons off", "kill 103", "unwatch", "hide"}));
  EXPECT_FALSE(run.encoding());
}

TEST_F(EncodingRunTest, StopEndsTheRunSoTheKilledEncodersEndIsIgnoredAndTheNextStartBeginsAnew) {
  run.Start(encoder);
  run.ProcessEnded(encoder, 101);
  TakeEffects();

  run.Stop();
  EXPECT_EQ(TakeEffects(), QStringList({"unwatch", "kill 102", "hide"}));
  EXPECT_FALSE(run.encoding());
  EXPECT_EQ(run.file_index(), 0);
  run.ProcessEnded(encoder, 102);
  EXPECT_TRUE(TakeEffects().isEmpty());

  run.Start(encoder);
  EXPECT_TRUE(TakeEffects().contains(QStringLiteral("texts /m/a.wav | Datei 1 von 3")));
  EXPECT_EQ(run.file_index(), 1);
}

TEST_F(EncodingRunTest, SkipAndStopWhileIdleDoNothing) {
  const std::function<void()> reach_idle[] = {
      [] {},
      [this] {
        run.Start(encoder);
        for (qint64 pid = 101; pid <= 103; ++pid) run.ProcessEnded(encoder, pid);
      },
      [this] {
        run.Start(encoder);
        run.Stop();
      },
  };
  for (const auto& reach : reach_idle) {
    reach();
    TakeEffects();
    run.Skip();
    run.Stop();
    EXPECT_TRUE(TakeEffects().isEmpty());
  }
}

TEST_F(EncodingRunTest, OnlyTheEndOfTheEncoderLaunchedLastAdvancesTheRun) {
  const struct {
    QString executable;
    qint64 pid;
  } others[] = {
      {encoder, 4711},                         // another process of the same executable
      {QStringLiteral("/usr/bin/true"), 101},  // same pid, other executable
      {encoder, 0},
  };
  run.Start(encoder);
  TakeEffects();
  for (const auto& other : others) {
    run.ProcessEnded(other.executable, other.pid);
    EXPECT_TRUE(TakeEffects().isEmpty()) << other.executable.toStdString() << " " << other.pid;
  }
  EXPECT_EQ(run.file_index(), 1);
}

TEST_F(EncodingRunTest, AListThatBecameShorterEndsTheRunWithoutReadingPastItsEnd) {
  for (int remaining : {1, 0}) {
    run.Start(encoder);
    run.ProcessEnded(encoder, run.encoder_pid());
    ASSERT_EQ(run.file_index(), 2);
    const QStringList full_list = ports.files;
    ports.files = ports.files.mid(0, remaining);
    TakeEffects();

    run.ProcessEnded(encoder, run.encoder_pid());
    EXPECT_EQ(TakeEffects(), QStringList({"unwatch", "hide"}));
    EXPECT_FALSE(run.encoding());
    ports.files = full_list;
  }
}

TEST_F(EncodingRunTest, OptionsChangedDuringARunApplyFromTheNextRunOn) {
  run.Start(encoder);
  ports.options_before = QStringLiteral("-b 320 -nopsy");
  ports.options_after = QStringLiteral("-late");
  TakeEffects();
  run.ProcessEnded(encoder, 101);
  EXPECT_TRUE(TakeEffects().contains(QStringLiteral("launch [-b][128][/m/b.wav]")));

  run.Stop();
  run.Start(encoder);
  EXPECT_TRUE(TakeEffects().contains(QStringLiteral("launch [-b][320][-nopsy][/m/a.wav][-late]")));
}

TEST_F(EncodingRunTest, EveryPathReachesTheEncoderAsOneWordAndIsShownQuotedWhenItHoldsABlank) {
  const struct {
    QString path;
    QString shown;
  } cases[] = {
      {"/m/plain.wav", "/m/plain.wav"},
      {"/m/track 01.wav", "\"/m/track 01.wav\""},
      {"/m/two  blanks .wav", "\"/m/two  blanks .wav\""},
      {"/m/\"hi\".wav", "/m/\"hi\".wav"},
      {"/m/say \"hi\".wav", "\"/m/say \"hi\".wav\""},
      {"/m/\"unclosed.wav", "/m/\"unclosed.wav"},
      {"/m/\"odd quote and blank.wav", "\"/m/\"odd quote and blank.wav\""},
      {"/m/tab\there.wav", "/m/tab\there.wav"},
  };
  ports.options_before = QStringLiteral("-b 128 -o \"/out dir\"");
  for (const auto& item : cases) {
    ports.files = {item.path};
    run.Start(encoder);
    const QStringList effects = TakeEffects();
    EXPECT_TRUE(effects.contains(QStringLiteral("texts %1 | Datei 1 von 1").arg(item.shown)))
        << effects.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(
        effects.contains(QStringLiteral("launch [-b][128][-o][/out dir][%1]").arg(item.path)))
        << effects.join(QLatin1Char('\n')).toStdString();
    run.Stop();
  }
}

TEST(EncoderWords, AnUnclosedQuoteInTheOptionsNeverSwallowsThePath) {
  EXPECT_EQ(EncoderWords(QStringLiteral("-o \"/out"), QStringLiteral("/a b.wav"), QString()),
            QStringList({"-o", "/out", "/a b.wav"}));
  EXPECT_EQ(EncoderWords(QString(), QStringLiteral("/a b.wav"), QString()),
            QStringList({"/a b.wav"}));
}

TEST_F(EncodingRunTest, AnEncoderPathThatIsALinkIsResolvedToItsTarget) {
  const QString link = folder.filePath(QStringLiteral("link to gogo"));
  const QString link_to_link = folder.filePath(QStringLiteral("link to link"));
  ASSERT_TRUE(QFile::link(encoder, link));
  ASSERT_TRUE(QFile::link(link, link_to_link));

  run.Start(link_to_link);
  EXPECT_EQ(run.encoder_ref(), encoder);
  EXPECT_EQ(ports.launched_executables, QStringList({encoder}));
  run.ProcessEnded(encoder, 101);
  EXPECT_EQ(run.file_index(), 2);
}

TEST_F(EncodingRunTest, DuringAFailedLaunchAlertNoEndedEncoderIsKilledOrAdvancesTheRun) {
  // Whatever ended before the failed launch has been reaped; its process id may belong to
  // someone else by the time the user answers the alert.
  const std::function<void()> fail_next_launch[] = {
      [this] {  // the first file of a run that follows a stopped one
        run.Start(encoder);
        run.Stop();
        TakeEffects();
        run.Start(encoder);
      },
      [this] {  // the second file, after the first one ended
        run.Start(encoder);
        TakeEffects();
        run.ProcessEnded(encoder, 101);
      },
  };
  for (const auto& fail : fail_next_launch) {
    ports.launched_executables.clear();
    ports.failing_launch = 2;
    ports.during_alert = [this] {
      run.ProcessEnded(encoder, 101);
      run.Skip();
    };
    fail();
    const QStringList effects = TakeEffects();
    EXPECT_EQ(effects.filter(QStringLiteral("launch")).size(), 1);
    EXPECT_TRUE(effects.filter(QStringLiteral("kill")).isEmpty())
        << effects.join(u',').toStdString();
    EXPECT_FALSE(run.encoding());
  }
}

// ---- With real processes: the launcher, the process watcher and a fake encoder. ----

struct EncoderRecord {
  qint64 pid = 0;
  QStringList arguments;
};

QList<EncoderRecord> ReadRecords(const QString& log_path) {
  QFile log(log_path);
  if (!log.open(QIODevice::ReadOnly)) return {};
  const QList<QByteArray> fields = log.readAll().split('\0');
  QList<EncoderRecord> records;
  // The log ends with a NUL, so the last field is always empty.
  for (qsizetype at = 0; at + 1 < fields.size();) {
    EncoderRecord record{fields[at].toLongLong(), {}};
    const int count = fields[at + 1].toInt();
    at += 2;
    for (int i = 0; i < count && at < fields.size(); ++i) {
      record.arguments << QFile::decodeName(fields[at++]);
    }
    records << record;
  }
  return records;
}

// Whether `pid` is still a child of this process that has not been reaped.
bool Unreaped(qint64 pid) {
  siginfo_t info{};
  return waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0;
}

// A silent mono WAVE of `seconds`, long enough to be stopped in the middle.
void WriteSilentWave(const QString& path, int seconds) {
  const quint32 data_size = quint32(seconds) * 44100 * 2;
  QByteArray header;
  QDataStream out(&header, QIODevice::WriteOnly);
  out.setByteOrder(QDataStream::LittleEndian);
  out.writeRawData("RIFF", 4);
  out << quint32(36 + data_size);
  out.writeRawData("WAVEfmt ", 8);
  out << quint32(16) << quint16(1) << quint16(1) << quint32(44100) << quint32(88200) << quint16(2)
      << quint16(16);
  out.writeRawData("data", 4);
  out << data_size;
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(header);
  file.write(QByteArray(qsizetype(data_size), '\0'));
}

// A folder seen through a bindfs mount (FUSE): like a USB stick or a network share, it has no
// unnamed temporary files. `reason` says why there is none.
class FuseFolder {
 public:
  explicit FuseFolder(const QString& base)
      : source_(base + QStringLiteral("/source")), path_(base + QStringLiteral("/mount")) {
    QDir().mkpath(source_);
    QDir().mkpath(path_);
    const QString bindfs = QStandardPaths::findExecutable(QStringLiteral("bindfs"));
    if (bindfs.isEmpty()) {
      reason = QStringLiteral("bindfs is not installed");
      return;
    }
    QProcess mount;
    mount.start(bindfs, {source_, path_});
    if (!mount.waitForFinished(30000) || mount.exitCode() != 0) {
      reason = QStringLiteral("bindfs cannot mount here: ") +
               QString::fromLocal8Bit(mount.readAllStandardError());
      return;
    }
    mounted_ = true;
    const int unnamed = open(QFile::encodeName(path_).constData(), O_TMPFILE | O_WRONLY, 0600);
    if (unnamed >= 0) {
      close(unnamed);
      reason = QStringLiteral("this FUSE mount has unnamed temporary files");
    }
  }
  ~FuseFolder() {
    // Lazily, so that an encoder a failed test left running cannot keep the mount.
    if (mounted_) {
      QProcess::execute(QStringLiteral("fusermount3"), {QStringLiteral("-uz"), path_});
    }
  }
  FuseFolder(const FuseFolder&) = delete;
  FuseFolder& operator=(const FuseFolder&) = delete;

  const QString& path() const { return path_; }
  QStringList Entries() const {
    return QDir(path_).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
  }

  QString reason;

 private:
  QString source_;
  QString path_;
  bool mounted_ = false;
};

class ScenePorts : public ProcessRunPorts {
 public:
  explicit ScenePorts(ProcessWatcher::HandleOpener open_handle = {})
      : ProcessRunPorts(std::move(open_handle)) {}

  QStringList files;
  QString options_before;
  QStringList events;
  QStringList number_texts;
  QStringList alert_ids;

  int FileCount() const override { return int(files.size()); }
  QString FileAt(int index) const override { return files.value(index); }
  QString OptionsBefore() const override { return options_before; }
  QString OptionsAfter() const override { return {}; }
  void ShowProgress() override { events << QStringLiteral("show"); }
  void HideProgress() override { events << QStringLiteral("hide"); }
  void SetProgressTexts(const QString&, const QString& number_text) override {
    number_texts << number_text;
  }
  void SetProgressButtonsEnabled(bool) override {}
  void ShowAlert(const Alert& alert) override { alert_ids << alert.id; }
  void SetFileProgress(int percent) override { file_percents << percent; }
  void SetRunProgress(int permille, const QString&) override { run_permilles << permille; }
  qint64 FileSize(const QString&) const override { return 1; }
  qint64 NowMs() const override { return 0; }
  void ShowResults(const RunResults& shown) override { results = shown; }
  void NotifyRunEnded(const QString&) override {}
  QList<int> file_percents;
  QList<int> run_permilles;
  RunResults results;
  int Launch(const QString& executable, const QStringList& words, qint64* pid) override {
    const int status = ProcessRunPorts::Launch(executable, words, pid);
    if (status == 0) events << QStringLiteral("launch %1").arg(*pid);
    return status;
  }
};

class RealProcessRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.isValid());
    log_path = folder.filePath(QStringLiteral("log"));
    qputenv("FAKE_ENCODER_LOG", QFile::encodeName(log_path));
    qputenv("FAKE_ENCODER_MODE", "wait");
    ports.SetEndNoticeReceiver(
        [this](const QString& executable, qint64 pid, const EncoderEnd& end) {
          ports.events << QStringLiteral("end %1").arg(pid);
          run.ProcessEnded(executable, pid, end);
        });
    ports.SetProgressReceiver(
        [this](qint64 pid, double percent) { run.EncoderProgress(pid, percent); });
    ports.files = {QStringLiteral("/m/1.wav"), QStringLiteral("/m/2.wav"),
                   QStringLiteral("/m/3.wav")};
  }

  void TearDown() override {
    for (const EncoderRecord& record : ReadRecords(log_path)) {
      if (Unreaped(record.pid)) kill(pid_t(record.pid), SIGKILL);
    }
  }

  QList<EncoderRecord> Records() const { return ReadRecords(log_path); }
  bool WaitForRecords(int count) {
    return test_support::WaitUntil([&] { return Records().size() >= count; });
  }

  const QString fake_encoder = QStringLiteral(ZAVRIK_TEST_PROGRAM_DIR "/fake_encoder");
  QTemporaryDir folder;
  QString log_path;
  ScenePorts ports;
  EncodingRun run{ports};
};

TEST_F(RealProcessRunTest, ThreeEntriesRunOneEncoderAtATimeInListOrder) {
  run.Start(fake_encoder);
  QStringList expected_events = {QStringLiteral("show")};
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(WaitForRecords(i + 1));
    const EncoderRecord record = Records().at(i);
    EXPECT_EQ(record.arguments, QStringList({ports.files[i]}));
    // The next file waits for this encoder's end, which only the test brings about.
    EXPECT_EQ(ports.number_texts.size(), i + 1);
    EXPECT_EQ(ports.number_texts.last(), QStringLiteral("Datei %1 von 3").arg(i + 1));
    expected_events << QStringLiteral("launch %1").arg(record.pid)
                    << QStringLiteral("end %1").arg(record.pid);
    ASSERT_EQ(kill(pid_t(record.pid), SIGTERM), 0);
    ASSERT_TRUE(test_support::WaitUntil([&] { return !Unreaped(record.pid); }));
  }
  ASSERT_TRUE(test_support::WaitUntil([&] { return !run.encoding(); }));
  expected_events << QStringLiteral("hide");
  EXPECT_EQ(ports.events, expected_events);
  EXPECT_FALSE(ports.watching());
  EXPECT_EQ(Records().size(), 3);
}

TEST_F(RealProcessRunTest, SkipKillsTheEncoderAndTheNextFileFollowsItsEnd) {
  run.Start(fake_encoder);
  ASSERT_TRUE(WaitForRecords(1));
  const qint64 first = Records().at(0).pid;
  run.Skip();
  ASSERT_TRUE(WaitForRecords(2));
  EXPECT_FALSE(Unreaped(first));
  const qint64 second = Records().at(1).pid;
  EXPECT_EQ(Records().at(1).arguments, QStringList({QStringLiteral("/m/2.wav")}));
  EXPECT_EQ(ports.events, QStringList({"show", QStringLiteral("launch %1").arg(first),
                                       QStringLiteral("end %1").arg(first),
                                       QStringLiteral("launch %1").arg(second)}));
}

TEST_F(RealProcessRunTest, StopKillsTheEncoderAndItsEndLaunchesNothing) {
  run.Start(fake_encoder);
  ASSERT_TRUE(WaitForRecords(1));
  run.Stop();
  const qint64 killed = Records().at(0).pid;
  ASSERT_TRUE(test_support::WaitUntil([&] { return !Unreaped(killed); }));
  EXPECT_EQ(Records().size(), 1);
  EXPECT_FALSE(run.encoding());
  EXPECT_EQ(ports.events, QStringList({"show", QStringLiteral("launch %1").arg(killed), "hide"}));
}

// Skip and stop killed gogo outright, and where the output folder has no unnamed temporary
// files its hidden temporary file ".NAME.mp3.XXXXXX" stayed behind.
TEST_F(RealProcessRunTest, SkipAndStopLeaveNoFileBehindWhereTemporaryFilesHaveNames) {
  const FuseFolder output(folder.filePath(QStringLiteral("fuse")));
  if (!output.reason.isEmpty()) GTEST_SKIP() << output.reason.toStdString();
  const QString wave = folder.filePath(QStringLiteral("long.wav"));
  WriteSilentWave(wave, 300);
  ports.files = {wave, wave};
  ports.options_before = QStringLiteral("-o \"%1\"").arg(output.path());
  const auto begun = [&] { return !output.Entries().isEmpty(); };
  run.Start(QStringLiteral(ZAVRIK_PROGRAM_DIR "/gogo"));
  ASSERT_TRUE(test_support::WaitUntil(begun, 30000));
  const qint64 first = run.encoder_pid();
  run.Skip();
  ASSERT_TRUE(test_support::WaitUntil([&] { return run.encoder_pid() != first; }, 30000));
  ASSERT_TRUE(test_support::WaitUntil(begun, 30000));
  const qint64 second = run.encoder_pid();
  run.Stop();
  ASSERT_TRUE(test_support::WaitUntil([&] { return !Unreaped(second); }, 30000));
  EXPECT_TRUE(output.Entries().isEmpty()) << output.Entries().join(u' ').toStdString();
}

TEST_F(RealProcessRunTest, AnEncoderThatIgnoresTheStopRequestIsKilledAfterAShortGrace) {
  ports.files = {QStringLiteral("/m/stubborn.wav"), QStringLiteral("/m/2.wav")};
  run.Start(fake_encoder);
  ASSERT_TRUE(WaitForRecords(1));
  run.Skip();
  ASSERT_TRUE(WaitForRecords(2));
  EXPECT_FALSE(Unreaped(Records().at(0).pid));
}

// Stop and at once "Kodieren!" once ran the stopped encoder and the new one side by side.
TEST_F(RealProcessRunTest, AStartRightAfterAStopWaitsForTheStoppedEncodersEnd) {
  const QString lock = folder.filePath(QStringLiteral("lock"));
  qputenv("FAKE_ENCODER_LOCK", QFile::encodeName(lock));
  ports.files = {QStringLiteral("/m/stubborn.wav")};
  run.Start(fake_encoder);
  ASSERT_TRUE(WaitForRecords(1));
  run.Stop();
  run.Start(fake_encoder);
  EXPECT_TRUE(run.encoding());
  EXPECT_TRUE(WaitForRecords(2));
  qunsetenv("FAKE_ENCODER_LOCK");
  QFile clashes(lock);
  ASSERT_TRUE(clashes.open(QIODevice::ReadOnly));
  EXPECT_EQ(clashes.readAll().toStdString(), "");
}

TEST_F(RealProcessRunTest, AnEncoderThatCannotBeStartedGivesLaunchFailedAndEndsTheRun) {
  const QString not_executable = folder.filePath(QStringLiteral("not executable"));
  QFile file(not_executable);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("#!/bin/sh\nexit 0\n");
  file.close();
  for (const QString& encoder : {not_executable, folder.path()}) {
    SCOPED_TRACE(encoder.toStdString());
    ports.alert_ids.clear();
    ports.events.clear();
    run.Start(encoder);
    EXPECT_EQ(ports.alert_ids, QStringList({"LaunchFailed"}));
    EXPECT_EQ(ports.events, QStringList({"show", "hide"}));
    EXPECT_FALSE(run.encoding());
    EXPECT_FALSE(ports.watching());
  }
  EXPECT_TRUE(Records().isEmpty());
}

// An encoder whose end could not be watched once counted as started, and the run waited for a
// notice that never came.
TEST_F(RealProcessRunTest, AnEncoderThatCannotBeWatchedIsKilledAndGivesLaunchFailed) {
  pid_t unwatched = 0;
  ScenePorts blind_ports([&](pid_t pid) {
    unwatched = pid;
    errno = EMFILE;
    return -1;
  });
  blind_ports.files = ports.files;
  EncodingRun blind_run(blind_ports);
  blind_run.Start(fake_encoder);
  EXPECT_EQ(blind_ports.alert_ids, QStringList({"LaunchFailed"}));
  EXPECT_EQ(blind_ports.events, QStringList({"show", "hide"}));
  EXPECT_FALSE(blind_run.encoding());
  ASSERT_GT(unwatched, 0);
  EXPECT_FALSE(Unreaped(unwatched));
  EXPECT_EQ(kill(unwatched, 0), -1);
}

TEST_F(RealProcessRunTest, AnUnrelatedProcessOfTheSameExecutableEndingDoesNotAdvanceTheRun) {
  run.Start(fake_encoder);
  ASSERT_TRUE(WaitForRecords(1));
  const qint64 encoder_pid = Records().at(0).pid;
  qint64 unrelated = 0;
  ASSERT_EQ(ports.Launch(fake_encoder, {QStringLiteral("unrelated")}, &unrelated), 0);
  ASSERT_TRUE(WaitForRecords(2));
  ASSERT_EQ(kill(pid_t(unrelated), SIGTERM), 0);
  ASSERT_TRUE(test_support::WaitUntil(
      [&] { return ports.events.contains(QStringLiteral("end %1").arg(unrelated)); }));
  EXPECT_EQ(Records().size(), 2);
  EXPECT_EQ(run.file_index(), 1);

  ASSERT_EQ(kill(pid_t(encoder_pid), SIGTERM), 0);
  ASSERT_TRUE(WaitForRecords(3));
  EXPECT_EQ(Records().at(2).arguments, QStringList({QStringLiteral("/m/2.wav")}));
}

TEST_F(RealProcessRunTest, PathsWithBlanksAndQuotesArriveAsOneArgumentEach) {
  qputenv("FAKE_ENCODER_MODE", "exit");
  ports.options_before = QStringLiteral("-b 128 -o \"/out dir\"");
  ports.files = {QStringLiteral("/m/my song.wav"), QStringLiteral("/m/say \"hi\".wav"),
                 QStringLiteral("/m/\"unclosed and blank.wav")};
  run.Start(fake_encoder);
  ASSERT_TRUE(test_support::WaitUntil([&] { return !run.encoding(); }));
  const QList<EncoderRecord> records = Records();
  ASSERT_EQ(records.size(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(records[i].arguments, QStringList({"-b", "128", "-o", "/out dir", ports.files[i]}));
  }
}

struct ResultCase {
  const char* name;
  FileOutcome outcome;
  const char* message;
};

TEST_F(RealProcessRunTest, EachFileEndsWithItsOwnResultAndTheFailedOnesAreNamed) {
  qputenv("FAKE_ENCODER_MODE", "exit");
  const ResultCase cases[] = {
      {"percent", FileOutcome::kEncoded, ""},
      {"fail", FileOutcome::kFailed, "fake: Eingabe kaputt"},
      {"silent", FileOutcome::kFailed, "Der Kodierer endete mit dem Rückgabewert 3."},
      {"signal", FileOutcome::kFailed, "Der Kodierer wurde durch Signal 15 beendet."},
      {"flood", FileOutcome::kFailed, "fake: zu viel"},
  };
  ports.files.clear();
  for (const ResultCase& c : cases) ports.files << QStringLiteral("/m/%1.wav").arg(c.name);
  run.Start(fake_encoder);
  ASSERT_TRUE(test_support::WaitUntil([&] { return !run.encoding(); }, 30000));
  ASSERT_EQ(ports.results.all().size(), 5);
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(cases[i].name);
    EXPECT_EQ(ports.results.all()[i].outcome, cases[i].outcome);
    EXPECT_EQ(ports.results.all()[i].message, QString::fromUtf8(cases[i].message));
  }
  // Busy until the first percentage, which the last one printed overtakes.
  EXPECT_EQ(ports.file_percents.first(), -1);
  EXPECT_EQ(ports.file_percents.at(ports.file_percents.indexOf(-1, 1) - 1), 75);
  EXPECT_TRUE(std::is_sorted(ports.run_permilles.begin(), ports.run_permilles.end()));
  EXPECT_EQ(ports.alert_ids, QStringList({"RunFailures"}));
}

TEST_F(RealProcessRunTest, SkipAndStopGiveSkippedAndNotStartedWithoutAnAlert) {
  run.Start(fake_encoder);
  ASSERT_TRUE(WaitForRecords(1));
  run.Skip();
  ASSERT_TRUE(WaitForRecords(2));
  run.Stop();
  const QList<FileResult> results = ports.results.all();
  ASSERT_EQ(results.size(), 2);
  EXPECT_EQ(results[0].outcome, FileOutcome::kSkipped);
  EXPECT_EQ(results[1].outcome, FileOutcome::kSkipped);
  EXPECT_EQ(ports.results.Count(FileOutcome::kNotStarted), 1);
  EXPECT_EQ(ports.results.NoticeText(), QStringLiteral("0 von 3 Dateien kodiert"));
  EXPECT_TRUE(ports.alert_ids.isEmpty());
}

}  // namespace
