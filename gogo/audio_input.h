#pragma once

#include <sndfile.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "container_walk.h"

namespace gogo {

// The input as libsndfile reads it through its virtual I/O: a descriptor or bytes in memory,
// with the header fields that the container walk corrects laid over them.
struct InputStream {
  std::span<const unsigned char> bytes;  // for an input in memory
  int descriptor = -1;                   // for a file; the caller keeps it open
  int64_t length = 0;
  std::vector<HeaderPatch> patches;
  sf_count_t position = 0;

  // Reads at `offset` as the library sees the input; returns how many bytes it read.
  size_t ReadAt(int64_t offset, std::span<unsigned char> into) const;
};

// An audio file opened for reading through libsndfile: one or two channels, read in blocks of
// interleaved frames, either as 16-bit integers or as floats in [-1, 1]. A file is opened only
// when it holds audio, at a rate the encoder resamples from in reasonable time. Containers of
// chunks are walked first: a header that claims less audio than the file holds (an unfinished
// recording) is read up to the real end of the audio where it holds plain samples, and refused
// otherwise; one that claims more is read as far as the audio goes.
class AudioInput {
 public:
  ~AudioInput();
  AudioInput(const AudioInput&) = delete;
  AudioInput& operator=(const AudioInput&) = delete;

  // Reads from a descriptor the caller keeps open and closes.
  static std::unique_ptr<AudioInput> FromDescriptor(int descriptor, std::string* error);
  // Reads from bytes in memory, which must outlive the input.
  static std::unique_ptr<AudioInput> FromMemory(std::span<const unsigned char> bytes,
                                                std::string* error);

  int channels() const { return info_.channels; }
  int sample_rate() const { return info_.samplerate; }
  // Frames the header announces; not always known (then 0 or less).
  int64_t frames() const { return info_.frames; }
  // True when 16-bit integers would lose resolution (wider PCM, float, compressed formats).
  bool prefers_float() const;
  SNDFILE* handle() const { return file_; }
  // What the walk found: the chunks, where the audio lies, and whether the header claims it all.
  const ContainerWalk& walk() const { return walk_; }
  // Reads the input's own bytes, past the library (its tags); returns how many it read.
  size_t ReadAt(int64_t offset, std::span<unsigned char> into) const {
    return stream_.ReadAt(offset, into);
  }
  int64_t length() const { return stream_.length; }
  // Why the input must stay even once it is encoded whole, in German; empty when it may go.
  // The audio of such a file is read all the same, as far as it really goes.
  std::string KeepReason() const;

  // Each reads up to `frames` frames into `buffer` (channels() values per frame) and returns
  // how many were read: 0 at the end, -1 on a read error. Floats come as numbers the encoder
  // takes: silence for NaN and infinities, and no louder than a thousand times full scale.
  int64_t ReadShorts(short* buffer, int64_t frames);
  int64_t ReadFloats(float* buffer, int64_t frames);
  std::string LastError() const;
  // Goes back to the first frame; false where the input cannot seek.
  bool Rewind();
  // True where any frame can be reached at once by seeking and read exactly as in one pass:
  // plain samples in a file that can seek.
  bool SeeksExactly() const;
  bool SeekTo(int64_t frame);

 private:
  AudioInput() = default;
  static std::unique_ptr<AudioInput> Open(std::unique_ptr<AudioInput> input, std::string* error);
  static std::unique_ptr<AudioInput> Check(std::unique_ptr<AudioInput> input, std::string* error);

  SNDFILE* file_ = nullptr;
  SF_INFO info_{};
  InputStream stream_;
  ContainerWalk walk_;
  bool reads_less_ = false;  // the library reads fewer frames than the walk found
};

}  // namespace gogo
