// Runs the built gogo as a real process on WAVE files generated here and checks what lands on
// disk: decodable MP3s of the right length, frame headers, names, tags, and that no failure or
// kill ever leaves a partial file or touches the input.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <map>
#include <optional>
#include <random>
#include <vector>

#include "support/test_support.h"

namespace {

constexpr int kFrameSamples = 1152;

QString GogoPath() { return QStringLiteral(ZAVRIK_PROGRAM_DIR "/gogo"); }

struct Tone {
  int channels = 2;
  int sample_rate = 44100;
  int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  double seconds = 1.5;
};

using TagTexts = std::map<int, std::string>;

// Writes a 440 Hz sine (a different tone per channel) with the given INFO tags.
void WriteTone(const QString& path, const Tone& tone, const TagTexts& tags = {},
               bool silent = false) {
  SF_INFO info{};
  info.channels = tone.channels;
  info.samplerate = tone.sample_rate;
  info.format = tone.format;
  SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
  for (const auto& [kind, text] : tags) sf_set_string(file, kind, text.c_str());
  const sf_count_t total = static_cast<sf_count_t>(tone.seconds * tone.sample_rate);
  std::vector<float> block(65536 * tone.channels);
  for (sf_count_t start = 0; start < total; start += 65536) {
    const sf_count_t count = std::min<sf_count_t>(65536, total - start);
    for (sf_count_t i = 0; i < count && !silent; ++i) {
      for (int c = 0; c < tone.channels; ++c) {
        const double t = double(start + i) / tone.sample_rate;
        block[i * tone.channels + c] = float(0.5 * std::sin(2 * M_PI * 440 * (c + 1) * t));
      }
    }
    ASSERT_EQ(sf_writef_float(file, block.data(), count), count);
  }
  sf_close(file);
}

struct GogoRun {
  int exit_code = -1;
  QProcess::ExitStatus status = QProcess::CrashExit;
  QString error_output;
};

GogoRun RunGogo(const QStringList& arguments, const QString& folder,
                const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
  QProcess process;
  process.setWorkingDirectory(folder);
  process.setProcessEnvironment(environment);
  process.start(GogoPath(), arguments);
  EXPECT_TRUE(process.waitForFinished(60000));
  return {process.exitCode(), process.exitStatus(),
          QString::fromUtf8(process.readAllStandardError())};
}

// Decoded length in frames, read through libsndfile's MP3 decoder; -1 if it cannot be read.
sf_count_t DecodedFrames(const QString& path, SF_INFO* info_out = nullptr) {
  SF_INFO info{};
  SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
  if (file == nullptr) return -1;
  std::vector<float> block(8192 * info.channels);
  sf_count_t total = 0;
  for (sf_count_t read; (read = sf_readf_float(file, block.data(), 8192)) > 0;) total += read;
  sf_close(file);
  if (info_out != nullptr) *info_out = info;
  return total;
}

// Only regular files: opening a pipe would wait for a writer.
QByteArray ReadBytes(const QString& path) {
  struct stat status {};
  if (stat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISREG(status.st_mode))
    return {};
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteText(const QString& path, const QByteArray& text) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(text);
}

size_t Id3v2Size(const QByteArray& bytes) {
  if (!bytes.startsWith("ID3") || bytes.size() < 10) return 0;
  const auto b = [&](int i) { return size_t(uchar(bytes[i])); };
  return 10 + ((b(6) << 21) | (b(7) << 14) | (b(8) << 7) | b(9));
}

struct FrameHeader {
  bool mpeg1 = false;
  bool crc = false;
  int bitrate = 0;  // kbit/s
  int sample_rate = 0;
  int mode = -1;  // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
  int size = 0;
};

std::optional<FrameHeader> ParseHeader(const QByteArray& bytes, qsizetype at) {
  if (at + 4 > bytes.size()) return std::nullopt;
  const auto b = [&](int i) { return uint32_t(uchar(bytes[at + i])); };
  const uint32_t word = (b(0) << 24) | (b(1) << 16) | (b(2) << 8) | b(3);
  if ((word >> 21) != 0x7FF || ((word >> 17) & 3) != 1) return std::nullopt;  // layer III
  static const int kMpeg1Rates[] = {0,   32,  40,  48,  56,  64,  80, 96,
                                    112, 128, 160, 192, 224, 256, 320};
  static const int kMpeg2Rates[] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
  static const int kSampleRates[] = {44100, 48000, 32000};
  const int version = (word >> 19) & 3;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
  const int bitrate_index = (word >> 12) & 15;
  const int rate_index = (word >> 10) & 3;
  if (bitrate_index == 0 || bitrate_index == 15 || rate_index == 3 || version == 1)
    return std::nullopt;
  FrameHeader header;
  header.mpeg1 = version == 3;
  header.bitrate = header.mpeg1 ? kMpeg1Rates[bitrate_index] : kMpeg2Rates[bitrate_index];
  header.sample_rate = kSampleRates[rate_index] / (version == 3 ? 1 : version == 2 ? 2 : 4);
  header.mode = (word >> 6) & 3;
  header.crc = ((word >> 16) & 1) == 0;
  header.size =
      (header.mpeg1 ? 144 : 72) * header.bitrate * 1000 / header.sample_rate + int((word >> 9) & 1);
  return header;
}

bool HasInfoFrame(const QString& path) {
  const QByteArray bytes = ReadBytes(path);
  const qsizetype start = qsizetype(Id3v2Size(bytes));
  std::optional<FrameHeader> first = ParseHeader(bytes, start);
  return first && bytes.mid(start, first->size).contains("LAME");
}

// The header of the first audio frame: after the ID3v2 tag and the info frame. At low bitrates
// a frame is too small for the info frame, and the library leaves it out.
std::optional<FrameHeader> FirstAudioFrame(const QString& path) {
  const QByteArray bytes = ReadBytes(path);
  const qsizetype start = qsizetype(Id3v2Size(bytes));
  std::optional<FrameHeader> first = ParseHeader(bytes, start);
  if (!first || !HasInfoFrame(path)) return first;
  return ParseHeader(bytes, start + first->size);
}

// A text of an ID3v2.3 frame in its encoding (0 Latin-1, 1 UTF-16 with byte order mark).
std::string Id3Text(const QByteArray& bytes, char encoding) {
  QString text = encoding == 1
                     ? QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()),
                                          bytes.size() / 2)
                     : QString::fromLatin1(bytes);
  text.remove(QChar(0xFEFF));
  while (text.endsWith(QChar(0))) text.chop(1);
  return text.toStdString();
}

// Splits off the text up to its terminator (one NUL, or two at an even place for UTF-16).
QByteArray TakeTerminated(QByteArray& body, char encoding) {
  qsizetype end = 0;
  const int width = encoding == 1 ? 2 : 1;
  while (end + width <= body.size() && body.mid(end, width) != QByteArray(width, '\0'))
    end += width;
  const QByteArray text = body.left(end);
  body.remove(0, end + width);
  return text;
}

// The frames of an ID3v2.3 tag: texts decoded to UTF-8 under their id ("TXXX:" and "COMM:"
// add a description), pictures under "APIC:<type>" as their MIME type, a blank and their bytes.
std::map<std::string, std::string> Id3Frames(const QString& path) {
  const QByteArray bytes = ReadBytes(path);
  const qsizetype end = qsizetype(Id3v2Size(bytes));
  std::map<std::string, std::string> frames;
  for (qsizetype at = 10; at + 10 <= end && bytes[at] != '\0';) {
    std::string id = bytes.mid(at, 4).toStdString();
    const auto b = [&](int i) { return qsizetype(uchar(bytes[at + i])); };
    const qsizetype size = (b(4) << 24) | (b(5) << 16) | (b(6) << 8) | b(7);
    QByteArray body = bytes.mid(at + 10, size);
    at += 10 + size;
    if (id[0] != 'T' && id != "COMM" && id != "APIC") {
      frames[id] = body.toStdString();
      continue;
    }
    const char encoding = body.isEmpty() ? 0 : body[0];
    body.remove(0, 1);
    if (id == "APIC") {
      const QByteArray mime = TakeTerminated(body, 0);
      const int type = uchar(body[0]);
      body.remove(0, 1);
      TakeTerminated(body, encoding);  // description
      frames["APIC:" + std::to_string(type)] = (mime + ' ' + body).toStdString();
      continue;
    }
    if (id == "COMM") body.remove(0, 3);  // language
    if (id == "COMM" || id == "TXXX") {
      const std::string description = Id3Text(TakeTerminated(body, encoding), encoding);
      if (!description.empty() || id == "TXXX") id += ":" + description;
    }
    frames[id] = Id3Text(body, encoding);
  }
  return frames;
}

std::vector<float> ReadSamples(const QString& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
  if (file == nullptr) return {};
  std::vector<float> samples(size_t(info.frames) * info.channels);
  samples.resize(size_t(sf_readf_float(file, samples.data(), info.frames)) * info.channels);
  sf_close(file);
  return samples;
}

// How the decoded sound compares with the input: the level difference in dB and the
// correlation of the samples. The decoder drops the encoder delay that the info frame names.
std::pair<double, double> Compare(const std::vector<float>& input,
                                  const std::vector<float>& decoded) {
  double in = 1e-12, out = 1e-12, both = 0;
  for (size_t i = 0; i < std::min(input.size(), decoded.size()); ++i) {
    in += double(input[i]) * input[i];
    out += double(decoded[i]) * decoded[i];
    both += double(input[i]) * decoded[i];
  }
  return {10 * std::log10(out / in), both / std::sqrt(in * out)};
}

QStringList Entries(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

class GogoTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(folder_.isValid()); }
  QString Path(const QString& name) const { return folder_.filePath(name); }
  QString folder() const { return folder_.path(); }

  QTemporaryDir folder_;
};

struct LengthCase {
  const char* name;
  Tone tone;
  QStringList options = {};
};

// Every form of input, on one thread and on several: long enough to be split into chunks.
TEST_F(GogoTest, EncodedFilesDecodeToTheInputItselfWithinOneFrame) {
  const LengthCase cases[] = {
      {"mono16", {1, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 3.5}},
      {"stereo16", {2, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 4.0}},
      {"stereo24", {2, 48000, SF_FORMAT_WAV | SF_FORMAT_PCM_24, 3.2}},
      {"stereo32", {2, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_32, 3.5}},
      {"float", {2, 44100, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 3.6}},
      {"mono_double", {1, 48000, SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 3.2}},
      {"mono22050", {1, 22050, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 7.0}, {"-b", "64"}},
      // Constant bitrates whose frames are too small for the library's own info frame.
      {"mono8000", {1, 8000, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 9.0}},
      {"mono11025", {1, 11025, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8.0}},
      {"mono16000", {1, 16000, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 7.5}},
      {"mono22050_32", {1, 22050, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 7.0}, {"-b", "32"}},
      {"stereo22050", {2, 22050, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 6.8}, {"-b", "96", "-m", "s"}},
      {"unsigned8", {1, 32000, SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 4.7}},
      {"aiff", {2, 44100, SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 3.4}},
      {"flac", {2, 44100, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 3.5}},
  };
  for (const LengthCase& c : cases) {
    const QString input = Path(QString::fromLatin1(c.name) + QStringLiteral(".in"));
    WriteTone(input, c.tone);
    const std::vector<float> original = ReadSamples(input);
    for (const char* threads : {"1", "3"}) {
      SCOPED_TRACE(std::string(c.name) + " on " + threads + " threads");
      const QString output = Path(QString::fromLatin1(c.name) + QStringLiteral(".mp3"));
      const GogoRun run = RunGogo(
          c.options + QStringList{QStringLiteral("-j"), QString::fromLatin1(threads), input},
          folder());
      ASSERT_EQ(run.exit_code, 0) << run.error_output.toStdString();
      SF_INFO info{};
      const sf_count_t decoded = DecodedFrames(output, &info);
      const sf_count_t expected = sf_count_t(c.tone.seconds * c.tone.sample_rate);
      EXPECT_EQ(info.samplerate, c.tone.sample_rate);
      EXPECT_EQ(info.channels, c.tone.channels);
      EXPECT_NEAR(double(decoded), double(expected), kFrameSamples);
      EXPECT_TRUE(HasInfoFrame(output));
      const auto [level_db, correlation] = Compare(original, ReadSamples(output));
      EXPECT_NEAR(level_db, 0, 1);
      EXPECT_GT(correlation, 0.99);
    }
  }
}

