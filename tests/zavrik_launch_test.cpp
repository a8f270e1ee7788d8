#include "encode/zavrik_launch.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <memory>

#include "encode/argument_split.h"
#include "encode/keeper_orders.h"
#include "support/test_support.h"

using namespace Qt::Literals::StringLiterals;

namespace {

QString Program(const char* name) {
  return QStringLiteral(ZAVRIK_TEST_PROGRAM_DIR "/") + QString::fromUtf8(name);
}

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The words as record_args wrote them: argv[0] first, each ended by a NUL.
QStringList RecordedWords(const QString& path) {
  QByteArray record = ReadAll(path);
  if (!record.endsWith('\0')) return {QStringLiteral("<no record>")};
  record.chop(1);
  QStringList words;
  for (const QByteArray& word : record.split('\0')) words.append(QFile::decodeName(word));
  return words;
}

// Gone means no such process, or one that has ended and waits only for its new parent to collect
// it (an orphan's new parent need not be quick about that).
bool ProcessIsGone(pid_t pid) {
  if (kill(pid, 0) != 0) return errno == ESRCH;
  const QByteArray stat = ReadAll(QStringLiteral("/proc/%1/stat").arg(pid));
  const qsizetype name_end = stat.lastIndexOf(')');
  return name_end >= 0 && stat.mid(name_end + 2, 1) == "Z";
}

bool IsCollected(pid_t pid) { return waitpid(pid, nullptr, WNOHANG) == -1 && errno == ECHILD; }

struct EndNotice {
  QString executable;
  qint64 pid;
  int wait_status;
};

class LaunchTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(directory_.isValid());
    QObject::connect(&watcher_, &ProcessWatcher::ProcessEnded,
                     [this](const QString& executable, qint64 pid, int wait_status) {
                       ends_.append({executable, pid, wait_status});
                     });
  }

  // A failed test must not leave programs running. A pid without its notice is not collected
  // yet, so it cannot have been reused by another process.
  void TearDown() override {
    for (pid_t pid : started_) {
      if (EndsOf(pid) > 0) continue;
      KillProcessGroup(pid);
      kill(pid, SIGKILL);
      WaitForEnd(pid);
    }
  }

  pid_t LaunchAndWatch(const QString& program, const QStringList& words) {
    pid_t pid = -1;
    const int status = ZavrikLaunch(program, words, &pid);
    EXPECT_EQ(status, 0) << strerror(status);
    if (status != 0) return -1;
    started_.append(pid);
    watcher_.Watch(pid, program);
    return pid;
  }

  int EndsOf(qint64 pid) const {
    return static_cast<int>(std::count_if(ends_.begin(), ends_.end(),
                                          [pid](const EndNotice& end) { return end.pid == pid; }));
  }

  bool WaitForEnd(pid_t pid) {
    return test_support::WaitUntil([&] { return EndsOf(pid) > 0; });
  }

  // Notices come in the order the processes end; once a later one has come, a second notice for
  // an earlier one would have come too.
  void WaitForAnotherProcessToEnd() {
    const pid_t later = LaunchAndWatch(Program("end_as"), {QStringLiteral("exit"), u"0"_s});
    ASSERT_TRUE(WaitForEnd(later));
  }

  QString PathInDirectory(const QString& name) const { return directory_.filePath(name); }

  QTemporaryDir directory_;
  ProcessWatcher watcher_;
  QList<EndNotice> ends_;
  QList<pid_t> started_;
};

struct WordsCase {
  const char* name;
  QStringList words;
  QStringList arriving;
};

void PrintTo(const WordsCase& words_case, std::ostream* out) { *out << words_case.name; }

QStringList NumberedWords(int count) {
  QStringList words;
  for (int i = 0; i < count; ++i) words.append(QStringLiteral("w%1").arg(i));
  return words;
}

QString LongWord() {
  QString word;
  while (word.size() < 20000) word += QStringLiteral("Größe mp3 ");
  return word.left(20000);
}

class WordsArriveTest : public LaunchTest, public testing::WithParamInterface<WordsCase> {};

