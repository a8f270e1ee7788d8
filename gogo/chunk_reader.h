#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio_input.h"
#include "mp3_frames.h"

namespace gogo {

constexpr int kBlockSamples = 1152;
// In blocks: frames before a kept frame that bring the encoder's memory in line; how far the
// join may move before and after the chunk boundary to find a frame that fits the reservoir;
// the psychoacoustic lookahead after the last frame that may be kept.
constexpr int kWarmUp = 8;
constexpr int kJoinBefore = 3;
constexpr int kJoinAfter = 2;
constexpr int kPreRoll = kWarmUp + kJoinBefore;
constexpr int kPostRoll = kJoinAfter + 2;
// A chunk that would leave less than this after its post-roll takes the rest of the input.
constexpr int kLastChunkSlack = 16;

// Set in a chunk's read state once the reader is done with it: the count is final.
constexpr int64_t kReadEnded = int64_t(1) << 62;

template <typename Sample>
struct Chunk {
  int64_t index = 0;
  int64_t first_frame = 0;  // the frame the chunk's encoder starts with, counted in the file
  int64_t start_frame = 0;  // the first frame the chunk stands for
  int64_t end_frame = 0;    // and the one after its last (for the last chunk: unused)
  int64_t lead_in = 0;      // input frames fed before the first one the chunk stands for
  int64_t stands_for = 0;   // input frames the chunk stands for, unless it is the last
  // The reader fills the samples while a thread already encodes them: the read state counts the
  // frames it may take, and gains kReadEnded when no more come (then `last` is set too).
  std::unique_ptr<Sample[]> samples;
  std::atomic<int64_t> read_state = 0;
  bool last = false;

  bool done = false;
  std::vector<Mp3Frame> frames;
  std::vector<unsigned char> placeholder;  // the first chunk's stream starts with it
  std::vector<unsigned char> info_frame;   // the library's info frame after the first chunk
  int padding = 0;
  std::string error;
  bool not_joined = false;  // its frames could not be taken apart
};

// Where the encoder resamples, a chunk must start where an input sample falls on a frame
// boundary of the output: every so many output frames.
int64_t AlignedFrames(int in_rate, int out_rate, int frame_samples);

// Cuts the input into chunks and reads them, never further ahead than the chunks started. A
// chunk is handed to a thread as soon as it is started and filled while that thread encodes
// it. Where the input can seek to any frame, the started chunks are read side by side, a block
// each in turn, so that every thread starts at once; otherwise one after another, each chunk
// taking over the end of the one before.
template <typename Sample>
class ChunkReader {
 public:
  ChunkReader(AudioInput& input, int frame_samples, int out_rate, int chunk_blocks);

  // The next chunk, or nullptr when none may start now: after the last one, or while a chunk
  // is read that may turn out to be the last.
  std::unique_ptr<Chunk<Sample>> Start();
  // Reads every started chunk to its end. False on a read error (then `error` is set).
  bool Fill(std::string* error);

  // True once the last chunk is read.
  bool done() const { return done_; }

 private:
  // A chunk being read, counted in input frames from where its encoder starts.
  struct Filling {
    Chunk<Sample>* chunk;
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
  static void Publish(Chunk<Sample>& chunk, int64_t state);

  AudioInput& input_;
  int channels_;
  int frame_samples_;
  int out_rate_;
  int per_block_;
  int64_t unit_;
  int64_t chunk_frames_;
  int64_t pre_roll_;
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