struct HeaderCase {
  QStringList options;
  Tone tone;
  int bitrate;
  int mode;
  bool mpeg1;
};

TEST_F(GogoTest, FrameHeadersCarryTheBitrateAndModeAskedFor) {
  const Tone stereo;
  const Tone low_mono{1, 22050, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1.0};
  const HeaderCase cases[] = {
      {{"-b", "128", "-m", "j"}, stereo, 128, 1, true},
      {{"-b", "320", "-m", "s"}, stereo, 320, 0, true},
      {{"-m", "m", "-b", "64"}, stereo, 64, 3, true},
      {{"-b", "32", "-m", "s"}, stereo, 32, 0, false},
      {{"-b", "192", "-nopsy", "-m", "j"}, stereo, 192, 1, true},
      {{"-b", "64"}, low_mono, 64, 3, false},
      // 320 kbit/s exists only at MPEG-1 rates: the 22.05 kHz input is resampled for it.
      {{"-b", "320", "-m", "s"}, low_mono, 320, 3, true},
      // Upsampling 8 kHz four times makes more MP3 bytes per block than the input alone
      // suggests; the encoder once ran out of output room here.
      {{"-b", "320", "-m", "j"}, {2, 8000, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 3.0}, 320, 1, true},
      {{"-b", "192"}, {2, 11025, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 3.0}, 192, 1, true},
      // The lowest and the highest rate gogo takes.
      {{"-b", "32"}, {1, 1000, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1.0}, 32, 3, false},
      {{"-b", "320"}, {1, 768000, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0.5}, 320, 3, true},
  };
  int index = 0;
  for (const HeaderCase& c : cases) {
    SCOPED_TRACE(c.options.join(QLatin1Char(' ')).toStdString() + " rate " +
                 std::to_string(c.tone.sample_rate));
    const QString input = Path(QStringLiteral("tone%1.wav").arg(++index));
    const QString output = Path(QStringLiteral("tone%1.mp3").arg(index));
    WriteTone(input, c.tone);
    const GogoRun run = RunGogo(c.options + QStringList{input}, folder());
    ASSERT_EQ(run.exit_code, 0) << run.error_output.toStdString();
    const std::optional<FrameHeader> header = FirstAudioFrame(output);
    ASSERT_TRUE(header.has_value());
    EXPECT_EQ(header->bitrate, c.bitrate);
    EXPECT_EQ(header->mode, c.mode);
    EXPECT_EQ(header->mpeg1, c.mpeg1);
  }
}

struct NamingCase {
  const char* input;    // relative to the test folder
  QStringList options;  // "@" stands for the test folder
  const char* output;   // where the MP3 must appear
};

TEST_F(GogoTest, OutputIsNamedAfterTheInputOrAsAsked) {
  const NamingCase cases[] = {
      {"song.wav", {}, "song.mp3"},
      {"no extension", {}, "no extension.mp3"},
      {".hidden", {}, ".hidden.mp3"},
      {"a.b.wav", {}, "a.b.mp3"},
      {"with \"quotes\" and blanks.wav", {}, "with \"quotes\" and blanks.mp3"},
      {"in/track.wav", {"-o", "@/out dir"}, "out dir/track.mp3"},
      {"in/track.wav", {"-o", "@/out \"q\"/"}, "out \"q\"/track.mp3"},
      {"in/track.wav", {"-o", "@/ignored", "--"}, "explicit name.mp3"},
  };
  QDir(folder()).mkpath(QStringLiteral("in"));
  QDir(folder()).mkpath(QStringLiteral("out dir"));
  QDir(folder()).mkpath(QStringLiteral("out \"q\""));
  QDir(folder()).mkpath(QStringLiteral("ignored"));
  for (const NamingCase& c : cases) {
    SCOPED_TRACE(c.input);
    const QString input = Path(QString::fromUtf8(c.input));
    WriteTone(input, {1, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0.3});
    QStringList arguments;
    for (const QString& option : c.options)
      arguments << QString(option).replace(QLatin1Char('@'), folder());
    arguments << input;
    if (c.options.contains(QStringLiteral("--"))) arguments << Path(QString::fromUtf8(c.output));
    const GogoRun run = RunGogo(arguments, folder());
    ASSERT_EQ(run.exit_code, 0) << run.error_output.toStdString();
    EXPECT_GT(DecodedFrames(Path(QString::fromUtf8(c.output))), 0);
    EXPECT_TRUE(QFileInfo::exists(input));
  }
  EXPECT_TRUE(Entries(Path(QStringLiteral("ignored"))).isEmpty());
}