TEST_P(WordsArriveTest, ExactlyAsLaunched) {
  const QString record = PathInDirectory(QStringLiteral("args"));
  qputenv("ZAVRIK_RECORD_ARGS_FILE", QFile::encodeName(record));
  const QString program = Program("record_args");
  const pid_t pid = LaunchAndWatch(program, GetParam().words);
  ASSERT_TRUE(WaitForEnd(pid));
  EXPECT_EQ(RecordedWords(record), QStringList{program} + GetParam().arriving);
}

INSTANTIATE_TEST_SUITE_P(
    Words, WordsArriveTest,
    testing::Values(
        WordsCase{"NoWords", {}, {}},
        WordsCase{"BlanksInsideQuotesStayInTheirWord",
                  SplitArguments(u"-b 128 -o \"/tmp/mp3 files\" \"/home/my song.wav\""_s),
                  {u"-b"_s, u"128"_s, u"-o"_s, u"/tmp/mp3 files"_s, u"/home/my song.wav"_s}},
        WordsCase{"EmptyWordsArriveAsEmptyArguments",
                  SplitArguments(u" a  "_s),
                  {QString(), u"a"_s, QString(), QString()}},
        WordsCase{"TabsAndNewlinesStayInTheWord",
                  {u"a\tb"_s, u"\t"_s, u"line\nbreak"_s},
                  {u"a\tb"_s, u"\t"_s, u"line\nbreak"_s}},
        WordsCase{"Utf8ArrivesByteForByte",
                  {u"Größe"_s, u"\u266b Stück"_s, u"\u65e5\u672c.wav"_s, u"\U0001F3B5"_s},
                  {u"Größe"_s, u"\u266b Stück"_s, u"\u65e5\u672c.wav"_s, u"\U0001F3B5"_s}},
        WordsCase{"NoShellReadsTheWords",
                  {u"\"quoted\""_s, u"a\\b"_s, u"$HOME"_s, u"*"_s, u"; exit 1"_s},
                  {u"\"quoted\""_s, u"a\\b"_s, u"$HOME"_s, u"*"_s, u"; exit 1"_s}},
        WordsCase{"TwentyThousandCharacterWord", {LongWord()}, {LongWord()}},
        WordsCase{"ThousandWords", NumberedWords(1000), NumberedWords(1000)}),
    [](const auto& test_case) { return std::string(test_case.param.name); });

// Replaces this process's stdin while it lives, so that a program that inherited it would tell.
class StdinReplacement {
 public:
  explicit StdinReplacement(const QString& path)
      : saved_(dup(STDIN_FILENO)),
        file_(open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
    if (saved_ >= 0 && file_ >= 0) dup2(file_, STDIN_FILENO);
  }
  ~StdinReplacement() {
    if (saved_ >= 0) dup2(saved_, STDIN_FILENO);
    close(saved_);
    close(file_);
  }
  StdinReplacement(const StdinReplacement&) = delete;
  StdinReplacement& operator=(const StdinReplacement&) = delete;

 private:
  int saved_;
  int file_;
};

TEST_F(LaunchTest, TheProgramLeadsItsOwnGroupWithStdinFromDevNull) {
  const QString facts = PathInDirectory(QStringLiteral("facts"));
  qputenv("ZAVRIK_RECORD_ARGS_FILE", QFile::encodeName(PathInDirectory(QStringLiteral("args"))));
  qputenv("ZAVRIK_RECORD_FACTS_FILE", QFile::encodeName(facts));
  pid_t pid = -1;
  {
    const StdinReplacement stdin_replacement(PathInDirectory(QStringLiteral("stdin")));
    pid = LaunchAndWatch(Program("record_args"), {});
  }
  ASSERT_TRUE(WaitForEnd(pid));
  qunsetenv("ZAVRIK_RECORD_FACTS_FILE");
  EXPECT_EQ(ReadAll(facts), "stdin=/dev/null\nown_group=yes\n");
}

struct StartFailureCase {
  const char* name;
  // Makes the thing to launch inside the folder and returns its path.
  QString (*make)(const QDir& folder);
  QStringList words;
};

void PrintTo(const StartFailureCase& failure, std::ostream* out) { *out << failure.name; }

QString WriteFile(const QDir& folder, const QByteArray& content, QFileDevice::Permissions mode) {
  const QString path = folder.filePath(QStringLiteral("program"));
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() ||
      !file.setPermissions(mode)) {
    ADD_FAILURE() << "cannot write " << path.toStdString();
  }
  return path;
}

