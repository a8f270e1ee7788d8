// Real WAVE files through "Kodieren!" and the real gogo, from the main window.
#include <sndfile.h>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <cmath>
#include <vector>

#include "main_window_fixture.h"
#include "platform/system_messages.h"

namespace {

// Half a second of a 440 Hz tone, 16-bit stereo at 44.1 kHz.
bool WriteTone(const QString& path) {
  SF_INFO format{};
  format.samplerate = 44100;
  format.channels = 2;
  format.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &format);
  if (file == nullptr) return false;
  std::vector<short> samples(44100);
  for (size_t i = 0; i < samples.size(); i += 2) {
    const auto value = short(8000 * std::sin(2 * M_PI * 440 * double(i / 2) / 44100));
    samples[i] = value;
    samples[i + 1] = value;
  }
  const bool written = sf_write_short(file, samples.data(), sf_count_t(samples.size())) ==
                       sf_count_t(samples.size());
  return sf_close(file) == 0 && written;
}

// An MP3 stream starts with an ID3 tag or a frame sync.
bool LooksLikeMp3(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly) || file.size() < 1000) return false;
  const QByteArray head = file.read(3);
  return head == "ID3" || (uchar(head[0]) == 0xFF && (uchar(head[1]) & 0xE0) == 0xE0);
}

class EndToEndTest : public window_test::MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    settings.encoder_location = QStringLiteral(ZAVRIK_PROGRAM_DIR "/gogo");
    QDir().mkpath(Path(QStringLiteral("mp3")));
    Message handed(command::kRefsReceived);
    for (const QString& name : names) {
      const QString wave = Path(QStringLiteral("in/") + name + QStringLiteral(".wav"));
      QDir().mkpath(Path(QStringLiteral("in")));
      ASSERT_TRUE(WriteTone(wave));
      handed.AddRef(QStringLiteral("refs"), wave);
    }
    window->RefsReceived(handed);
    Find<QLineEdit>(QStringLiteral("OutputDirText"))->setText(Path(QStringLiteral("mp3")));
  }

  void RunToTheEnd() {
    auto* encode = Find<QPushButton>(QStringLiteral("EncodeButton"));
    ASSERT_TRUE(encode->isEnabled());
    encode->click();
    ASSERT_TRUE(test_support::WaitUntil([&] { return window->run().encoding(); }));
    ASSERT_TRUE(test_support::WaitUntil([&] { return !window->run().encoding(); }, 60000));
    EXPECT_FALSE(Progress()->isVisible());
  }

  void EncodeAll() {
    RunToTheEnd();
    EXPECT_TRUE(alerts.shown.isEmpty());
  }

  const QStringList names = {QStringLiteral("eins"), QStringLiteral("zwei zwei"),
                             QStringLiteral("drei")};
};

TEST_F(EndToEndTest, ThreeWaveFilesBecomeThreeMp3FilesInTheChosenFolder) {
  EncodeAll();
  for (const QString& name : names) {
    EXPECT_TRUE(LooksLikeMp3(Path(QStringLiteral("mp3/") + name + QStringLiteral(".mp3"))))
        << name.toStdString();
    EXPECT_TRUE(QFile::exists(Path(QStringLiteral("in/") + name + QStringLiteral(".wav"))));
  }
}

// The option string keeps the field's blanks, so the encoder once got empty words and refused
// every file.
TEST_F(EndToEndTest, ExtraParametersWithStrayBlanksStillEncodeEveryFile) {
  Find<QLineEdit>(QStringLiteral("ExtraParam"))->setText(QStringLiteral("-q  2 "));
  EncodeAll();
  for (const QString& name : names) {
    EXPECT_TRUE(LooksLikeMp3(Path(QStringLiteral("mp3/") + name + QStringLiteral(".mp3"))))
        << name.toStdString();
  }
}

TEST_F(EndToEndTest, DeleteWaveRemovesTheInputsOnceEncoded) {
  Find<QCheckBox>(QStringLiteral("DeleteWave"))->setChecked(true);
  EncodeAll();
  for (const QString& name : names) {
    EXPECT_TRUE(LooksLikeMp3(Path(QStringLiteral("mp3/") + name + QStringLiteral(".mp3"))));
    EXPECT_FALSE(QFile::exists(Path(QStringLiteral("in/") + name + QStringLiteral(".wav"))));
  }
}