// A front end reads the percents from a pipe; a log file gets none of them.
TEST_F(GogoTest, PercentsGoToAPipeButNeverIntoAFile) {
  WriteTone(Path(QStringLiteral("tone.wav")), {});
  const GogoRun piped = RunGogo({QStringLiteral("tone.wav")}, folder());
  EXPECT_TRUE(piped.error_output.endsWith(QStringLiteral("\rgogo: 100 %\n")))
      << piped.error_output.toStdString();
  QProcess logged;
  logged.setWorkingDirectory(folder());
  logged.setStandardErrorFile(Path(QStringLiteral("log.txt")));
  logged.start(GogoPath(), {QStringLiteral("tone.wav")});
  ASSERT_TRUE(logged.waitForFinished(60000));
  EXPECT_EQ(logged.exitCode(), 0);
  EXPECT_TRUE(ReadBytes(Path(QStringLiteral("log.txt"))).isEmpty());

  // A pipe whose reader has gone once ended gogo by SIGPIPE at its next percent.
  WriteTone(Path(QStringLiteral("long.wav")), {1, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 30}, {},
            true);
  int ends[2];
  ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
  QProcess unread;
  unread.setWorkingDirectory(folder());
  unread.setChildProcessModifier([&ends] { dup2(ends[1], STDERR_FILENO); });
  unread.start(GogoPath(), {QStringLiteral("long.wav")});
  close(ends[0]);
  close(ends[1]);
  ASSERT_TRUE(unread.waitForFinished(60000));
  EXPECT_EQ(unread.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(unread.exitCode(), 0);
  EXPECT_NEAR(double(DecodedFrames(Path(QStringLiteral("long.mp3")))), 30.0 * 44100, kFrameSamples);
}

// An encoder once died of SIGPIPE at its next line when the application that read its output
// ended, and no MP3 appeared.
TEST_F(GogoTest, AnEncoderOutlivesTheApplicationThatLaunchedIt) {
  // Orphans come to this process, so their ends can be collected here.
  ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  const QString input = Path(QStringLiteral("long.wav"));
  WriteTone(input, {1, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 120}, {}, true);
  qputenv("FAKE_ENCODER_LOG", QFile::encodeName(Path(QStringLiteral("fake.log"))));
  struct Case {
    const char* name;
    QString program;
    QString input;
  };
  const Case cases[] = {
      {"gogo", GogoPath(), input},
      {"an encoder that SIGPIPE ends", QStringLiteral(ZAVRIK_TEST_PROGRAM_DIR "/fake_encoder"),
       Path(QStringLiteral("slow.wav"))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QProcess launcher;
    launcher.start(QStringLiteral(ZAVRIK_TEST_PROGRAM_DIR "/launch_and_end"), {c.program, c.input});
    ASSERT_TRUE(launcher.waitForFinished(30000));
    EXPECT_EQ(launcher.exitStatus(), QProcess::CrashExit);
    const auto pid = pid_t(launcher.readAllStandardOutput().split(' ').value(0).toInt());
    ASSERT_GT(pid, 0);
    int status = -1;
    ASSERT_TRUE(
        test_support::WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 60000));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
  }
  qunsetenv("FAKE_ENCODER_LOG");
  EXPECT_NEAR(double(DecodedFrames(Path(QStringLiteral("long.mp3")))), 120.0 * 44100,
              kFrameSamples);
}

TEST_F(GogoTest, RelativeInputWithoutFolderLandsInTheWorkingFolder) {
  WriteTone(Path(QStringLiteral("plain.wav")), {});
  ASSERT_EQ(RunGogo({QStringLiteral("plain.wav")}, folder()).exit_code, 0);
  EXPECT_TRUE(QFileInfo::exists(Path(QStringLiteral("plain.mp3"))));
}

TEST_F(GogoTest, AnExistingOutputIsReplacedWhole) {
  const QString output = Path(QStringLiteral("old.mp3"));
  WriteTone(Path(QStringLiteral("long.wav")), {2, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 4});
  ASSERT_EQ(RunGogo({Path(QStringLiteral("long.wav")), output}, folder()).exit_code, 0);
  QFile::remove(Path(QStringLiteral("long.wav")));
  WriteTone(Path(QStringLiteral("old.wav")), {});
  ASSERT_EQ(RunGogo({Path(QStringLiteral("old.wav"))}, folder()).exit_code, 0);
  EXPECT_NEAR(double(DecodedFrames(output)), 1.5 * 44100, kFrameSamples);
  EXPECT_EQ(Entries(folder()), (QStringList{QStringLiteral("old.mp3"), QStringLiteral("old.wav")}));
}

// A folder of the kind USB sticks and network shares give: mounted through FUSE (bindfs), with
// no unnamed temporary files. Unmounted again on destruction.
class FuseFolder {
 public:
  explicit FuseFolder(const QString& below) : path_(below + QStringLiteral("/fuse")) {
    const QString bindfs = QStandardPaths::findExecutable(QStringLiteral("bindfs"));
    if (bindfs.isEmpty() || !QFileInfo::exists(QStringLiteral("/dev/fuse"))) {
      unavailable_ = "bindfs or /dev/fuse is missing";
      return;
    }
    const QString source = below + QStringLiteral("/fuse-source");
    QDir().mkpath(source);
    QDir().mkpath(path_);
    if (QProcess::execute(bindfs, {QStringLiteral("--no-allow-other"), source, path_}) != 0)
      unavailable_ = "bindfs cannot mount here";
  }
  ~FuseFolder() {
    if (unavailable_ != nullptr) return;
    for (const char* unmount : {"fusermount3", "fusermount"}) {
      const QString program = QStandardPaths::findExecutable(QString::fromLatin1(unmount));
      if (!program.isEmpty() && QProcess::execute(program, {QStringLiteral("-u"), path_}) == 0)
        return;
    }
  }
  const char* unavailable() const { return unavailable_; }
  const QString& path() const { return path_; }

 private:
  QString path_;
  const char* unavailable_ = nullptr;
};

struct LongNameCase {
  bool fuse;
  int name_bytes;  // the MP3's name, as long as the input's
  bool replaces;   // an older MP3 of that name is there
};

// The hidden temporary name beside the output once grew past the longest name a folder takes.
TEST_F(GogoTest, LongNamesAreEncodedAndReplacedInEveryKindOfFolder) {
  const LongNameCase cases[] = {{false, 250, true}, {true, 248, false}, {true, 250, true}};
  const FuseFolder fuse(folder());
  for (const LongNameCase& c : cases) {
    if (c.fuse && fuse.unavailable() != nullptr) continue;
    SCOPED_TRACE(std::to_string(c.name_bytes) + (c.fuse ? " bytes, FUSE" : " bytes"));
    QTemporaryDir local;
    const QString case_folder = c.fuse ? fuse.path() : local.path();
    const QString base =
        case_folder + QLatin1Char('/') + QString(c.name_bytes - 4, QLatin1Char('l'));
    const QString input = base + QStringLiteral(".wav");
    const QString output = base + QStringLiteral(".mp3");
    WriteTone(input, {1, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0.3});
    if (c.replaces) WriteText(output, "ID3\x03");
    const GogoRun run = RunGogo({input}, case_folder);
    EXPECT_EQ(run.exit_code, 0) << run.error_output.toStdString();
    EXPECT_GT(DecodedFrames(output), 0);
    EXPECT_EQ(Entries(case_folder).size(), 2);  // nothing hidden left behind
    QFile::remove(input);
    QFile::remove(output);
  }
  if (fuse.unavailable() != nullptr)
    GTEST_SKIP() << "FUSE folders not checked: " << fuse.unavailable();
}

// A bare word among the options once made gogo read it as the input and write the MP3 over
// the file that was meant as the input.
TEST_F(GogoTest, AnExistingFileThatHoldsNoMp3IsNeverReplaced) {
  WriteTone(Path(QStringLiteral("foo.wav")), {});
  WriteTone(Path(QStringLiteral("entry.wav")), {});
  WriteText(Path(QStringLiteral("notes.mp3")), "Einkaufsliste\n");
  const QStringList cases[] = {
      {QStringLiteral("-nopsy"), QStringLiteral("foo.wav"), Path(QStringLiteral("entry.wav"))},
      {QStringLiteral("foo.wav"), QStringLiteral("notes.mp3")},
      {QStringLiteral("-o"), folder(), Path(QStringLiteral("notes.wav"))},
  };
  QFile::copy(Path(QStringLiteral("foo.wav")), Path(QStringLiteral("notes.wav")));
  const QStringList before = Entries(folder());
  std::map<QString, QByteArray> bytes;
  for (const QString& name : before) bytes[name] = ReadBytes(Path(name));
  for (const QStringList& arguments : cases) {
    SCOPED_TRACE(arguments.join(QLatin1Char(' ')).toStdString());
    const GogoRun run = RunGogo(arguments, folder());
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_TRUE(run.error_output.contains(QStringLiteral("keine MP3-Datei")))
        << run.error_output.toStdString();
  }
  EXPECT_EQ(Entries(folder()), before);
  for (const QString& name : before)
    EXPECT_EQ(ReadBytes(Path(name)), bytes[name]) << name.toStdString();
}

// Waits until gogo shows its first percent on its error output: the input is open and encoding
// is under way. The bytes it has written would not tell: a sanitizer's runtime writes before
// gogo starts. What gogo wrote is kept in `errors`.
bool WaitForFirstPercent(QProcess& process, QByteArray& errors) {
  return test_support::WaitUntil(
      [&] {
        errors += process.readAllStandardError();
        return errors.contains('%');
      },
      20000);
}

TEST_F(GogoTest, DeleteRemovesTheInputOnlyAfterSuccess) {
  const QString input = Path(QStringLiteral("gone.wav"));
  WriteTone(input, {});
  ASSERT_EQ(RunGogo({QStringLiteral("-delete"), input}, folder()).exit_code, 0);
  EXPECT_FALSE(QFileInfo::exists(input));
  EXPECT_GT(DecodedFrames(Path(QStringLiteral("gone.mp3"))), 0);

  const QString kept = Path(QStringLiteral("kept.wav"));
  WriteTone(kept, {});
  const QByteArray before = ReadBytes(kept);
  const GogoRun run = RunGogo(
      {QStringLiteral("-delete"), QStringLiteral("-o"), Path(QStringLiteral("missing")), kept},
      folder());
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(ReadBytes(kept), before);

  // Given a link, gogo reads the file it leads to; -delete removes the link, the name it was
  // given, and leaves the file behind it, which may have other names, as rm does.
  const QString recording = Path(QStringLiteral("recording.wav"));
  WriteTone(recording, {});
  const QByteArray recorded = ReadBytes(recording);
  const QString link = Path(QStringLiteral("link.wav"));
  ASSERT_TRUE(QFile::link(recording, link));
  const GogoRun through_link = RunGogo({QStringLiteral("-delete"), link}, folder());
  EXPECT_EQ(through_link.exit_code, 0) << through_link.error_output.toStdString();
  EXPECT_FALSE(QFileInfo(link).isSymLink() || QFileInfo::exists(link));
  EXPECT_EQ(ReadBytes(recording), recorded);
  EXPECT_GT(DecodedFrames(Path(QStringLiteral("link.mp3"))), 0);

  // A new take saved under the input's name while gogo encodes is not the file gogo read.
  for (const bool in_place : {false, true}) {
    SCOPED_TRACE(in_place ? "written into the input" : "saved over its name");
    const QString take = Path(QStringLiteral("take.wav"));
    WriteTone(take, {1, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 120}, {}, true);
    QProcess process;
    process.start(GogoPath(), {QStringLiteral("-delete"), take});
    QByteArray errors;
    ASSERT_TRUE(WaitForFirstPercent(process, errors));
    ::kill(pid_t(process.processId()), SIGSTOP);
    const QString new_take = Path(QStringLiteral("new take.wav"));
    WriteTone(new_take, {});
    const QByteArray saved = ReadBytes(new_take);
    if (in_place) {
      WriteText(take, saved);
      QFile::remove(new_take);
    } else {
      ASSERT_EQ(
          ::rename(QFile::encodeName(new_take).constData(), QFile::encodeName(take).constData()),
          0);
    }
    ::kill(pid_t(process.processId()), SIGCONT);
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 1);
    EXPECT_TRUE(QString::fromUtf8(errors + process.readAllStandardError())
                    .contains(QStringLiteral("nicht gelöscht")));
    EXPECT_EQ(ReadBytes(take), saved);
  }
}

struct FailingStepCase {
  const char* step;
  bool older_mp3;      // an MP3 of that name is there to be replaced
  bool mp3_stays;      // the step comes after the MP3 is complete and in place
  const char* reason;  // the system's, in German
  int error = 0;       // the step's own when 0: ENOSPC for writes and links, else EIO
};

// A full or failing disk at any step of writing the MP3 fails the run with a message that names
// the MP3 and gives the reason, and loses nothing: no partial MP3 appears, an older one stays
// whole, and the input stays even with -delete.
TEST_F(GogoTest, AFailingDiskAtAnyStepLosesNothing) {
  const QString preload = QStringLiteral(FAILING_CALLS_PRELOAD);
  if (preload.isEmpty())
    GTEST_SKIP() << "the sanitizer runtime is linked into gogo; nothing preloaded comes first";
  const char* full = "kein Platz mehr auf dem Datenträger";
  const char* failing = "Ein-/Ausgabefehler des Datenträgers";
  const FailingStepCase cases[] = {
      {"append", false, false, full},
      {"append", false, false, "das Speicherkontingent ist erschöpft", EDQUOT},
      {"overwrite", false, false, full},
      {"sync", false, false, failing},
      {"link", false, false, full},
      {"rename", true, false, failing},
      {"folder-sync", false, true, failing},
  };
  const QString input = Path(QStringLiteral("in.wav"));
  const QString output = Path(QStringLiteral("in.mp3"));
  WriteTone(input, {});
  ASSERT_EQ(RunGogo({input}, folder()).exit_code, 0);
  const QByteArray older_mp3 = ReadBytes(output);
  WriteTone(input, {2, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 4.0});
  const QByteArray input_bytes = ReadBytes(input);
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("LD_PRELOAD"), preload);
  for (const FailingStepCase& c : cases) {
    environment.insert(QStringLiteral("ZAVRIK_FAILING"), QString::fromLatin1(c.step));
    environment.remove(QStringLiteral("ZAVRIK_FAILING_ERRNO"));
    if (c.error != 0)
      environment.insert(QStringLiteral("ZAVRIK_FAILING_ERRNO"), QString::number(c.error));
    for (const char* threads : {"1", "2"}) {
      SCOPED_TRACE(std::string(c.step) + " on " + threads + " threads");
      QFile::remove(output);
      if (c.older_mp3) WriteText(output, older_mp3);
      const QStringList before = Entries(folder());
      const GogoRun run = RunGogo(
          {QStringLiteral("-delete"), QStringLiteral("-j"), QString::fromLatin1(threads), input},
          folder(), environment);
      EXPECT_EQ(run.status, QProcess::NormalExit);
      EXPECT_EQ(run.exit_code, 1);
      const QString last_line = run.error_output.trimmed().section(QLatin1Char('\n'), -1);
      EXPECT_TRUE(last_line.contains(output)) << last_line.toStdString();
      EXPECT_TRUE(last_line.endsWith(QString::fromUtf8(c.reason))) << last_line.toStdString();
      EXPECT_TRUE(ReadBytes(input) == input_bytes) << "the input is gone or changed";
      if (c.mp3_stays) {
        EXPECT_NEAR(double(DecodedFrames(output)), 4.0 * 44100, kFrameSamples);
      } else {
        EXPECT_EQ(Entries(folder()), before);
        EXPECT_EQ(ReadBytes(output), c.older_mp3 ? older_mp3 : QByteArray());
      }
    }
  }
}

struct TagCase {
  int kind;
  const char* text;
  const char* frame;
  const char* arrives;
};

