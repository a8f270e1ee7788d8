#include "chunk_threads.h"

#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <string>
#include <system_error>

#include "mp3_frames.h"

namespace gogo {
namespace {

std::unique_ptr<Mp3Encoder> NewEncoder(const ParallelEncoding& job, std::string* error) {
  return Mp3Encoder::Create(job.settings, job.input.channels(), job.input.sample_rate(), Tags{},
                            error);
}

// The chunk's read state once more than `taken` frames are read, or reading has ended.
template <typename Sample>
int64_t AwaitSamples(Chunk<Sample>& chunk, int64_t taken) {
  int64_t state = chunk.read_state.load(std::memory_order_acquire);
  while ((state & kReadEnded) == 0 && state <= taken) {
    chunk.read_state.wait(state, std::memory_order_acquire);
    state = chunk.read_state.load(std::memory_order_acquire);
  }
  return state;
}

// Encodes the chunk's samples as the reader makes them available. False on a failure (then
// the chunk's error is set) or when cancelled.
template <typename Sample>
bool Feed(Chunk<Sample>& chunk, Mp3Encoder& encoder, const ParallelEncoding& job,
          const std::atomic<bool>& cancel, std::atomic<int64_t>& progress,
          std::vector<unsigned char>& stream) {
  const int channels = job.input.channels();
  int64_t counted = 0;
  for (int64_t at = 0;;) {
    const int64_t state = AwaitSamples(chunk, at);
    if (cancel) return false;
    const int64_t available = state & ~kReadEnded;
    if (at >= available) return true;
    const int count = static_cast<int>(std::min<int64_t>(Mp3Encoder::kBlockFrames, available - at));
    auto bytes = encoder.Encode(chunk.samples.get() + at * channels, count);
    if (!bytes) {
      chunk.error = "der MP3-Kodierer ist bei \"" + job.input_path + "\" gescheitert";
      return false;
    }
    stream.insert(stream.end(), bytes->begin(), bytes->end());
    at += count;
    // The progress counts the input the chunk stands for, not the audio around it.
    const bool whole = (state & kReadEnded) != 0 && chunk.last;
    const int64_t share =
        std::clamp<int64_t>(at - chunk.lead_in, 0, whole ? available : chunk.stands_for);
    progress += share - counted;
    counted = share;
  }
}

// Flushes the encoder and takes the chunk's stream apart into frames.
template <typename Sample>
void Finish(Chunk<Sample>& chunk, Mp3Encoder& encoder, std::vector<unsigned char>& stream) {
  auto bytes = encoder.Flush();
  if (!bytes) {
    chunk.error = "der MP3-Kodierer ist am Ende gescheitert";
    return;
  }
  stream.insert(stream.end(), bytes->begin(), bytes->end());
  // The library leaves a placeholder for its info frame first, where the frame can hold one.
  std::span<const unsigned char> frames(stream);
  std::vector<unsigned char> info_frame = encoder.LametagFrame();
  if (!info_frame.empty()) {
    const size_t size = std::min(frames.size(), info_frame.size());
    if (chunk.index == 0) {
      chunk.placeholder.assign(frames.begin(), frames.begin() + size);
      chunk.info_frame = std::move(info_frame);
    }
    frames = frames.subspan(size);
  }
  chunk.not_joined = !SplitFrames(frames, &chunk.frames, &chunk.error);
  if (chunk.last) chunk.padding = encoder.padding();
}

template <typename Sample>
void EncodeChunk(Chunk<Sample>& chunk, std::unique_ptr<Mp3Encoder> own, const ParallelEncoding& job,
                 const std::atomic<bool>& cancel, std::atomic<int64_t>& progress) {
  Mp3Encoder* encoder = &job.first;
  if (chunk.index > 0) {
    if (!own) own = NewEncoder(job, &chunk.error);
    if (!own) return;
    encoder = own.get();
  }
  std::vector<unsigned char> stream;
  if (!Feed(chunk, *encoder, job, cancel, progress, stream)) return;
  chunk.samples.reset();
  Finish(chunk, *encoder, stream);
}

}  // namespace

template <typename Sample>
ChunkThreads<Sample>::ChunkThreads(const ParallelEncoding& job) : job_(job) {
  sigset_t all_signals;
  sigset_t previous;
  sigfillset(&all_signals);
  pthread_sigmask(SIG_BLOCK, &all_signals, &previous);
  for (int i = 0; i < job.threads; ++i) {
    try {
      workers_.emplace_back([this, i] { Work(i > 0); });
    } catch (const std::system_error&) {
      break;
    }
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

template <typename Sample>
void ChunkThreads<Sample>::Hand(std::unique_ptr<Chunk<Sample>> chunk) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(chunk.get());
  }
  in_flight_.push_back(std::move(chunk));
  changed_.notify_all();
}

template <typename Sample>
Chunk<Sample>* ChunkThreads<Sample>::AwaitOldest(std::chrono::milliseconds wait) {
  Chunk<Sample>& oldest = *in_flight_.front();
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, wait, [&] { return oldest.done; }) ? &oldest : nullptr;
}

template <typename Sample>
void ChunkThreads<Sample>::Stop() {
  {
    std::lock_guard lock(mutex_);
    cancel_ = true;
  }
  changed_.notify_all();
  for (auto& chunk : in_flight_) {
    chunk->read_state.fetch_or(kReadEnded);
    chunk->read_state.notify_all();
  }
  workers_.clear();
}

template <typename Sample>
void ChunkThreads<Sample>::Work(bool prepare) {
  // Threads but the first make an encoder while the first chunks are read; the first chunk
  // has the file's own.
  std::string ignored;
  std::unique_ptr<Mp3Encoder> prepared = prepare ? NewEncoder(job_, &ignored) : nullptr;
  for (;;) {
    Chunk<Sample>* chunk = nullptr;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return cancel_ || !queue_.empty(); });
      if (cancel_) return;
      chunk = queue_.front();
      queue_.pop_front();
    }
    std::unique_ptr<Mp3Encoder> own = chunk->index > 0 ? std::move(prepared) : nullptr;
    EncodeChunk(*chunk, std::move(own), job_, cancel_, encoded_);
    std::lock_guard lock(mutex_);
    chunk->done = true;
    changed_.notify_all();
  }
}

template class ChunkThreads<short>;
template class ChunkThreads<float>;

}  // namespace gogo
