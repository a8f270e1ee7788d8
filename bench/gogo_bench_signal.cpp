// Writes the benchmark input: a stereo 16-bit WAVE at 44.1 kHz whose two channels carry
// different chords that change every half second over a little noise, so the encoder has the
// kind of work music gives it rather than a single steady tone.
#include <sndfile.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: gogo_bench_signal OUTPUT.wav SECONDS\n");
    return 2;
  }
  constexpr int kRate = 44100;
  const long frames = std::atol(argv[2]) * kRate;
  SF_INFO info{};
  info.samplerate = kRate;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open(argv[1], SFM_WRITE, &info);
  if (file == nullptr) {
    std::fprintf(stderr, "%s: %s\n", argv[1], sf_strerror(nullptr));
    return 1;
  }
  constexpr std::array<double, 8> kRoots = {110, 146.8, 164.8, 196, 220, 261.6, 293.7, 329.6};
  std::mt19937 random(7);
  std::normal_distribution<double> noise(0.0, 0.02);
  std::vector<float> block(2 * kRate / 2);
  for (long start = 0; start < frames; start += kRate / 2) {
    const double root = kRoots[(start / (kRate / 2)) % kRoots.size()];
    for (long i = 0; i < kRate / 2; ++i) {
      const double t = double(start + i) / kRate;
      const double envelope = std::exp(-3.0 * double(i) / kRate);
      double left = 0;
      double right = 0;
      for (int harmonic = 1; harmonic <= 6; ++harmonic) {
        left += std::sin(2 * M_PI * root * harmonic * t) / harmonic;
        right += std::sin(2 * M_PI * root * 1.5 * harmonic * t + harmonic) / harmonic;
      }
      block[2 * i] = float(0.3 * envelope * left + noise(random));
      block[2 * i + 1] = float(0.3 * envelope * right + noise(random));
    }
    sf_writef_float(file, block.data(), std::min<long>(kRate / 2, frames - start));
  }
  sf_close(file);
  return 0;
}