TEST_F(GogoTest, TagsOfTheInputArriveAsId3v2Frames) {
  const TagCase cases[] = {
      {SF_STR_TITLE, "Größe des Meeres", "TIT2", "Größe des Meeres"},
      {SF_STR_ARTIST, "Die Band", "TPE1", "Die Band"},
      {SF_STR_ALBUM, "Album", "TALB", "Album"},
      {SF_STR_DATE, "2024-05-01", "TYER", "2024"},
      {SF_STR_COMMENT, "Ein Kommentar", "COMM", "Ein Kommentar"},
      {SF_STR_TRACKNUMBER, "7", "TRCK", "7"},
      {SF_STR_GENRE, "Schlager – Ü", "TCON", "Schlager – Ü"},
  };
  TagTexts tags;
  for (const TagCase& c : cases) tags[c.kind] = c.text;
  const QString input = Path(QStringLiteral("tagged.wav"));
  WriteTone(input, {}, tags);
  ASSERT_EQ(RunGogo({input}, folder()).exit_code, 0);
  std::map<std::string, std::string> frames = Id3Frames(Path(QStringLiteral("tagged.mp3")));
  for (const TagCase& c : cases) EXPECT_EQ(frames[c.frame], c.arrives) << c.frame;
  // The info frame still follows the tag, so the length survives the tag.
  EXPECT_TRUE(HasInfoFrame(Path(QStringLiteral("tagged.mp3"))));
  EXPECT_NEAR(double(DecodedFrames(Path(QStringLiteral("tagged.mp3")))), 1.5 * 44100,
              kFrameSamples);
}

QByteArray BigEndian(quint32 value, int bytes, int bits = 8) {
  QByteArray out;
  for (int i = bytes - 1; i >= 0; --i) out.append(char((value >> (bits * i)) & ((1u << bits) - 1)));
  return out;
}

QByteArray LittleEndian(quint32 value) {
  QByteArray out = BigEndian(value, 4);
  std::reverse(out.begin(), out.end());
  return out;
}

// An ID3v2 tag of version 3 or 4 (synchsafe frame sizes) from frames given as id and body.
QByteArray Id3Tag(int version, const std::vector<std::pair<const char*, QByteArray>>& frames) {
  QByteArray body;
  for (const auto& [id, frame] : frames) {
    body += QByteArray(id) + BigEndian(frame.size(), 4, version == 4 ? 7 : 8) + QByteArray(2, 0);
    body += frame;
  }
  return "ID3" + QByteArray(1, char(version)) + QByteArray(2, 0) + BigEndian(body.size(), 4, 7) +
         body;
}

// Adds a chunk at the end of a WAVE (little-endian sizes) or AIFF file, and counts it into the
// container's size. `claimed` lies about the chunk's length where it is given.
void AppendChunk(const QString& path, const QByteArray& id, const QByteArray& body,
                 std::optional<quint32> claimed = std::nullopt) {
  QByteArray bytes = ReadBytes(path);
  const bool riff = bytes.startsWith("RIFF");
  const quint32 size = claimed.value_or(quint32(body.size()));
  bytes += id + (riff ? LittleEndian(size) : BigEndian(size, 4)) + body;
  if (body.size() % 2 == 1) bytes += '\0';
  bytes.replace(4, 4, riff ? LittleEndian(bytes.size() - 8) : BigEndian(bytes.size() - 8, 4));
  WriteText(path, bytes);
}

// Replaces every metadata block of a FLAC file after its STREAMINFO with `blocks` (type and
// body).
void SetFlacBlocks(const QString& path, const std::vector<std::pair<int, QByteArray>>& blocks) {
  const QByteArray bytes = ReadBytes(path);
  qsizetype at = 4;
  for (bool last = false; !last;) {
    last = (uchar(bytes[at]) & 0x80) != 0;
    at += 4 + ((uchar(bytes[at + 1]) << 16) | (uchar(bytes[at + 2]) << 8) | uchar(bytes[at + 3]));
  }
  QByteArray out = bytes.left(4 + 4 + 34);
  out[4] = 0;  // STREAMINFO, no longer the last block
  for (size_t i = 0; i < blocks.size(); ++i) {
    const bool final = i + 1 == blocks.size();
    out += char(blocks[i].first | (final ? 0x80 : 0)) + BigEndian(blocks[i].second.size(), 3);
    out += blocks[i].second;
  }
  WriteText(path, out + bytes.mid(at));
}

QByteArray VorbisComment(const std::vector<std::string>& fields) {
  QByteArray block = LittleEndian(4) + "gogo" + LittleEndian(quint32(fields.size()));
  for (const std::string& field : fields) block += LittleEndian(field.size()) + field.c_str();
  return block;
}

QByteArray PictureBlock(int type, const QByteArray& mime, const QByteArray& data) {
  return BigEndian(type, 4) + BigEndian(mime.size(), 4) + mime + BigEndian(5, 4) + "Cover" +
         QByteArray(16, 0) + BigEndian(data.size(), 4) + data;
}

const QByteArray kPng = QByteArray("\x89PNG\r\n\x1A\n", 8) + "png bytes" + QByteArray(20, 'p');
const QByteArray kJpeg = QByteArray("\xFF\xD8\xFF\xE0", 4) + "jpeg bytes" + QByteArray(3, 0);

std::string PictureFrame(const QByteArray& mime, const QByteArray& data) {
  return (mime + ' ' + data).toStdString();
}

using Frames = std::map<std::string, std::string>;

struct SourceCase {
  const char* name;
  std::function<void(const QString&)> make;
  Frames arrives;
};

// Every kind of input that carries tags, on one thread and on several: every field arrives in
// its frame, and the tag before the audio is the same byte for byte.
TEST_F(GogoTest, TagsAndPicturesOfEveryKindOfInputArriveInTheirFrames) {
  const Tone wave{2, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 4};
  const SourceCase cases[] = {
      // An older writer's INFO texts in Latin-1.
      {"info.wav",
       [&](const QString& p) {
         WriteTone(p, wave,
                   {{SF_STR_TITLE,
                     "Gr\xF6\xDF"
                     "e"},
                    {SF_STR_ARTIST, "Die Band"},
                    {SF_STR_ALBUM, "Album"},
                    {SF_STR_DATE, "1999"},
                    {SF_STR_COMMENT, "Kommentar"},
                    {SF_STR_TRACKNUMBER, "4"},
                    {SF_STR_GENRE, "Jazz"},
                    {SF_STR_COPYRIGHT, "(C) 1999"}});
       },
       {{"TIT2", "Größe"},
        {"TPE1", "Die Band"},
        {"TALB", "Album"},
        {"TYER", "1999"},
        {"COMM", "Kommentar"},
        {"TRCK", "4"},
        {"TCON", "Jazz"},
        {"TCOP", "(C) 1999"}}},
      // A tag editor's ID3v2.4 tag in an "id3 " chunk after the audio, over INFO texts.
      {"id3.wav",
       [&](const QString& p) {
         WriteTone(p, wave, {{SF_STR_TITLE, "Alter Titel"}, {SF_STR_GENRE, "Pop"}});
         AppendChunk(p, "id3 ",
                     Id3Tag(4, {{"TIT2", "\x03Zo\xC3\xAB"},
                                {"TPE1", QByteArray("\x03"
                                                    "A\0B",
                                                    4)},
                                {"TDRC",
                                 "\x03"
                                 "2021-03-04"},
                                {"TPOS", QByteArray("\x00"
                                                    "2/3",
                                                    4)},
                                {"TXXX", QByteArray("\x03REPLAYGAIN_TRACK_GAIN\0-3.20 dB", 31)},
                                {"COMM", QByteArray("\x03"
                                                    "deu\0Notiz",
                                                    10)},
                                {"APIC", QByteArray("\x00image/jpeg\0\x04\0", 14) + kJpeg},
                                {"PRIV", QByteArray("owner\0data", 10)}}));
       },
       {{"TIT2", "Zoë"},
        {"TPE1", "A; B"},
        {"TYER", "2021"},
        {"TPOS", "2/3"},
        {"TXXX:REPLAYGAIN_TRACK_GAIN", "-3.20 dB"},
        {"COMM", "Notiz"},
        {"TCON", "Pop"},
        {"APIC:4", PictureFrame("image/jpeg", kJpeg)},
        {"PRIV", std::string("owner\0data", 10)}}},
      // AIFF's own text chunks; its ID3 chunk wins where both hold a field.
      {"texts.aiff",
       [&](const QString& p) {
         WriteTone(p, {2, 44100, SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 4},
                   {{SF_STR_TITLE, "Name"},
                    {SF_STR_ARTIST, "Autor"},
                    {SF_STR_COPYRIGHT, "(c) Rechte"},
                    {SF_STR_COMMENT, "Anmerkung"}});
         AppendChunk(p, "ID3 ",
                     Id3Tag(3, {{"TPE1", QByteArray("\x00Interpret", 10)},
                                {"TALB", QByteArray("\x01\xFF\xFE\xC4\x00", 5)},
                                {"APIC", QByteArray("\x00image/png\0\x03\0", 13) + kPng}}));
       },
       {{"TIT2", "Name"},
        {"TPE1", "Interpret"},
        {"TALB", "Ä"},
        {"TCOP", "(c) Rechte"},
        {"COMM", "Anmerkung"},
        {"APIC:3", PictureFrame("image/png", kPng)}}},
      {"full.flac",
       [&](const QString& p) {
         WriteTone(p, {2, 44100, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 4});
         SetFlacBlocks(p, {{4, VorbisComment({"TITLE=Zoë – 東京",
                                              "ARTIST=Die Band",
                                              "artist=Gast",
                                              "ALBUM=Album",
                                              "ALBUMARTIST=Verschiedene",
                                              "TRACKNUMBER=3",
                                              "TRACKTOTAL=12",
                                              "DISCNUMBER=1",
                                              "DISCTOTAL=2",
                                              "DATE=2024-05-01",
                                              "GENRE=Klassik",
                                              "COMMENT=Ein Kommentar",
                                              "COMPOSER=Komponistin",
                                              "LYRICIST=Texter",
                                              "COPYRIGHT=(C) 2024",
                                              "ENCODED-BY=Jemand",
                                              "ISRC=DEA123456789",
                                              "REPLAYGAIN_TRACK_GAIN=-6.50 dB",
                                              "REPLAYGAIN_TRACK_PEAK=0.988",
                                              "REPLAYGAIN_ALBUM_GAIN=-7 dB",
                                              "REPLAYGAIN_ALBUM_PEAK=1.0",
                                              "Mood=ruhig"})},
                           {6, PictureBlock(3, "image/png", kPng)},
                           {6, PictureBlock(4, "image/jpg", kJpeg)}});
       },
       {{"TIT2", "Zoë – 東京"},
        {"TPE1", "Die Band; Gast"},
        {"TALB", "Album"},
        {"TPE2", "Verschiedene"},
        {"TRCK", "3/12"},
        {"TPOS", "1/2"},
        {"TYER", "2024"},
        {"TCON", "Klassik"},
        {"COMM", "Ein Kommentar"},
        {"TCOM", "Komponistin"},
        {"TEXT", "Texter"},
        {"TCOP", "(C) 2024"},
        {"TENC", "Jemand"},
        {"TSRC", "DEA123456789"},
        {"TXXX:REPLAYGAIN_TRACK_GAIN", "-6.50 dB"},
        {"TXXX:REPLAYGAIN_TRACK_PEAK", "0.988"},
        {"TXXX:REPLAYGAIN_ALBUM_GAIN", "-7 dB"},
        {"TXXX:REPLAYGAIN_ALBUM_PEAK", "1.0"},
        {"TXXX:MOOD", "ruhig"},
        {"APIC:3", PictureFrame("image/png", kPng)},
        {"APIC:4", PictureFrame("image/jpeg", kJpeg)}}},
      {"comments.ogg",
       [&](const QString& p) {
         WriteTone(p, {2, 44100, SF_FORMAT_OGG | SF_FORMAT_VORBIS, 4},
                   {{SF_STR_TITLE, "Titel"},
                    {SF_STR_ARTIST, "Künstler"},
                    {SF_STR_ALBUM, "Album"},
                    {SF_STR_TRACKNUMBER, "5"},
                    {SF_STR_GENRE, "Rock"},
                    {SF_STR_DATE, "2020"}});
       },
       {{"TIT2", "Titel"},
        {"TPE1", "Künstler"},
        {"TALB", "Album"},
        {"TRCK", "5"},
        {"TCON", "Rock"},
        {"TYER", "2020"},
        {"TSSE", "libsndfile"}}},
      {"comments.opus",
       [&](const QString& p) {
         WriteTone(p, {2, 48000, SF_FORMAT_OGG | SF_FORMAT_OPUS, 4},
                   {{SF_STR_TITLE, "Titel"}, {SF_STR_ALBUM, "Älbum"}, {SF_STR_LICENSE, "CC0"}});
       },
       {{"TIT2", "Titel"}, {"TALB", "Älbum"}, {"TXXX:LICENSE", "CC0"}}},
  };
  for (const SourceCase& c : cases) {
    SCOPED_TRACE(c.name);
    const QString input = Path(QString::fromLatin1(c.name));
    c.make(input);
    QByteArray tags[2];
    for (int threads : {1, 4}) {
      const QString output = Path(QStringLiteral("%1-%2.mp3").arg(c.name).arg(threads));
      const GogoRun run =
          RunGogo({QStringLiteral("-j"), QString::number(threads), input, output}, folder());
      ASSERT_EQ(run.exit_code, 0) << run.error_output.toStdString();
      EXPECT_EQ(run.error_output.count(QStringLiteral("gogo: \"")), 0)
          << run.error_output.toStdString();
      EXPECT_EQ(Id3Frames(output), c.arrives) << "on " << threads << " threads";
      EXPECT_TRUE(HasInfoFrame(output));
      const QByteArray bytes = ReadBytes(output);
      tags[threads == 1 ? 0 : 1] = bytes.left(qsizetype(Id3v2Size(bytes)));
    }
    EXPECT_EQ(tags[0], tags[1]);
  }
}

