#include "chunk_threads.h"

#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <span>
#include <system_error>
#include <utility>

#include "mp3_frames.h"

namespace gogo {
namespace {

std::unique_ptr<Mp3Encoder> NewEncoder(const ChunkEncoding& job, std::string* error) {
  return Mp3Encoder::Create(job.settings, job.channels, job.sample_rate, {}, error);
}

// Encodes the chunk's samples as the reader makes them available. False on a failure (then
// the error is set) or when cancelled.
template <typename Sample>
bool Feed(const ChunkInput<Sample>& chunk, Mp3Encoder& encoder, const ChunkEncoding& job,
          const std::atomic<bool>& cancel, std::atomic<int64_t>& progress,
          std::vector<unsigned char>& stream, std::string* error) {
  int64_t counted = 0;
  for (int64_t at = 0;;) {
    const typename ChunkInput<Sample>::Available available = chunk.Await(at);
    if (cancel) return false;
    if (at >= available.frames) return true;
    const int count =
        static_cast<int>(std::min<int64_t>(Mp3Encoder::kBlockFrames, available.frames - at));
    auto bytes = encoder.Encode(chunk.samples() + at * job.channels, count);
    if (!bytes) {
      *error = "der MP3-Kodierer ist bei \"" + job.input_path + "\" gescheitert";
      return false;
    }
    stream.insert(stream.end(), bytes->begin(), bytes->end());
    at += count;
    // The progress counts the input the chunk stands for, not the audio around it.
    const bool whole = available.ended && chunk.last();
    const int64_t share =
        std::clamp<int64_t>(at - chunk.lead_in, 0, whole ? available.frames : chunk.stands_for);
    progress += share - counted;
    counted = share;
  }
}

// Flushes the encoder and takes the chunk's stream apart into frames.
void Finish(EncodedChunk& chunk, Mp3Encoder& encoder, std::vector<unsigned char>& stream) {
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
EncodedChunk EncodeChunk(ChunkInput<Sample>& chunk, std::unique_ptr<Mp3Encoder> own,
                         const ChunkEncoding& job, const std::atomic<bool>& cancel,
                         std::atomic<int64_t>& progress) {
  EncodedChunk encoded;
  encoded.index = chunk.index();
  encoded.first_frame = chunk.first_frame;
  encoded.start_frame = chunk.start_frame;
  encoded.end_frame = chunk.end_frame;
  Mp3Encoder* encoder = &job.first;
  if (chunk.index() > 0) {
    if (!own) own = NewEncoder(job, &encoded.error);
    if (!own) return encoded;
    encoder = own.get();
  }
  std::vector<unsigned char> stream;
  if (!Feed(chunk, *encoder, job, cancel, progress, stream, &encoded.error)) return encoded;
  encoded.last = chunk.last();
  chunk.Release();
  Finish(encoded, *encoder, stream);
  return encoded;
}

}  // namespace

template <typename Sample>
ChunkThreads<Sample>::ChunkThreads(const ChunkEncoding& job, int threads) : job_(job) {
  sigset_t all_signals;
  sigset_t previous;
  sigfillset(&all_signals);
  pthread_sigmask(SIG_BLOCK, &all_signals, &previous);
  for (int i = 0; i < threads; ++i) {
    try {
      workers_.emplace_back([this, i] { Work(i > 0); });
    } catch (const std::system_error&) {
      break;
    }
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

template <typename Sample>
ChunkThreads<Sample>::~ChunkThreads() {
  Cancel();
  Join();
}

template <typename Sample>
void ChunkThreads<Sample>::Hand(std::shared_ptr<ChunkInput<Sample>> chunk) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(chunk));
  }
  ++handed_;
  changed_.notify_all();
}

template <typename Sample>
std::optional<EncodedChunk> ChunkThreads<Sample>::TakeOldest(std::chrono::milliseconds wait) {
  std::unique_lock lock(mutex_);
  if (!changed_.wait_for(lock, wait, [&] { return encoded_chunks_.contains(taken_); })) {
    return std::nullopt;
  }
  auto node = encoded_chunks_.extract(taken_);
  ++taken_;
  return std::move(node.mapped());
}

template <typename Sample>
void ChunkThreads<Sample>::Cancel() {
  {
    std::lock_guard lock(mutex_);
    cancel_ = true;
  }
  changed_.notify_all();
}

template <typename Sample>
void ChunkThreads<Sample>::Work(bool prepare) {
  // Threads but the first make an encoder while the first chunks are read; the first chunk
  // has the file's own.
  std::string ignored;
  std::unique_ptr<Mp3Encoder> prepared = prepare ? NewEncoder(job_, &ignored) : nullptr;
  for (;;) {
    std::shared_ptr<ChunkInput<Sample>> chunk;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return cancel_ || !queue_.empty(); });
      if (cancel_) return;
      chunk = std::move(queue_.front());
      queue_.pop_front();
    }
    std::unique_ptr<Mp3Encoder> own = chunk->index() > 0 ? std::move(prepared) : nullptr;
    EncodedChunk encoded = EncodeChunk(*chunk, std::move(own), job_, cancel_, encoded_);
    chunk.reset();
    std::lock_guard lock(mutex_);
    encoded_chunks_.emplace(encoded.index, std::move(encoded));
    changed_.notify_all();
  }
}

template class ChunkThreads<short>;
template class ChunkThreads<float>;

}  // namespace gogo