constexpr QFileDevice::Permissions kReadWrite = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

class StartFailureTest : public LaunchTest, public testing::WithParamInterface<StartFailureCase> {};

TEST_P(StartFailureTest, GivesAnErrorAndLeavesThePidAlone) {
  const QString program = GetParam().make(QDir(directory_.path()));
  pid_t pid = -7;
  EXPECT_NE(ZavrikLaunch(program, GetParam().words, &pid), 0);
  EXPECT_EQ(pid, -7);
}

INSTANTIATE_TEST_SUITE_P(
    Programs, StartFailureTest,
    testing::Values(
        StartFailureCase{
            "MissingFile", [](const QDir& folder) { return folder.filePath(u"missing"_s); }, {}},
        StartFailureCase{
            "NotExecutable",
            [](const QDir& folder) { return WriteFile(folder, "#!/bin/sh\nexit 0\n", kReadWrite); },
            {}},
        StartFailureCase{"Directory", [](const QDir& folder) { return folder.path(); }, {}},
        StartFailureCase{"ExecutableTextThatIsNoProgram",
                         [](const QDir& folder) {
                           return WriteFile(folder, "exit 0\n", kReadWrite | QFileDevice::ExeOwner);
                         },
                         {}},
        StartFailureCase{"EmptyPath", [](const QDir&) { return QString(); }, {}},
        StartFailureCase{"WordHoldingANulWouldArriveCut",
                         [](const QDir&) { return Program("end_as"); },
                         {u"exit"_s, u"0"_s + QChar(u'\0') + u" cut"_s}}),
    [](const auto& test_case) { return std::string(test_case.param.name); });

struct EndCase {
  const char* name;
  QStringList words;
  bool killed;
};

void PrintTo(const EndCase& end_case, std::ostream* out) { *out << end_case.name; }

class EndNoticeTest : public LaunchTest, public testing::WithParamInterface<EndCase> {};

TEST_P(EndNoticeTest, ArrivesOnceWithCanonicalPathAndPidAndLeavesNoZombie) {
  const QString program = Program("end_as");
  const pid_t pid = LaunchAndWatch(program, GetParam().words);
  ASSERT_GT(pid, 0);
  if (GetParam().killed) KillProcessGroup(pid);
  ASSERT_TRUE(WaitForEnd(pid));
  EXPECT_TRUE(IsCollected(pid));
  WaitForAnotherProcessToEnd();
  ASSERT_EQ(EndsOf(pid), 1);
  const auto end = std::find_if(ends_.begin(), ends_.end(),
                                [pid](const EndNotice& notice) { return notice.pid == pid; });
  EXPECT_EQ(end->executable, QFileInfo(program).canonicalFilePath());
}

INSTANTIATE_TEST_SUITE_P(Endings, EndNoticeTest,
                         testing::Values(EndCase{"ExitZero", {u"exit"_s, u"0"_s}, false},
                                         EndCase{"ExitThree", {u"exit"_s, u"3"_s}, false},
                                         EndCase{"Crash", {u"abort"_s}, false},
                                         EndCase{"Killed", {u"wait"_s}, true}),
                         [](const auto& test_case) { return std::string(test_case.param.name); });

TEST_F(LaunchTest, NoticeNamesTheLinkTargetWhenLaunchedThroughALink) {
  const QString link = PathInDirectory(QStringLiteral("encoder-link"));
  ASSERT_TRUE(QFile::link(Program("end_as"), link));
  const pid_t pid = LaunchAndWatch(link, {u"exit"_s, u"0"_s});
  ASSERT_TRUE(WaitForEnd(pid));
  EXPECT_EQ(ends_.first().executable, QFileInfo(Program("end_as")).canonicalFilePath());
}

TEST_F(LaunchTest, ManyProcessesAtOnceEachGetOneNotice) {
  QList<pid_t> pids;
  for (int i = 0; i < 20; ++i) {
    pids.append(LaunchAndWatch(Program("end_as"), {u"exit"_s, QString::number(i)}));
  }
  ASSERT_TRUE(test_support::WaitUntil([&] { return ends_.size() >= pids.size(); }));
  WaitForAnotherProcessToEnd();
  for (pid_t pid : pids) EXPECT_EQ(EndsOf(pid), 1) << pid;
  EXPECT_EQ(ends_.size(), pids.size() + 1);
}