struct BrokenTagCase {
  const char* name;
  std::function<void(const QString&)> make;
  const char* message;  // part of the line that says what was left out
};

// Broken tags never stop the audio: the broken item is left out, one line says which, and
// what was whole still arrives.
TEST_F(GogoTest, BrokenTagsAreLeftOutWithALineAndTheAudioEncodes) {
  const Tone wave{2, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1.5};
  const Tone flac{2, 44100, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1.5};
  const QByteArray title = QByteArray(
      "\x00"
      "Bleibt",
      7);
  const BrokenTagCase cases[] = {
      {"lying-lengths.flac",
       [&](const QString& p) {
         WriteTone(p, flac);
         QByteArray comment = VorbisComment({"TITLE=Bleibt", "ARTIST=Weg"});
         comment.replace(28, 4, LittleEndian(1u << 30));
         SetFlacBlocks(p, {{4, comment}});
       },
       "Vorbis-Kommentar der Eingabe ist ab dem 2. Feld beschädigt"},
      {"garbage-mime.flac",
       [&](const QString& p) {
         WriteTone(p, flac);
         SetFlacBlocks(
             p, {{4, VorbisComment({"TITLE=Bleibt"})}, {6, PictureBlock(3, "\x01\xFF\x7F", kPng)}});
       },
       "MIME-Typ ist unlesbar"},
      {"no-picture.flac",
       [&](const QString& p) {
         WriteTone(p, flac);
         SetFlacBlocks(p, {{4, VorbisComment({"TITLE=Bleibt"})},
                           {6, PictureBlock(3, "image/png", "GIF89a")}});
       },
       "das Bild \"Titelbild\" ist weder JPEG noch PNG"},
      {"cut-cover.wav",
       [&](const QString& p) {
         WriteTone(p, wave);
         const QByteArray tag =
             Id3Tag(3, {{"TIT2", title}, {"APIC", QByteArray("\x00image/png\0\x03\0", 13) + kPng}});
         AppendChunk(p, "id3 ", tag.left(tag.size() - 10));
       },
       "ab dem Rahmen APIC beschädigt oder abgeschnitten"},
      {"big-cover.wav",
       [&](const QString& p) {
         WriteTone(p, wave);
         AppendChunk(p, "id3 ",
                     Id3Tag(3, {{"TIT2", title},
                                {"APIC", QByteArray("\x00image/jpeg\0\x03\0", 14) + kJpeg +
                                             QByteArray(50 << 20, 0)}}));
       },
       "das Bild \"Titelbild\" ist mit 50 MB größer als die 16 MB"},
      // A tag of 100 MB (its bytes a hole in the file) is not read at all.
      {"huge-tag.wav",
       [&](const QString& p) {
         WriteTone(p, wave, {{SF_STR_TITLE, "Bleibt"}});
         AppendChunk(p, "id3 ", Id3Tag(3, {{"TIT2", "\x00Weg"}}), 100 << 20);
         QFile file(p);
         ASSERT_TRUE(file.resize(file.size() + (100 << 20)));
         ASSERT_TRUE(file.open(QIODevice::ReadWrite) && file.seek(4));
         file.write(LittleEndian(quint32(file.size() - 8)));
       },
       "der Block \"id3 \" der Eingabe ist mit 100 MB größer als 64 MB"},
  };
  for (const BrokenTagCase& c : cases) {
    SCOPED_TRACE(c.name);
    const QString input = Path(QString::fromLatin1(c.name));
    c.make(input);
    const QString output = Path(QStringLiteral("out.mp3"));
    const GogoRun run = RunGogo({input, output}, folder());
    ASSERT_EQ(run.exit_code, 0) << run.error_output.toStdString();
    EXPECT_EQ(run.error_output.count(QStringLiteral("gogo: \"")), 1)
        << run.error_output.toStdString();
    EXPECT_TRUE(run.error_output.contains(QString::fromUtf8(c.message)))
        << run.error_output.toStdString();
    EXPECT_EQ(Id3Frames(output), (Frames{{"TIT2", "Bleibt"}}));
    EXPECT_NEAR(double(DecodedFrames(output)), 1.5 * 44100, kFrameSamples);
    QFile::remove(input);
  }
}

// Writes `size` into the header of a WAVE file as the length of its data chunk.
void SetDataSize(const QString& path, quint32 size) {
  QByteArray bytes = ReadBytes(path);
  const qsizetype at = bytes.indexOf("data") + 4;
  for (int i = 0; i < 4; ++i) bytes[at + i] = char(size >> (8 * i));
  WriteText(path, bytes);
}

struct BadInputCase {
  const char* name;
  std::function<void(const QString&)> make;
  const char* message;  // part of the one line on stderr
};

TEST_F(GogoTest, EveryBadInputFailsWithOneLineAndLeavesNothing) {
  const BadInputCase cases[] = {
      {"missing.wav", [](const QString&) {}, "nicht gefunden"},
      {"folder.wav", [](const QString& p) { QDir().mkpath(p); }, "Ordner"},
      // Opening a pipe without a writer once blocked for good.
      {"pipe.wav", [](const QString& p) { ::mkfifo(QFile::encodeName(p).constData(), 0600); },
       "keine gewöhnliche Datei"},
      // The system's reason comes in German too.
      {"loop.wav", [](const QString& p) { QFile::link(p, p); },
       "zu viele symbolische Verknüpfungen"},
      {"empty.wav", [](const QString& p) { WriteText(p, {}); },
       "keine lesbare Audiodatei (unbekanntes Format)"},
      {"text.wav", [](const QString& p) { WriteText(p, "Dies ist kein Klang.\n"); },
       "keine lesbare Audiodatei"},
      // An info entry longer than any file once held the audio library in a loop for ever.
      {"endless-list.wav",
       [](const QString& p) {
         WriteText(p, QByteArray::fromBase64(
                          "UklGRhIFAABXQVZFZm10IBAAAAABAAEAgLsAAAKAMgAAAxgATElTVDYAAABJTkZPSU5BTQoA"
                          "AABLw7xuc3RsZXIgSUNNVAoAAABLb21tZf////////////f///////83OQ=="));
       },
       "beschädigten Kopf"},
      {"truncated.wav",
       [](const QString& p) {
         WriteTone(p, {});
         WriteText(p, ReadBytes(p).left(30));
       },
       "keine lesbare Audiodatei"},
      // A recorder that crashed leaves the audio after a data chunk that claims less, or none;
      // compressed audio cannot be read on past the claim.
      {"unfinished.wav",
       [](const QString& p) {
         WriteTone(p, {2, 44100, SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM});
         SetDataSize(p, 0);
       },
       "mehr Audiodaten, als ihr Kopf angibt"},
      {"cut-short.wav",
       [](const QString& p) {
         WriteTone(p, {1, 44100, SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM});
         SetDataSize(p, 4 * 4096);
       },
       "mehr Audiodaten, als ihr Kopf angibt"},
      {"no-samples.wav",
       [](const QString& p) {
         WriteTone(p, {2, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0});
       },
       "keine Audiodaten"},
      {"surround.wav",
       [](const QString& p) {
         WriteTone(p, {6, 48000, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0.2});
       },
       "6 Kanäle"},
      // A header that claims 1 Hz once kept gogo resampling for hours.
      {"one-hertz.wav",
       [](const QString& p) {
         WriteTone(p, {1, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 3000});
       },
       "Abtastrate von 1 Hz"},
      {"below-the-lowest-rate.wav",
       [](const QString& p) {
         WriteTone(p, {1, 999, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1.0});
       },
       "Abtastrate von 999 Hz"},
      {"above-the-highest-rate.wav",
       [](const QString& p) {
         WriteTone(p, {1, 768001, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0.1});
       },
       "Abtastrate von 768001 Hz"},
      {"three.wav",
       [](const QString& p) {
         WriteTone(p, {3, 44100, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0.2});
       },
       "3 Kanäle"},
  };
  for (const BadInputCase& c : cases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir case_folder;
    const QString input = case_folder.filePath(QString::fromLatin1(c.name));
    c.make(input);
    const QStringList before = Entries(case_folder.path());
    const QByteArray bytes = ReadBytes(input);
    const GogoRun run = RunGogo({QStringLiteral("-delete"), input}, case_folder.path());
    EXPECT_EQ(run.status, QProcess::NormalExit);
    EXPECT_NE(run.exit_code, 0);
    EXPECT_EQ(run.error_output.count(QLatin1Char('\n')), 1) << run.error_output.toStdString();
    EXPECT_TRUE(run.error_output.contains(QString::fromUtf8(c.message)))
        << run.error_output.toStdString();
    EXPECT_EQ(Entries(case_folder.path()), before);
    EXPECT_EQ(ReadBytes(input), bytes);
  }
}

// Bytes of one sample in a file of `format`.
int SampleBytes(int format) {
  switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_24:
      return 3;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
      return 4;
    default:
      return 2;
  }
}

