#include "platform/single_instance.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <future>
#include <vector>

#include "platform/system_messages.h"
#include "support/recorders.h"
#include "support/test_support.h"

namespace {

// Leaves a socket file behind with nobody listening, as a crashed instance does.
void LeaveStaleSocket(const QString& path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const QByteArray name = QFile::encodeName(path);
  ASSERT_LT(size_t(name.size()), sizeof(address.sun_path));
  memcpy(address.sun_path, name.constData(), size_t(name.size()));
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  close(fd);
  ASSERT_TRUE(QFileInfo::exists(path));
}

// HandTo blocks, so it runs beside the event loop that the listening instance needs.
template <typename Paths = QStringList>
SingleInstance::HandOver HandOverInBackground(const QString& socket_path, const Paths& paths) {
  auto result = std::async(std::launch::async, [socket_path, paths] {
    return SingleInstance::HandTo(socket_path, paths, 5000);
  });
  test_support::WaitUntil(
      [&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
  return result.get();
}

class SingleInstanceTest : public ::testing::Test {
 protected:
  QTemporaryDir folder;
  QString socket_path = folder.path() + QStringLiteral("/zavrik-test");
  RecordingHandler handler;
};

TEST(HandOverFormatTest, RequestsDecodeToThePathsThatWereEncoded) {
  const QList<QStringList> cases = {
      {},
      {QStringLiteral("/a")},
      {QStringLiteral("/music/track 01.wav"), QStringLiteral("/x/\"quoted\".wav")},
      {QStringLiteral("/Übung/Straße – ünïcödé.wav"), QStringLiteral("/tmp")},
  };
  for (const QStringList& paths : cases) {
    QStringList decoded = {QStringLiteral("unchanged")};
    EXPECT_EQ(handover::Decode(handover::Encode(paths), &decoded), handover::DecodeState::Complete);
    EXPECT_EQ(decoded, paths);
  }
}

TEST(HandOverFormatTest, IncompleteRequestsWaitAndMalformedOnesAreRefused) {
  const QByteArray whole = handover::Encode({QStringLiteral("/a/b.wav"), QStringLiteral("/c")});
  QStringList paths;
  for (qsizetype size = 0; size < whole.size(); ++size) {
    EXPECT_EQ(handover::Decode(whole.left(size), &paths), handover::DecodeState::NeedMore) << size;
  }
  const QByteArray too_many = QByteArray::fromHex("ffffffff");
  const QByteArray too_long = QByteArray::fromHex("00000001ffffffff");
  const QByteArray empty_path = QByteArray::fromHex("0000000100000000");
  for (const QByteArray& bad : {too_many, too_long, empty_path, whole + "x"}) {
    EXPECT_EQ(handover::Decode(bad, &paths), handover::DecodeState::Invalid)
        << bad.toHex().toStdString();
  }
}

TEST_F(SingleInstanceTest, HandedPathsArriveAsOneRefsMessageAndNamesThatAreNoUtf8AreNamed) {
  SingleInstance instance(socket_path);
  instance.SetHandler(&handler);
  ASSERT_TRUE(instance.Listen());
  const QList<QByteArray> paths = {"/w/a b.wav", "/w/caf\xe9.wav", "/w/liste.zvk"};

  EXPECT_EQ(HandOverInBackground(socket_path, paths), SingleInstance::HandOver::Delivered);
  ASSERT_TRUE(test_support::WaitUntil([&] { return handler.messages.size() == 2; }));
  EXPECT_EQ(handler.messages.at(0).what, command::kRefsReceived);
  EXPECT_EQ(handler.messages.at(0).Refs(QStringLiteral("refs")),
            QStringList({QStringLiteral("/w/a b.wav"), QStringLiteral("/w/liste.zvk")}));
  EXPECT_EQ(handler.messages.at(1).what, command::kNamesNotUtf8);
  EXPECT_EQ(handler.messages.at(1).Refs(QStringLiteral("names")),
            QStringList({QStringLiteral("/w/caf\\xe9.wav")}));
}

// Counts this process's open descriptors.
rlim_t OpenDescriptors() { return rlim_t(QDir(QStringLiteral("/proc/self/fd")).count()); }

TEST_F(SingleInstanceTest, TheInstanceOutlivesRunningOutOfDescriptorsAndDropsIdleConnections) {
  SingleInstance instance(socket_path);
  instance.SetHandler(&handler);
  ASSERT_TRUE(instance.Listen());

  // Silent peers take every descriptor there is, so the instance's accepts fail.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit low = saved;
  low.rlim_cur = OpenDescriptors() + 16;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const QByteArray name = QFile::encodeName(socket_path);
  memcpy(address.sun_path, name.constData(), size_t(name.size()));
  std::vector<int> silent;
  for (int fd; (fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0)) >= 0;) {
    silent.push_back(fd);
    connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
  }
  for (int turn = 0; turn < 3; ++turn) QCoreApplication::processEvents();
  close(silent.back());
  silent.pop_back();
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);

  EXPECT_EQ(HandOverInBackground(socket_path, QStringList{QStringLiteral("/a.wav")}),
            SingleInstance::HandOver::Delivered);
  // Every silent peer is dropped in time: reading gives the end of its connection.
  EXPECT_TRUE(test_support::WaitUntil([&] {
    return std::all_of(silent.begin(), silent.end(), [](int fd) {
      char byte = 0;
      return read(fd, &byte, 1) == 0;
    });
  }));
  for (const int fd : silent) close(fd);
}

TEST_F(SingleInstanceTest, OnlyOneInstanceListensOnASocket) {
  SingleInstance first(socket_path);
  ASSERT_TRUE(first.Listen());
  SingleInstance second(socket_path);
  EXPECT_FALSE(second.Listen());
}

TEST_F(SingleInstanceTest, ASocketLeftByACrashedInstanceDoesNotStopTheNextStart) {
  LeaveStaleSocket(socket_path);
  EXPECT_EQ(SingleInstance::HandTo(socket_path, {QStringLiteral("/a")}, 1000),
            SingleInstance::HandOver::NoInstance);

  SingleInstance instance(socket_path);
  instance.SetHandler(&handler);
  ASSERT_TRUE(instance.Listen());
  EXPECT_EQ(HandOverInBackground(socket_path, {QStringLiteral("/a")}),
            SingleInstance::HandOver::Delivered);
  EXPECT_TRUE(test_support::WaitUntil([&] { return handler.messages.size() == 1; }));
}

TEST_F(SingleInstanceTest, WithoutAnInstanceNothingIsHandedOver) {
  EXPECT_EQ(SingleInstance::HandTo(socket_path, {QStringLiteral("/a")}, 1000),
            SingleInstance::HandOver::NoInstance);
}

struct UntrustedSocketCase {
  const char* name;
  bool another_owner;
  mode_t mode;
};

// Whoever owns the socket listens behind it; a socket others may write to was not made by a
// Zavrik of this user. Either way the paths are not handed over.
TEST_F(SingleInstanceTest, ASocketOfAnotherUserOrOpenToOthersIsNeverUsed) {
  const UntrustedSocketCase cases[] = {
      {"another user's", true, 0700},
      {"others may write", false, 0702},
      {"the group may write", false, 0720},
  };
  QString skipped;
  for (const UntrustedSocketCase& c : cases) {
    SCOPED_TRACE(c.name);
    const QString path = folder.path() + QStringLiteral("/") + QString::fromLatin1(c.name);
    SingleInstance instance(path);
    ASSERT_TRUE(instance.Listen());
    const QByteArray name = QFile::encodeName(path);
    ASSERT_EQ(chmod(name.constData(), c.mode), 0);
    // Giving a file away takes root, as in CI; elsewhere this case cannot be made.
    if (c.another_owner && chown(name.constData(), geteuid() + 1, getegid()) != 0) {
      skipped = QStringLiteral("only root can give the socket to another user");
      continue;
    }
    EXPECT_EQ(HandOverInBackground(path, {QStringLiteral("/a")}),
              SingleInstance::HandOver::NoInstance);
  }
  if (!skipped.isEmpty()) GTEST_SKIP() << skipped.toStdString();
}

TEST_F(SingleInstanceTest, AMalformedRequestIsDroppedWithoutAnAnswer) {
  SingleInstance instance(socket_path);
  instance.SetHandler(&handler);
  ASSERT_TRUE(instance.Listen());
  QLocalSocket socket;
  socket.connectToServer(socket_path);
  ASSERT_TRUE(socket.waitForConnected(1000));
  socket.write(QByteArray::fromHex("00000001ffffffff"));
  EXPECT_TRUE(test_support::WaitUntil(
      [&] { return socket.state() == QLocalSocket::UnconnectedState; }, 5000));
  EXPECT_EQ(socket.bytesAvailable(), 0);
  EXPECT_TRUE(handler.messages.isEmpty());
}

TEST_F(SingleInstanceTest, ASecondZavrikHandsItsFilesWithAbsolutePathsAndEndsAtOnce) {
  // The second process finds the instance through its runtime folder.
  const QString runtime_folder = folder.path() + QStringLiteral("/runtime");
  ASSERT_TRUE(QDir().mkpath(runtime_folder));
  // The toolkit takes a runtime folder only if it is the user's alone; else it makes one of its
  // own in the temporary folder, and leaves it there.
  QFile::setPermissions(runtime_folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  QProcess second;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_folder);
  second.setProcessEnvironment(environment);
  second.setWorkingDirectory(folder.path());

  SingleInstance instance(runtime_folder + QStringLiteral("/zavrik-") + QString::number(geteuid()));
  instance.SetHandler(&handler);
  ASSERT_TRUE(instance.Listen());

  // The toolkit's own options and their values are not files, even where such a file exists.
  QFile(folder.path() + QStringLiteral("/Fusion")).open(QIODevice::WriteOnly);
  second.start(QStringLiteral(ZAVRIK_PROGRAM_DIR "/zavrik"),
               {QStringLiteral("-style"), QStringLiteral("Fusion"), QStringLiteral("song one.wav"),
                QStringLiteral("-reverse"), QStringLiteral("/abs/liste.zvk")});
  ASSERT_TRUE(test_support::WaitUntil([&] { return second.state() == QProcess::NotRunning; }))
      << "the second zavrik did not end";
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), 0);
  ASSERT_TRUE(test_support::WaitUntil([&] { return handler.messages.size() == 1; }));
  EXPECT_EQ(handler.messages.at(0).Refs(QStringLiteral("refs")),
            QStringList({folder.path() + QStringLiteral("/song one.wav"),
                         QStringLiteral("/abs/liste.zvk")}));
}

}  // namespace
