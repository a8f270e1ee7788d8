// Writes small, valid audio files of every kind gogo reads, as the fuzzer's starting corpus.
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Seed {
  const char* name;
  int format;
  int channels;
  int sample_rate;
};

void Write(const std::string& folder, const Seed& seed) {
  SF_INFO info{};
  info.format = seed.format;
  info.channels = seed.channels;
  info.samplerate = seed.sample_rate;
  const std::string path = folder + "/" + seed.name;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (file == nullptr) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), sf_strerror(nullptr));
    return;
  }
  sf_set_string(file, SF_STR_TITLE, "Titel");
  sf_set_string(file, SF_STR_ARTIST, "K\xC3\xBCnstler");
  sf_set_string(file, SF_STR_COMMENT, "Kommentar");
  std::vector<float> samples(400 * seed.channels);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = 0.5f * std::sin(0.05f * float(i));
  sf_writef_float(file, samples.data(), 400);
  sf_close(file);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const Seed seeds[] = {
      {"pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100},
      {"pcm24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 1, 48000},
      {"u8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, 8000},
      {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 22050},
      {"extensible.wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_32, 2, 96000},
      {"pcm16.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 2, 44100},
      {"pcm16.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 44100},
      {"ulaw.au", SF_FORMAT_AU | SF_FORMAT_ULAW, 1, 8000},
  };
  for (const Seed& seed : seeds) Write(argv[1], seed);
  return 0;
}