void PutNumber(QByteArray& bytes, qsizetype at, quint64 value, int count, bool big_endian) {
  for (int i = 0; i < count; ++i) {
    bytes[at + (big_endian ? count - 1 - i : i)] = char(value >> (8 * i));
  }
}

QByteArray Chunk(const char* id, const QByteArray& body, bool pad = true) {
  QByteArray chunk(id, 4);
  chunk.append(4, '\0');
  PutNumber(chunk, 4, quint64(body.size()), 4, false);
  chunk += body;
  if (pad && body.size() % 2 != 0) chunk.append('\0');
  return chunk;
}

QByteArray Riff(const QByteArray& chunks) {
  QByteArray riff = "RIFF" + QByteArray(4, '\0') + "WAVE" + chunks;
  PutNumber(riff, 4, quint64(riff.size() - 8), 4, false);
  return riff;
}

// An ID3v2 tag of `size` bytes in all; version 4 with its footer.
QByteArray Id3v2(int version, int size) {
  const int body = size - 10 - (version == 4 ? 10 : 0);
  QByteArray head = "ID3" + QByteArray(1, char(version)) + QByteArray(1, '\0') +
                    QByteArray(1, char(version == 4 ? 0x10 : 0)) + QByteArray(4, '\0');
  for (int i = 0; i < 4; ++i) head[6 + i] = char((body >> (7 * (3 - i))) & 0x7F);
  QByteArray frame = "TIT2" + QByteArray(4, '\0') + QByteArray(2, '\0') + "\3Titel";
  PutNumber(frame, 4, quint64(frame.size() - 10), 4, true);
  QByteArray tag = head + frame + QByteArray(body - frame.size(), '\0');
  if (version == 4) tag += "3DI" + head.mid(3);
  return tag;
}

// An APEv2 tag with lyrics of 2 KiB, with or without its header.
QByteArray Ape(bool with_header) {
  const QByteArray lyrics(2048, 'l');
  QByteArray item = QByteArray(8, '\0') + "Lyrics" + '\0' + lyrics;
  PutNumber(item, 0, quint64(lyrics.size()), 4, false);
  QByteArray footer = "APETAGEX" + QByteArray(24, '\0');
  PutNumber(footer, 8, 2000, 4, false);
  PutNumber(footer, 12, quint64(item.size() + 32), 4, false);
  PutNumber(footer, 16, 1, 4, false);
  PutNumber(footer, 20, with_header ? 0x80000000u : 0, 4, false);
  QByteArray header = footer;
  PutNumber(header, 20, 0xA0000000u, 4, false);
  return (with_header ? header : QByteArray()) + item + footer;
}

// Makes the header of a file that libsndfile wrote claim `audio_bytes` of audio, the way a
// recorder leaves it when it crashes between two rewrites of its header.
void ClaimAudioBytes(QByteArray& bytes, quint64 audio_bytes, int frame_bytes) {
  if (bytes.startsWith("FORM")) {
    PutNumber(bytes, bytes.indexOf("SSND") + 4, audio_bytes + 8, 4, true);
    PutNumber(bytes, bytes.indexOf("COMM") + 10, audio_bytes / frame_bytes, 4, true);
  } else if (bytes.startsWith("riff")) {
    PutNumber(bytes, bytes.indexOf("data") + 16, audio_bytes + 24, 8, false);
  } else if (bytes.startsWith("caff")) {
    PutNumber(bytes, bytes.indexOf("data") + 4, audio_bytes + 4, 8, true);
  } else if (bytes.startsWith("RF64")) {
    const qsizetype ds64 = bytes.indexOf("ds64") + 8;
    PutNumber(bytes, ds64 + 8, audio_bytes, 8, false);
    PutNumber(bytes, ds64 + 16, audio_bytes / frame_bytes, 8, false);
  } else {
    PutNumber(bytes, bytes.indexOf("data") + 4, audio_bytes, 4, false);
  }
}

struct ClaimCase {
  const char* name;
  Tone tone;
};

// Whatever part of its audio the header claims, nothing is lost: every sample the file holds
// is in the MP3, and a file whose header claims less stays, even with -delete.
TEST_F(GogoTest, AHeaderThatClaimsPartOfTheAudioLosesNoSample) {
  const ClaimCase cases[] = {
      {"mono16.wav", {1, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1.5}},
      {"stereo16.wav", {2, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1.5}},
      {"mono24.wav", {1, 48000, SF_FORMAT_WAV | SF_FORMAT_PCM_24, 1.5}},
      {"stereo24.wavex", {2, 48000, SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, 1.5}},
      {"float.wav", {2, 44100, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1.5}},
      {"mono_float.wav", {1, 32000, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1.5}},
      {"stereo16.aiff", {2, 44100, SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 1.5}},
      {"mono24.aiff", {1, 44100, SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 1.5}},
      {"float.aifc", {2, 48000, SF_FORMAT_AIFF | SF_FORMAT_FLOAT, 1.5}},
      {"stereo16.rf64", {2, 44100, SF_FORMAT_RF64 | SF_FORMAT_PCM_16, 1.5}},
      {"mono_float.rf64", {1, 48000, SF_FORMAT_RF64 | SF_FORMAT_FLOAT, 1.5}},
      {"stereo16.w64", {2, 44100, SF_FORMAT_W64 | SF_FORMAT_PCM_16, 1.5}},
      {"mono_float.caf", {1, 44100, SF_FORMAT_CAF | SF_FORMAT_FLOAT, 1.5}},
      {"stereo24.caf", {2, 48000, SF_FORMAT_CAF | SF_FORMAT_PCM_24, 1.5}},
  };
  const unsigned seed = std::random_device{}();
  std::mt19937 random(seed);
  for (const ClaimCase& c : cases) {
    const QString written = Path(QString::fromLatin1(c.name));
    WriteTone(written, c.tone);
    // Tags appended after the audio must not pass for more of it.
    const QByteArray original = ReadBytes(written) + Id3v2(3, 2048) + "TAG" + QByteArray(125, ' ');
    const int frame_bytes = c.tone.channels * SampleBytes(c.tone.format);
    const quint64 frames = quint64(c.tone.seconds * c.tone.sample_rate);
    const quint64 audio = frames * frame_bytes;
    const quint64 claims[] = {
        0,
        quint64(frame_bytes),
        std::uniform_int_distribution<quint64>(1, frames - 1)(random) * frame_bytes,
        std::uniform_int_distribution<quint64>(1, audio - 1)(random),
        audio - 1,
        audio};
    for (const quint64 claim : claims) {
      SCOPED_TRACE(std::string(c.name) + " claiming " + std::to_string(claim) + " of " +
                   std::to_string(audio) + " bytes (seed " + std::to_string(seed) + ")");
      QByteArray bytes = original;
      ClaimAudioBytes(bytes, claim, frame_bytes);
      const QString input = Path(QStringLiteral("take") + QString::fromLatin1(c.name));
      WriteText(input, bytes);
      const GogoRun run = RunGogo({QStringLiteral("-delete"), input}, folder());
      EXPECT_EQ(DecodedFrames(Path(QStringLiteral("take") + QFileInfo(written).baseName() +
                                   QStringLiteral(".mp3"))),
                sf_count_t(frames));
      if (claim == audio) {
        EXPECT_EQ(run.exit_code, 0) << run.error_output.toStdString();
        EXPECT_FALSE(QFileInfo::exists(input));
      } else {
        EXPECT_EQ(run.exit_code, 1);
        EXPECT_TRUE(
            run.error_output.contains(QStringLiteral("mehr Audiodaten, als ihr Kopf angibt")))
            << run.error_output.toStdString();
        EXPECT_EQ(ReadBytes(input), bytes);
      }
    }
  }
}

struct GoodFileCase {
  const char* name;
  // From the "fmt " chunk's body and the samples.
  std::function<QByteArray(const QByteArray& format, const QByteArray& samples)> make;
};

// Files as tag editors, recorders and converters leave them: every byte is something the walk
// knows, so each is encoded whole and deleted.
TEST_F(GogoTest, GoodFilesOfEveryWriterAreEncodedWholeAndDeleted) {
  const QByteArray info = Chunk("LIST", "INFO" + Chunk("INAM", "Titel") + Chunk("IART", "Ich"));
  const QByteArray odd_info =
      Chunk("LIST", "INFO" + Chunk("INAM", "Titel", false) + Chunk("IART", "Ich", false), false);
  const QByteArray metadata = info + Chunk("bext", QByteArray(602, 'b')) +
                              Chunk("iXML", "<BWFXML/>") + Chunk("cue ", QByteArray(4, '\0'));
  const GoodFileCase cases[] = {
      {"id3v2.3",
       [](auto f, auto s) { return Riff(Chunk("fmt ", f) + Chunk("data", s)) + Id3v2(3, 2048); }},
      {"id3v2.4",
       [](auto f, auto s) { return Riff(Chunk("fmt ", f) + Chunk("data", s)) + Id3v2(4, 2048); }},
      {"ape",
       [](auto f, auto s) { return Riff(Chunk("fmt ", f) + Chunk("data", s)) + Ape(false); }},
      {"ape with header",
       [](auto f, auto s) { return Riff(Chunk("fmt ", f) + Chunk("data", s)) + Ape(true); }},
      {"id3v1",
       [](auto f, auto s) {
         return Riff(Chunk("fmt ", f) + Chunk("data", s)) + "TAG" + QByteArray(125, ' ');
       }},
      {"ape and id3v1",
       [](auto f, auto s) {
         return Riff(Chunk("fmt ", f) + Chunk("data", s)) + Ape(true) + "TAG" +
                QByteArray(125, ' ');
       }},
      {"zeros",
       [](auto f, auto s) {
         return Riff(Chunk("fmt ", f) + Chunk("data", s)) + QByteArray(3000, '\0');
       }},
      {"odd info without pad",
       [&](auto f, auto s) { return Riff(Chunk("fmt ", f) + odd_info + Chunk("data", s)); }},
      {"metadata after the audio",
       [&](auto f, auto s) { return Riff(Chunk("fmt ", f) + Chunk("data", s) + metadata); }},
      {"odd last chunk without pad",
       [&](auto f, auto s) {
         return Riff(Chunk("fmt ", f) + Chunk("data", s) + Chunk("iXML", "<BWF/>x", false));
       }},
      {"id3 chunk",
       [](auto f, auto s) {
         return Riff(Chunk("fmt ", f) + Chunk("data", s) + Chunk("id3 ", Id3v2(3, 1025)));
       }},
      // A converter's own note before the audio, and one that streams with the sizes unknown.
      {"converter",
       [](auto f, auto s) {
         return Riff(Chunk("fmt ", f) + Chunk("LIST", "INFO" + Chunk("ISFT", "Lavf59.27.100")) +
                     Chunk("data", s));
       }},
      {"streamed",
       [](auto f, auto s) {
         QByteArray riff = Riff(Chunk("fmt ", f) + Chunk("data", s));
         PutNumber(riff, 4, 0xFFFFFFFF, 4, false);
         PutNumber(riff, riff.indexOf("data") + 4, 0xFFFFFFFF, 4, false);
         return riff;
       }},
  };
  const QString written = Path(QStringLiteral("tone.wav"));
  const Tone tone{2, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1.5};
  WriteTone(written, tone);
  const QByteArray plain = ReadBytes(written);
  ASSERT_EQ(plain.indexOf("data"), 36);
  const sf_count_t frames = sf_count_t(tone.seconds * tone.sample_rate);
  for (const GoodFileCase& c : cases) {
    SCOPED_TRACE(c.name);
    const QString input = Path(QStringLiteral("good.wav"));
    WriteText(input, c.make(plain.mid(20, 16), plain.mid(44)));
    const GogoRun run = RunGogo({QStringLiteral("-delete"), input}, folder());
    EXPECT_EQ(run.exit_code, 0) << run.error_output.toStdString();
    EXPECT_FALSE(QFileInfo::exists(input));
    EXPECT_EQ(DecodedFrames(Path(QStringLiteral("good.mp3"))), frames);
  }
  // Files that the audio library itself writes, with their tags where it puts them.
  for (const int format : {SF_FORMAT_WAV | SF_FORMAT_FLOAT, SF_FORMAT_WAVEX | SF_FORMAT_PCM_24,
                           SF_FORMAT_AIFF | SF_FORMAT_PCM_16, SF_FORMAT_AIFF | SF_FORMAT_FLOAT,
                           SF_FORMAT_RF64 | SF_FORMAT_PCM_16, SF_FORMAT_W64 | SF_FORMAT_PCM_24,
                           SF_FORMAT_CAF | SF_FORMAT_PCM_16}) {
    SCOPED_TRACE(format);
    const QString input = Path(QStringLiteral("library.snd"));
    WriteTone(input, {2, 44100, format, 1.5}, {{SF_STR_TITLE, "Titel"}, {SF_STR_ARTIST, "Ich"}});
    const GogoRun run = RunGogo({QStringLiteral("-delete"), input}, folder());
    EXPECT_EQ(run.exit_code, 0) << run.error_output.toStdString();
    EXPECT_FALSE(QFileInfo::exists(input));
    EXPECT_EQ(DecodedFrames(Path(QStringLiteral("library.mp3"))), frames);
  }
}