TEST_F(LaunchTest, WatchingTheSameProcessTwiceGivesOneNotice) {
  const pid_t pid = LaunchAndWatch(Program("end_as"), {u"exit"_s, u"0"_s});
  watcher_.Watch(pid, Program("end_as"));
  ASSERT_TRUE(WaitForEnd(pid));
  WaitForAnotherProcessToEnd();
  EXPECT_EQ(EndsOf(pid), 1);
}

TEST_F(LaunchTest, AReceiverMayLaunchAndWatchTheNextProgramFromTheNotice) {
  int launched = 1;
  QObject::connect(&watcher_, &ProcessWatcher::ProcessEnded, [&] {
    if (launched < 5) {
      ++launched;
      LaunchAndWatch(Program("end_as"), {u"exit"_s, u"0"_s});
    }
  });
  LaunchAndWatch(Program("end_as"), {u"exit"_s, u"0"_s});
  ASSERT_TRUE(test_support::WaitUntil([&] { return ends_.size() == 5; }));
  for (pid_t pid : started_) EXPECT_EQ(EndsOf(pid), 1);
}

TEST_F(LaunchTest, AProcessCollectedElsewhereStillGetsItsNotice) {
  pid_t pid = -1;
  ASSERT_EQ(ZavrikLaunch(Program("end_as"), {u"exit"_s, u"0"_s}, &pid), 0);
  ASSERT_EQ(waitpid(pid, nullptr, 0), pid);
  watcher_.Watch(pid, Program("end_as"));
  EXPECT_TRUE(WaitForEnd(pid));
}

TEST_F(LaunchTest, DeletingTheWatcherWhileAProgramRunsIsSafe) {
  auto watcher = std::make_unique<ProcessWatcher>();
  pid_t pid = -1;
  ASSERT_EQ(ZavrikLaunch(Program("end_as"), {u"wait"_s}, &pid), 0);
  watcher->Watch(pid, Program("end_as"));
  watcher.reset();
  KillProcessGroup(pid);
  kill(pid, SIGKILL);
  EXPECT_TRUE(test_support::WaitUntil([pid] { return waitpid(pid, nullptr, WNOHANG) == pid; }));
}

TEST(KillProcessGroup, WithoutAProgramIdEndsNothing) {
  // Tried in a child that leads a group of its own, so a fault costs only the child.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    setpgid(0, 0);
    KillProcessGroup(0);
    _exit(0);
  }
  int status = 0;
  ASSERT_TRUE(test_support::WaitUntil([&] { return waitpid(child, &status, WNOHANG) == child; }));
  EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
}

TEST_F(LaunchTest, KillingTheGroupAlsoEndsTheProgramsChild) {
  const QString pid_file = PathInDirectory(QStringLiteral("child.pid"));
  qputenv("ZAVRIK_CHILD_PID_FILE", QFile::encodeName(pid_file));
  const pid_t pid = LaunchAndWatch(Program("fork_child_and_wait"), {});
  ASSERT_TRUE(test_support::WaitUntil([&] { return QFile::exists(pid_file); }));
  bool read = false;
  const pid_t child = ReadAll(pid_file).trimmed().toInt(&read);
  ASSERT_TRUE(read && child > 0);
  EXPECT_FALSE(ProcessIsGone(child));

  KillProcessGroup(pid);
  EXPECT_TRUE(WaitForEnd(pid));
  const bool child_gone = test_support::WaitUntil([&] { return ProcessIsGone(child); });
  if (!child_gone) kill(child, SIGKILL);
  EXPECT_TRUE(child_gone);
}

bool OutputArrives(int read_end) {
  return test_support::WaitUntil([read_end] {
    pollfd readable{read_end, POLLIN, 0};
    return poll(&readable, 1, 0) > 0;
  });
}

struct StopCase {
  const char* name;
  int linger_ms;  // how long the program stays after SIGTERM; negative: until it is killed
  bool killed;
};

void PrintTo(const StopCase& stop_case, std::ostream* out) { *out << stop_case.name; }

class StopTest : public LaunchTest, public testing::WithParamInterface<StopCase> {};

