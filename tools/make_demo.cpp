// Writes a few short WAVE files and a list file of them, so Zavrik has something to encode:
//   zavrik_make_demo OUTPUT_FOLDER      (prints the list file's path)
#include <sndfile.h>

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

#include "files/list_file.h"

namespace {
constexpr int kSampleRate = 44100;
constexpr int kChannels = 2;
constexpr double kSeconds = 2.0;

// A soft stereo tone: `frequency` on the left, a fifth above on the right.
bool WriteTone(const QString& path, double frequency) {
  SF_INFO info{};
  info.samplerate = kSampleRate;
  info.channels = kChannels;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
  if (file == nullptr) return false;
  const auto frames = static_cast<sf_count_t>(kSampleRate * kSeconds);
  std::vector<short> samples(static_cast<size_t>(frames) * kChannels);
  for (sf_count_t frame = 0; frame < frames; ++frame) {
    const double t = double(frame) / kSampleRate;
    const double fade = std::min(1.0, std::min(t, kSeconds - t) * 20.0);
    const double left = std::sin(2 * std::numbers::pi * frequency * t);
    const double right = std::sin(2 * std::numbers::pi * frequency * 1.5 * t);
    samples[size_t(frame) * 2] = short(left * fade * 8000);
    samples[size_t(frame) * 2 + 1] = short(right * fade * 8000);
  }
  const bool written = sf_writef_short(file, samples.data(), frames) == frames;
  return sf_close(file) == 0 && written;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  const QDir folder(QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath());
  if (!folder.mkpath(QStringLiteral("."))) {
    std::fprintf(stderr, "cannot create %s\n", argv[1]);
    return 1;
  }
  const struct {
    const char* name;
    double frequency;
  } tones[] = {{"Ton A.wav", 440.0}, {"Ton C.wav", 523.25}, {"Ton E.wav", 659.25}};
  QStringList paths;
  for (const auto& tone : tones) {
    const QString path = folder.filePath(QString::fromUtf8(tone.name));
    if (!WriteTone(path, tone.frequency)) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
      return 1;
    }
    paths << path;
  }
  const QString list = folder.filePath(QStringLiteral("Demo.zvk"));
  if (SaveListFile(list, paths) != ListSaveResult::Saved) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(list));
    return 1;
  }
  std::printf("%s\n", qPrintable(list));
  return 0;
}
