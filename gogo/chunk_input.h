#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace gogo {

// The samples of one chunk, handed from the reader to the thread that encodes them while the
// reader still fills them.
//
// One rule: the read state is set only on the reading thread, with release, after the samples
// it counts are in place; the encoding thread reads no sample at or beyond the count it
// acquired. The positions are set before the hand-over and never change after it. `last()` is
// set together with the end of reading and read only after it. Reader and thread each hold the
// chunk, so it lives until both are done with it.
template <typename Sample>
class ChunkInput {
 public:
  ChunkInput(int64_t index, int64_t capacity, int channels)
      : index_(index),
        samples_(std::make_unique_for_overwrite<Sample[]>(size_t(capacity) * channels)) {}

  int64_t index() const { return index_; }
  int64_t first_frame = 0;  // the frame the chunk's encoder starts with, counted in the file
  int64_t start_frame = 0;  // the first frame the chunk stands for
  int64_t end_frame = 0;    // and the one after its last (for the last chunk: unused)
  int64_t lead_in = 0;      // input frames fed before the first one the chunk stands for
  int64_t stands_for = 0;   // input frames the chunk stands for, unless it is the last

  // For the reader: the samples are filled from the start on.
  Sample* samples_to_fill() { return samples_.get(); }
  // The reader tells how many frames the thread may take from the start.
  void Publish(int64_t frames) { Store(frames); }
  // No more frames than these come; `last` when the input ended within the chunk.
  void End(int64_t frames, bool last) {
    last_ = last;
    Store(frames | kEnded);
  }
  // Reading stops where it is: the thread takes no more and must not wait for any.
  void Abandon() { Store((state_.load(std::memory_order_relaxed) & ~kEnded) | kEnded); }

  // For the thread: once more than `taken` frames are there, or reading has ended, the frames
  // it may take and whether no more come.
  struct Available {
    int64_t frames;
    bool ended;
  };
  Available Await(int64_t taken) const {
    int64_t state = state_.load(std::memory_order_acquire);
    while ((state & kEnded) == 0 && state <= taken) {
      state_.wait(state, std::memory_order_acquire);
      state = state_.load(std::memory_order_acquire);
    }
    return {state & ~kEnded, (state & kEnded) != 0};
  }
  const Sample* samples() const { return samples_.get(); }
  // Only once reading has ended.
  bool last() const { return last_; }
  // The thread gives back the samples' memory once it has encoded them all.
  void Release() { samples_.reset(); }

 private:
  static constexpr int64_t kEnded = int64_t(1) << 62;

  void Store(int64_t state) {
    state_.store(state, std::memory_order_release);
    state_.notify_all();
  }

  const int64_t index_;
  std::unique_ptr<Sample[]> samples_;
  std::atomic<int64_t> state_ = 0;
  bool last_ = false;
};

}  // namespace gogo