TEST_F(GogoTest, AnOutputThatNamesTheInputIsRefused) {
  const QString input = Path(QStringLiteral("self.wav"));
  WriteTone(input, {});
  const QByteArray bytes = ReadBytes(input);
  ASSERT_TRUE(QFile::link(input, Path(QStringLiteral("link.mp3"))));
  // A file libsndfile reads and named .mp3 already: its default output is itself.
  ASSERT_EQ(RunGogo({input, Path(QStringLiteral("song.mp3"))}, folder()).exit_code, 0);
  const QByteArray song = ReadBytes(Path(QStringLiteral("song.mp3")));
  const QStringList cases[] = {
      {QStringLiteral("-delete"), input, input},
      {QStringLiteral("-delete"), input, QStringLiteral("self.wav")},
      {QStringLiteral("-delete"), input, Path(QStringLiteral("link.mp3"))},
      {QStringLiteral("-delete"), Path(QStringLiteral("song.mp3"))},
  };
  for (const QStringList& arguments : cases) {
    SCOPED_TRACE(arguments.join(QLatin1Char(' ')).toStdString());
    const GogoRun run = RunGogo(arguments, folder());
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_TRUE(run.error_output.contains(QStringLiteral("Eingabe selbst")))
        << run.error_output.toStdString();
  }
  EXPECT_EQ(ReadBytes(input), bytes);
  EXPECT_EQ(ReadBytes(Path(QStringLiteral("song.mp3"))), song);
  EXPECT_EQ(Entries(folder()).size(), 3);
}

TEST_F(GogoTest, UsageErrorsExitWithTwoAndWriteNothing) {
  WriteTone(Path(QStringLiteral("ok.wav")), {});
  const QStringList cases[] = {
      {},
      {QStringLiteral("-b"), QStringLiteral("100"), QStringLiteral("ok.wav")},
      {QStringLiteral("-b"), QStringLiteral("ok.wav")},
      {QStringLiteral("-m"), QStringLiteral("x"), QStringLiteral("ok.wav")},
      {QStringLiteral("-q"), QStringLiteral("10"), QStringLiteral("ok.wav")},
      {QStringLiteral("-x"), QStringLiteral("ok.wav")},
      {QStringLiteral("-o")},
      {QStringLiteral("ok.wav"), QStringLiteral("a.mp3"), QStringLiteral("b.mp3")},
      {QStringLiteral("ok.wav"), QStringLiteral("-b"), QStringLiteral("128")},
  };
  for (const QStringList& arguments : cases) {
    SCOPED_TRACE(arguments.join(QLatin1Char(' ')).toStdString());
    const GogoRun run = RunGogo(arguments, folder());
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(run.error_output.count(QLatin1Char('\n')), 1) << run.error_output.toStdString();
    EXPECT_EQ(Entries(folder()), QStringList{QStringLiteral("ok.wav")});
  }
}

class GogoStopTest : public GogoTest, public ::testing::WithParamInterface<int> {};

TEST_P(GogoStopTest, ASignalInMidEncodeLeavesNoFileBehind) {
  const QString input = Path(QStringLiteral("long.wav"));
  WriteTone(input, {1, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 600}, {}, true);
  const QByteArray size_before = QByteArray::number(QFileInfo(input).size());
  QProcess process;
  process.start(GogoPath(), {QStringLiteral("-delete"), input});
  ASSERT_TRUE(process.waitForStarted());
  QByteArray errors;
  ASSERT_TRUE(WaitForFirstPercent(process, errors));
  ASSERT_EQ(process.state(), QProcess::Running);
  ::kill(pid_t(process.processId()), GetParam());
  ASSERT_TRUE(process.waitForFinished(20000));
  EXPECT_EQ(process.exitStatus(), QProcess::CrashExit);
  EXPECT_EQ(Entries(folder()), QStringList{QStringLiteral("long.wav")});
  EXPECT_EQ(QByteArray::number(QFileInfo(input).size()), size_before);
}

INSTANTIATE_TEST_SUITE_P(KillTermAndInterrupt, GogoStopTest,
                         ::testing::Values(SIGKILL, SIGTERM, SIGINT));

TEST_F(GogoTest, HelpPrintsTheUsageAndSucceeds) {
  QProcess process;
  process.start(GogoPath(), {QStringLiteral("-h")});
  ASSERT_TRUE(process.waitForFinished());
  EXPECT_EQ(process.exitCode(), 0);
  const QString usage = QString::fromUtf8(process.readAllStandardOutput());
  for (const char* option :
       {"-b N", "-V N", "-m m|s|j", "-q N", "-nopsy", "-j N", "-delete", "-o ORDNER"}) {
    EXPECT_TRUE(usage.contains(QString::fromLatin1(option))) << option;
  }
}

// --- One file on several threads: chunks encoded apart and joined into one stream.

// On six threads, for inputs this short, a chunk is 64 blocks of 1152 samples; an input of
// fewer than two chunks is not split, and a chunk takes the rest of the input when fewer than
// 20 blocks would follow it.
constexpr sf_count_t kChunkSamples = 64 * kFrameSamples;
constexpr sf_count_t kTakesTheRest = 20 * kFrameSamples;

uint16_t InfoCrc(const QByteArray& bytes) {
  uint16_t crc = 0;
  for (char byte : bytes) {
    crc ^= uchar(byte);
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  return crc;
}

uint32_t BigEndian(const QByteArray& bytes, qsizetype at, int count) {
  uint32_t value = 0;
  for (int i = 0; i < count; ++i) value = (value << 8) | uchar(bytes[at + i]);
  return value;
}

// Reads bits of a frame from the most significant one on.
struct Bits {
  const QByteArray& bytes;
  int bit;
  int Read(int count) {
    int value = 0;
    for (int i = 0; i < count; ++i, ++bit)
      value = (value << 1) | ((uchar(bytes[bit / 8]) >> (7 - bit % 8)) & 1);
    return value;
  }
};

struct StreamExpectation {
  int bitrate;  // for a variable bitrate: the lowest
  int sample_rate;
  int mode;
  int most_other_bitrates;  // one per join at most
  bool variable = false;    // told by a "Xing" frame rather than an "Info" frame
};

// Walks every frame: the rate and mode asked for, the bitrate asked for but where chunks are
// joined, main data never reaching back past what the frames before left free, and an info
// frame (where there is one) that tells this very stream's frames, bytes, seek table and CRCs.
void ExpectSoundStream(const QString& path, const StreamExpectation& expected) {
  const QByteArray bytes = ReadBytes(path);
  const qsizetype start = qsizetype(Id3v2Size(bytes));
  QByteArray info;
  int frames = 0;
  int other_bitrates = 0;
  int free = 0;                   // main data bytes the next frame may reach back into
  std::vector<qsizetype> starts;  // of the audio frames, from the first one
  std::vector<int> sizes;
  for (qsizetype at = start; at < bytes.size();) {
    const std::optional<FrameHeader> header = ParseHeader(bytes, at);
    ASSERT_TRUE(header.has_value()) << "no frame at byte " << at;
    ASSERT_LE(at + header->size, bytes.size());
    const QByteArray frame = bytes.mid(at, header->size);
    at += header->size;
    const bool mono = header->mode == 3;
    const int side = header->mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    const int head = 4 + (header->crc ? 2 : 0) + side;
    if (frames == 0 && info.isEmpty() &&
        (frame.mid(head, 4) == "Info" || frame.mid(head, 4) == "Xing")) {
      info = frame;
      continue;
    }
    EXPECT_EQ(header->sample_rate, expected.sample_rate);
    EXPECT_EQ(header->mode, expected.mode);
    if (expected.variable ? header->bitrate < expected.bitrate
                          : header->bitrate != expected.bitrate)
      ++other_bitrates;
    starts.push_back(at - header->size - start - info.size());
    sizes.push_back(header->size);
    Bits bits{frame, 8 * (head - side)};
    const int reach_back = bits.Read(header->mpeg1 ? 9 : 8);
    bits.bit += header->mpeg1 ? (mono ? 5 : 3) + 4 * (mono ? 1 : 2) : (mono ? 1 : 2);
    int data_bits = 0;
    for (int i = 0; i < (header->mpeg1 ? 2 : 1) * (mono ? 1 : 2); ++i) {
      data_bits += bits.Read(12);
      bits.bit += header->mpeg1 ? 47 : 51;
    }
    EXPECT_LE(reach_back, free) << "frame " << frames;
    free =
        std::min(header->mpeg1 ? 511 : 255, reach_back + header->size - head - (data_bits + 7) / 8);
    ASSERT_GE(free, 0) << "frame " << frames << " overruns its area";
    ++frames;
  }
  EXPECT_LE(other_bitrates, expected.most_other_bitrates);
  if (info.isEmpty()) return;
  const qsizetype tag = info.indexOf("Info") >= 0 ? info.indexOf("Info") : info.indexOf("Xing");
  EXPECT_EQ(info.mid(tag, 4), expected.variable ? "Xing" : "Info");
  ASSERT_EQ(BigEndian(info, tag + 4, 4), 0x0Fu);  // frames, bytes, seek table, quality
  EXPECT_EQ(BigEndian(info, tag + 8, 4), uint32_t(frames));
  EXPECT_EQ(BigEndian(info, tag + 12, 4), uint32_t(bytes.size() - start));
  // A player seeking to i percent goes entry i 256ths of the byte count past the info frame:
  // the frame at i percent must start there, give or take a 256th, twice its size and the info
  // frame (whether the table counts the info frame among its bytes, players and encoders differ).
  const double stream_bytes = double(bytes.size() - start);
  for (int i = 0; i < 100; ++i) {
    EXPECT_NEAR(uchar(info[tag + 16 + i]) * stream_bytes / 256, double(starts[frames * i / 100]),
                stream_bytes / 256 + 2 * sizes[frames * i / 100] + info.size())
        << "seek table entry " << i;
  }
  const qsizetype lame = tag + 120;
  EXPECT_EQ(BigEndian(info, lame + 28, 4), uint32_t(bytes.size() - start));
  EXPECT_EQ(BigEndian(info, lame + 32, 2), InfoCrc(bytes.mid(start + info.size())));
  EXPECT_EQ(BigEndian(info, lame + 34, 2), InfoCrc(info.left(lame + 34)));
}

struct ThreadCase {
  int channels;
  int sample_rate;
  int bitrate;
  sf_count_t frames;
  int stream_rate;  // 0: the input's
  bool exact;       // false where the frame is too small to hold the info frame
  int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;  // FLAC is read one chunk after another
  bool spoiled = false;                           // holds samples a broken export leaves
  const char* quality = nullptr;                  // -V; the bitrate, if any, the lowest
};

// Puts what broken exports leave into a float file, one kind in each chunk: a stretch of NaNs,
// of infinities of either sign and of absurdly loud samples. The encoder library aborts on
// each of them.
void SpoilSamples(const QString& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_RDWR, &info);
  ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
  const float kinds[] = {NAN, INFINITY, -INFINITY, 1e20f};
  std::vector<float> stretch(size_t(2000 * info.channels));
  for (int k = 0; k < 4; ++k) {
    for (size_t i = 0; i < stretch.size(); ++i) stretch[i] = (i / 7 % 2 != 0 ? 1 : -1) * kinds[k];
    ASSERT_EQ(sf_seek(file, k * kChunkSamples + 1000, SEEK_SET), k * kChunkSamples + 1000);
    ASSERT_EQ(sf_writef_float(file, stretch.data(), 2000), 2000);
  }
  sf_close(file);
}