// The program says when SIGTERM no longer ends it at once, so the stop always finds it lingering.
TEST_P(StopTest, TheGroupIsKilledExactlyWhenTheProgramOutlastsTheGrace) {
  const QString program = Program("end_as");
  pid_t pid = -1;
  LaunchOutput output;
  const QStringList words = {u"linger"_s, QString::number(GetParam().linger_ms)};
  ASSERT_EQ(ZavrikLaunch(program, words, &pid, &output), 0);
  started_.append(pid);
  watcher_.Watch(pid, program);
  ASSERT_TRUE(OutputArrives(output.read_end));
  StopProcessGroup(pid);
  ASSERT_TRUE(WaitForEnd(pid));
  LetGoOfOutput(pid, output);
  const int status = ends_.last().wait_status;
  if (GetParam().killed) {
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "wait status " << status;
  } else {
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
  }
}

INSTANTIATE_TEST_SUITE_P(Grace, StopTest,
                         testing::Values(StopCase{"EndsInsideTheGrace", kStopGraceMs * 3 / 4,
                                                  false},
                                         StopCase{"OutlastsTheGrace", -1, true}),
                         [](const auto& test_case) { return std::string(test_case.param.name); });

// A program lingering after SIGTERM, launched by launch_and_end, which has ended by the time the
// test looks. Orphans come to this process, so their ends can be collected here.
class OrphanedProgramTest : public LaunchTest {
 protected:
  void SetUp() override {
    LaunchTest::SetUp();
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  }

  void TearDown() override {
    for (pid_t orphan : {program_, keeper_}) {
      if (orphan <= 0) continue;
      kill(orphan, SIGKILL);
      waitpid(orphan, nullptr, 0);
    }
    LaunchTest::TearDown();
  }

  void LaunchAndEnd(const QStringList& options) {
    QProcess launcher;
    launcher.start(Program("launch_and_end"),
                   options + QStringList{Program("end_as"), u"linger"_s, u"-1"_s});
    ASSERT_TRUE(launcher.waitForFinished(30000));
    const QList<QByteArray> ids = launcher.readAllStandardOutput().trimmed().split(' ');
    program_ = pid_t(ids.value(0).toInt());
    keeper_ = pid_t(ids.value(1).toInt());
    ASSERT_GT(program_, 0);
    ASSERT_GT(keeper_, 0);
  }

  // Collects `orphan` if it ends within `timeout_ms`; its wait status, or -1.
  int WaitForOrphan(pid_t& orphan, int timeout_ms) {
    int status = -1;
    if (test_support::WaitUntil([&] { return waitpid(orphan, &status, WNOHANG) == orphan; },
                                timeout_ms)) {
      orphan = 0;
    }
    return status;
  }

  pid_t program_ = 0;
  pid_t keeper_ = 0;
};

// A stopped encoder once outlived a Zavrik that quit during the grace, for good.
TEST_F(OrphanedProgramTest, AProgramThatIgnoresTheStopEndsWithinTheGraceAfterItsLauncherQuit) {
  LaunchAndEnd({u"--stop"_s});
  const int status = WaitForOrphan(program_, kStopGraceMs + 500);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "wait status " << status;
  EXPECT_NE(WaitForOrphan(keeper_, 5000), -1);
}

qint64 ResidentKilobytes(pid_t pid) {
  for (const QByteArray& line : ReadAll(QStringLiteral("/proc/%1/status").arg(pid)).split('\n')) {
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLongLong();
  }
  return -1;
}

// The keeper was a copy of Zavrik, and a Zavrik killed during a run left its memory behind in it.
TEST_F(OrphanedProgramTest, TheKeeperOfAKilledLauncherHoldsNoneOfItsMemoryAndEndsWithTheProgram) {
  LaunchAndEnd({u"--hold"_s, u"256"_s});
  const qint64 resident = ResidentKilobytes(keeper_);
  EXPECT_TRUE(resident > 0 && resident < 32 * 1024) << resident << " kB";
  // Named for what it is, not with the launcher's command line.
  EXPECT_EQ(ReadAll(QStringLiteral("/proc/%1/cmdline").arg(keeper_)).toStdString(),
            (QFile::encodeName(Program("zavrik-keeper")) + '\0').toStdString());
  kill(program_, SIGKILL);
  EXPECT_NE(WaitForOrphan(program_, 5000), -1);
  EXPECT_NE(WaitForOrphan(keeper_, 5000), -1);
}

}  // namespace