// A recorder that crashed leaves a data chunk that claims no audio; the recording after it was
// once encoded as nothing and deleted.
TEST_F(EndToEndTest, DeleteWaveKeepsAnUnfinishedRecordingAndReportsIt) {
  QFile unfinished(Path(QStringLiteral("in/zwei zwei.wav")));
  ASSERT_TRUE(unfinished.open(QIODevice::ReadWrite));
  const QByteArray bytes = unfinished.readAll();
  unfinished.seek(bytes.indexOf("data") + 4);
  unfinished.write(QByteArray(4, '\0'));
  unfinished.close();
  Find<QCheckBox>(QStringLiteral("DeleteWave"))->setChecked(true);
  RunToTheEnd();
  EXPECT_FALSE(QFile::exists(Path(QStringLiteral("in/eins.wav"))));
  // Its audio is encoded all the same; only the deletion is refused.
  EXPECT_TRUE(LooksLikeMp3(Path(QStringLiteral("mp3/zwei zwei.mp3"))));
  QFile kept(unfinished.fileName());
  ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
  EXPECT_EQ(kept.readAll().mid(bytes.indexOf("data") + 8), bytes.mid(bytes.indexOf("data") + 8));
  ASSERT_EQ(alerts.Ids(), QStringList({QStringLiteral("RunFailures")}));
  EXPECT_EQ(alerts.shown[0].text, QStringLiteral("1 von 3 Dateien konnte nicht kodiert werden."));
  EXPECT_TRUE(alerts.shown[0].details.contains(QStringLiteral("sie bleibt erhalten")));
}

TEST_F(EndToEndTest, AFileTheEncoderCannotReadIsMarkedAndReportedAfterTheRun) {
  QFile text(Path(QStringLiteral("in/zwei zwei.wav")));
  ASSERT_TRUE(text.open(QIODevice::WriteOnly | QIODevice::Truncate));
  text.write("Dies ist kein Klang.\n");
  text.close();
  RunToTheEnd();
  EXPECT_TRUE(LooksLikeMp3(Path(QStringLiteral("mp3/eins.mp3"))));
  EXPECT_TRUE(LooksLikeMp3(Path(QStringLiteral("mp3/drei.mp3"))));
  EXPECT_FALSE(QFile::exists(Path(QStringLiteral("mp3/zwei zwei.mp3"))));

  ASSERT_EQ(alerts.Ids(), QStringList({QStringLiteral("RunFailures")}));
  EXPECT_EQ(alerts.shown[0].text, QStringLiteral("1 von 3 Dateien konnte nicht kodiert werden."));
  EXPECT_TRUE(alerts.shown[0].details.startsWith(Path(QStringLiteral("in/zwei zwei.wav\ngogo: "))));
  EXPECT_TRUE(alerts.shown[0].details.contains(QStringLiteral("keine lesbare Audiodatei")));
  const auto* list = Find<QAbstractItemView>(QStringLiteral("FilesList"));
  EXPECT_TRUE(list->model()->index(1, 0).data(Qt::DecorationRole).isValid());
  EXPECT_TRUE(list->model()
                  ->index(1, 0)
                  .data(Qt::ToolTipRole)
                  .toString()
                  .contains(QStringLiteral("keine lesbare Audiodatei")));
  EXPECT_FALSE(list->model()->index(0, 0).data(Qt::DecorationRole).isValid());
}

TEST_F(EndToEndTest, ACopyOfZavrikAsTheEncoderFailsEveryFileInsteadOfTakingItBack) {
  // A copy is another file than the running Zavrik, so only the copy itself can tell.
  QDir().mkpath(Path(QStringLiteral("kopie")));
  settings.encoder_location = Path(QStringLiteral("kopie/zavrik"));
  ASSERT_TRUE(QFile::copy(QStringLiteral(ZAVRIK_PROGRAM_DIR "/zavrik"), settings.encoder_location));
  RunToTheEnd();
  ASSERT_EQ(alerts.Ids(), QStringList({QStringLiteral("RunFailures")}));
  EXPECT_EQ(alerts.shown[0].details.count(QStringLiteral("nicht sein eigener Kodierer")), 3);
}

}  // namespace
