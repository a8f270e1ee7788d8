#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio_input.h"
#include "chunk_input.h"

namespace gogo {

constexpr int kBlockSamples = 1152;
// A chunk that would leave less than this after its post-roll takes the rest of the input.
constexpr int kLastChunkSlack = 16;

// Where the encoder resamples, a chunk must start where an input sample falls on a frame
// boundary of the output: every so many output frames.
int64_t AlignedFrames(int in_rate, int out_rate, int frame_samples);

// Cuts the input into chunks and reads them, never further ahead than the chunks started. A
// chunk is handed to a thread as soon as it is started and filled while that thread encodes
// it. Each chunk's encoder starts `pre_roll` blocks before the chunk and runs on `post_roll`
// blocks after it. Where the input can seek to any frame, the started chunks are read side by side,
// a block each in turn, so that every thread starts at once; otherwise one after another, each
// chunk taking over the end of the one before.
template <typename Sample>
class ChunkReader {
 public:
  ChunkReader(AudioInput& input, int frame_samples, int out_rate, int chunk_blocks, int pre_roll,
              int post_roll);
  // Abandons the chunks still being read.
  ~ChunkReader() { Abandon(); }
  ChunkReader(const ChunkReader&) = delete;
  ChunkReader& operator=(const ChunkReader&) = delete;

  // The next chunk, or nullptr when none may start now: after the last one, or while a chunk
  // is read that may turn out to be the last.
  std::shared_ptr<ChunkInput<Sample>> Start();
  // Reads every started chunk to its end. False on a read error (then `error` is set).
  bool Fill(std::string* error);
  // Stops reading: the chunks being read end where they are, so no thread waits for them.
  void Abandon();

  // True once the last chunk is read.
  bool done() const { return done_; }

 private:
  // A chunk being read, counted in input frames from where its encoder starts.
  struct Filling {
    std::shared_ptr<ChunkInput<Sample>> chunk;
    int64_t start;     // in the input
    int64_t planned;   // what the chunk takes unless the input ends within its capacity
    int64_t capacity;  // what is read for it
    int64_t filled;
  };

  // True where the input, as long as it says it is, ends within what is read for `filling`.
  bool MayBeLast(const Filling& filling) const;
  int64_t RoundUp(int64_t frames) const;
  // The input frame where `frame` of the output starts; exact on chunk boundaries.
  int64_t InputAt(int64_t frame, bool round_up) const;
  // Reads one block into `filling`; false on a read error.
  bool ReadBlock(Filling& filling, std::string* error);
  void End(Filling& filling, bool at_input_end);

  AudioInput& input_;
  int channels_;
  int frame_samples_;
  int out_rate_;
  int per_block_;
  int64_t unit_;
  int64_t chunk_frames_;
  int64_t pre_roll_;
  int64_t post_roll_;
  bool side_by_side_;
  std::vector<Filling> filling_;
  int64_t position_ = 0;       // of the input, where it can seek
  std::vector<Sample> carry_;  // the end of the last chunk, where the next one starts
  int64_t carry_start_ = 0;
  int64_t next_start_ = 0;
  int64_t index_ = 0;
  bool done_ = false;
};

extern template class ChunkReader<short>;
extern template class ChunkReader<float>;

}  // namespace gogo
