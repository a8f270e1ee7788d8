#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "chunk_reader.h"
#include "parallel_encode.h"

namespace gogo {

// Threads that encode the chunks handed to them, each chunk with an encoder of its own (the
// first chunk with the file's), and keep them until the caller takes them back in order. The
// threads start with every signal blocked, so that a stop signal reaches the calling thread.
template <typename Sample>
class ChunkThreads {
 public:
  // Starts up to job.threads threads: fewer where the system gives fewer.
  explicit ChunkThreads(const ParallelEncoding& job);
  ~ChunkThreads() { Stop(); }
  ChunkThreads(const ChunkThreads&) = delete;
  ChunkThreads& operator=(const ChunkThreads&) = delete;

  bool any() const { return !workers_.empty(); }
  // The chunk may still be being read.
  void Hand(std::unique_ptr<Chunk<Sample>> chunk);
  size_t in_flight() const { return in_flight_.size(); }
  // The oldest chunk not taken back, once it is encoded; nullptr if it is not within `wait`.
  Chunk<Sample>* AwaitOldest(std::chrono::milliseconds wait);
  void DropOldest() { in_flight_.pop_front(); }
  // Input frames encoded so far, over all threads.
  int64_t encoded() const { return encoded_; }
  // Ends every thread, also one that waits for samples that will not come now.
  void Stop();

 private:
  void Work(bool prepare);

  const ParallelEncoding& job_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Chunk<Sample>*> queue_;  // waiting for a thread
  std::deque<std::unique_ptr<Chunk<Sample>>> in_flight_;
  std::atomic<bool> cancel_ = false;
  std::atomic<int64_t> encoded_ = 0;
  std::vector<std::jthread> workers_;
};

extern template class ChunkThreads<short>;
extern template class ChunkThreads<float>;

}  // namespace gogo