// The stretches of NaNs and infinities decode to silence, not to a click: away from their
// edges, where the tone around them spreads in, nothing is heard.
void ExpectSilenceWhereSamplesWereNoNumbers(const QString& path, int channels) {
  const std::vector<float> decoded = ReadSamples(path);
  for (int k = 0; k < 3; ++k) {
    const size_t from = size_t(k * kChunkSamples + 1000 + 700) * channels;
    const size_t to = size_t(k * kChunkSamples + 1000 + 1300) * channels;
    ASSERT_LE(to, decoded.size());
    float loudest = 0;
    for (size_t i = from; i < to; ++i) loudest = std::max(loudest, std::abs(decoded[i]));
    EXPECT_LT(loudest, 0.05f) << "stretch " << k << " of " << path.toStdString();
  }
}

TEST_F(GogoTest, ThreadedEncodingDecodesToTheInputLengthAndWalksClean) {
  const ThreadCase cases[] = {
      {2, 44100, 128, 2 * kChunkSamples - 1, 0, true},
      {2, 44100, 128, 2 * kChunkSamples, 0, true},
      {2, 44100, 128, 2 * kChunkSamples + 1, 0, true},
      {2, 44100, 128, 2 * kChunkSamples + kTakesTheRest - 1, 0, true},
      {2, 44100, 128, 2 * kChunkSamples + kTakesTheRest, 0, true},
      {1, 44100, 128, 3 * kChunkSamples + kTakesTheRest + 1, 0, true},
      {2, 44100, 320, 5 * kChunkSamples + 77, 0, true},
      {1, 44100, 32, 3 * kChunkSamples + 577, 22050, false},
      {2, 48000, 320, 4 * kChunkSamples + 1151, 0, true},
      {1, 48000, 32, 3 * kChunkSamples + 1153, 22050, false},
      {2, 32000, 32, 3 * kChunkSamples + 5, 16000, false},
      {1, 32000, 320, 3 * kChunkSamples + 575, 0, true},
      {1, 22050, 32, 3 * kChunkSamples + 576, 0, false},
      {2, 22050, 160, 3 * kChunkSamples + 1000, 0, true},
      {2, 22050, 320, 3 * kChunkSamples + 3, 44100, true},
      {2, 44100, 128, 2 * kChunkSamples + kTakesTheRest, 0, true,
       SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
      {1, 48000, 320, 3 * kChunkSamples + 1, 0, true, SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
      {2, 44100, 128, 4 * kChunkSamples + 100, 0, true, SF_FORMAT_WAV | SF_FORMAT_FLOAT, true},
      {2, 44100, 0, 3 * kChunkSamples + 211, 0, true, SF_FORMAT_WAV | SF_FORMAT_PCM_16, false, "2"},
      {1, 48000, 0, 4 * kChunkSamples + 1, 0, true, SF_FORMAT_WAV | SF_FORMAT_PCM_16, false, "2"},
      {1, 44100, 0, 3 * kChunkSamples + 1000, 0, true, SF_FORMAT_WAV | SF_FORMAT_PCM_16, false,
       "0"},
      {2, 48000, 0, 3 * kChunkSamples + 5, 0, true, SF_FORMAT_WAV | SF_FORMAT_PCM_16, false, "0"},
      // The lowest quality resamples to 22.05 kHz; from 48 kHz it stays on one thread.
      {2, 44100, 96, 3 * kChunkSamples + 2, 22050, true, SF_FORMAT_WAV | SF_FORMAT_PCM_16, false,
       "9"},
      {1, 48000, 0, 3 * kChunkSamples + 960, 22050, false, SF_FORMAT_WAV | SF_FORMAT_PCM_16, false,
       "9"},
  };
  for (const ThreadCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.channels) + " channels, " + std::to_string(c.sample_rate) +
                 " Hz, " + (c.quality ? "-V " + std::string(c.quality) + ", " : "") +
                 std::to_string(c.bitrate) + " kbit/s, " + std::to_string(c.frames) + " frames");
    const QString input = Path(QStringLiteral("in.wav"));
    const Tone tone{c.channels, c.sample_rate, c.format,
                    double(c.frames) / c.sample_rate + 0.1 / c.sample_rate};
    WriteTone(input, tone);
    if (c.spoiled) SpoilSamples(input);
    sf_count_t decoded[2] = {};
    for (int threads : {1, 6}) {
      const QString output = Path(QStringLiteral("j%1.mp3").arg(threads));
      QStringList rate;
      if (c.quality != nullptr) rate << QStringLiteral("-V") << QString::fromLatin1(c.quality);
      if (c.bitrate != 0) rate << QStringLiteral("-b") << QString::number(c.bitrate);
      const GogoRun run = RunGogo(QStringList{QStringLiteral("-j"), QString::number(threads)} +
                                      rate + QStringList{input, output},
                                  folder());
      ASSERT_EQ(run.exit_code, 0) << run.error_output.toStdString();
      decoded[threads / 6] = DecodedFrames(output);
      if (c.spoiled) ExpectSilenceWhereSamplesWereNoNumbers(output, c.channels);
      const int stream_rate = c.stream_rate != 0 ? c.stream_rate : c.sample_rate;
      ExpectSoundStream(output, {c.bitrate, stream_rate, c.channels == 1 ? 3 : 1,
                                 int(c.frames / kChunkSamples), c.quality != nullptr});
    }
    if (c.exact) {
      EXPECT_EQ(decoded[1],
                c.frames * (c.stream_rate != 0 ? c.stream_rate : c.sample_rate) / c.sample_rate);
    }
    EXPECT_EQ(decoded[1], decoded[0]);
  }
}

// Chords that change every half second, each struck and decaying, over a little noise: the
// kind of work music gives the encoder, with attacks for the psychoacoustic model.
void WriteMusic(const QString& path, int channels, double seconds) {
  constexpr int kRate = 44100;
  SF_INFO info{};
  info.channels = channels;
  info.samplerate = kRate;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr);
  const int total = int(seconds * kRate);
  std::vector<float> samples(size_t(total) * channels);
  uint32_t noise = 7;
  for (int i = 0; i < total; ++i) {
    const double root = 110.0 * (1 + (i / (kRate / 2)) % 5 * 0.25);
    const double t = double(i) / kRate;
    const double envelope = std::exp(-4.0 * double(i % (kRate / 2)) / kRate);
    for (int c = 0; c < channels; ++c) {
      double value = 0;
      for (int harmonic = 1; harmonic <= 6; ++harmonic)
        value += std::sin(2 * M_PI * root * (1 + 0.5 * c) * harmonic * t + c) / harmonic;
      noise = noise * 1664525u + 1013904223u;
      samples[size_t(i) * channels + c] =
          float(0.3 * envelope * value + 0.02 * (double(noise >> 8) / (1 << 24) - 0.5));
    }
  }
  ASSERT_EQ(sf_writef_float(file, samples.data(), total), total);
  sf_close(file);
}

double SignalToError(const std::vector<float>& input, const std::vector<float>& decoded,
                     size_t from, size_t to) {
  double signal = 1e-12;
  double error = 1e-12;
  for (size_t i = from; i < to; ++i) {
    signal += double(input[i]) * input[i];
    error += (double(input[i]) - decoded[i]) * (double(input[i]) - decoded[i]);
  }
  return 10 * std::log10(signal / error);
}

TEST_F(GogoTest, JoinedChunksSoundAsGoodAsOneThreadWindowByWindow) {
  for (const int channels : {1, 2}) {
    for (const QStringList& rate : {QStringList{QStringLiteral("-b"), QStringLiteral("128")},
                                    QStringList{QStringLiteral("-b"), QStringLiteral("320")},
                                    QStringList{QStringLiteral("-V"), QStringLiteral("2")}}) {
      SCOPED_TRACE(std::to_string(channels) + " channels at " +
                   rate.join(QLatin1Char(' ')).toStdString());
      const QString input = Path(QStringLiteral("music.wav"));
      WriteMusic(input, channels, 8.0);
      const std::vector<float> original = ReadSamples(input);
      std::vector<float> decoded[2];
      for (int threads : {1, 6}) {
        const QString output = Path(QStringLiteral("j%1.mp3").arg(threads));
        ASSERT_EQ(RunGogo(QStringList{QStringLiteral("-j"), QString::number(threads)} + rate +
                              QStringList{input, output},
                          folder())
                      .exit_code,
                  0);
        decoded[threads / 6] = ReadSamples(output);
        ASSERT_EQ(decoded[threads / 6].size(), original.size());
      }
      const size_t window = 441 * size_t(channels);  // 10 ms
      for (size_t from = 0; from + window <= original.size(); from += window) {
        EXPECT_GE(SignalToError(original, decoded[1], from, from + window),
                  SignalToError(original, decoded[0], from, from + window) - 6.0)
            << "window at " << from / channels << " samples";
      }
      EXPECT_NEAR(SignalToError(original, decoded[1], 0, original.size()),
                  SignalToError(original, decoded[0], 0, original.size()), 0.5);
    }
  }
}

}  // namespace
