#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "chunk_input.h"
#include "encoded_chunk.h"
#include "mp3_encoder.h"

namespace gogo {

// What the threads need to encode chunks of one input.
struct ChunkEncoding {
  Mp3Encoder& first;         // the file's own encoder: it encodes the first chunk
  EncoderSettings settings;  // for the encoders of the other chunks
  int channels;
  int sample_rate;
  std::string input_path;  // for messages
};

// Threads that encode the chunks handed to them, each chunk with an encoder of its own (the
// first chunk with the file's), and give back what they made in the order the chunks came.
// The threads start with every signal blocked, so that a stop signal reaches the calling
// thread. Only the calling thread calls these; the threads share with it the queues below,
// under the lock, and the count of encoded input frames, an atomic.
template <typename Sample>
class ChunkThreads {
 public:
  // Starts up to `threads` threads: fewer where the system gives fewer.
  ChunkThreads(const ChunkEncoding& job, int threads);
  // Cancels and joins the threads.
  ~ChunkThreads();
  ChunkThreads(const ChunkThreads&) = delete;
  ChunkThreads& operator=(const ChunkThreads&) = delete;

  bool any() const { return !workers_.empty(); }
  // The chunk may still be being read.
  void Hand(std::shared_ptr<ChunkInput<Sample>> chunk);
  // Chunks handed and not taken back.
  size_t in_flight() const { return size_t(handed_ - taken_); }
  // The oldest chunk not taken back, once it is encoded; nothing if it is not within `wait`.
  std::optional<EncodedChunk> TakeOldest(std::chrono::milliseconds wait);
  // Input frames encoded so far, over all threads.
  int64_t encoded() const { return encoded_; }
  // The threads stop at the next chance: a thread that waits for samples stops once its chunk
  // ends or is abandoned.
  void Cancel();
  // Waits for every thread to end; Cancel() first.
  void Join() { workers_.clear(); }

 private:
  void Work(bool prepare);

  const ChunkEncoding& job_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::shared_ptr<ChunkInput<Sample>>> queue_;  // waiting for a thread
  std::map<int64_t, EncodedChunk> encoded_chunks_;         // by index, until taken back
  std::atomic<bool> cancel_ = false;  // set under the lock, read also without it
  std::atomic<int64_t> encoded_ = 0;
  int64_t handed_ = 0;
  int64_t taken_ = 0;
  std::vector<std::jthread> workers_;
};

extern template class ChunkThreads<short>;
extern template class ChunkThreads<float>;

}  // namespace gogo
