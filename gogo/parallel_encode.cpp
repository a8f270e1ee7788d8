#include "parallel_encode.h"

#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "chunk_reader.h"
#include "mp3_frames.h"

namespace gogo {
namespace {

// Where the encoder resamples, chunks start only where input and output frames line up; rates
// that line up less often than this are encoded on one thread.
constexpr int kLongestAlignment = 16;

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

template <typename Sample>
void EncodeChunk(Chunk<Sample>& chunk, std::unique_ptr<Mp3Encoder> own, const ParallelEncoding& job,
                 const std::atomic<bool>& cancel, std::atomic<int64_t>& progress) {
  Mp3Encoder* encoder = &job.first;
  if (chunk.index > 0) {
    if (!own) own = NewEncoder(job, &chunk.error);
    if (!own) return;
    encoder = own.get();
  }
  const int channels = job.input.channels();
  std::vector<unsigned char> stream;
  int64_t counted = 0;
  for (int64_t at = 0;;) {
    const int64_t state = AwaitSamples(chunk, at);
    if (cancel) return;
    const int64_t available = state & ~kReadEnded;
    if (at >= available) break;
    const int count = static_cast<int>(std::min<int64_t>(Mp3Encoder::kBlockFrames, available - at));
    auto bytes = encoder->Encode(chunk.samples.get() + at * channels, count);
    if (!bytes) {
      chunk.error = "der MP3-Kodierer ist bei \"" + job.input_path + "\" gescheitert";
      return;
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
  chunk.samples.reset();
  auto bytes = encoder->Flush();
  if (!bytes) {
    chunk.error = "der MP3-Kodierer ist am Ende gescheitert";
    return;
  }
  stream.insert(stream.end(), bytes->begin(), bytes->end());
  // The library leaves a placeholder for its info frame first, where the frame can hold one.
  std::span<const unsigned char> frames(stream);
  std::vector<unsigned char> info_frame = encoder->LametagFrame();
  if (!info_frame.empty()) {
    const size_t size = std::min(frames.size(), info_frame.size());
    if (chunk.index == 0) {
      chunk.placeholder.assign(frames.begin(), frames.begin() + size);
      chunk.info_frame = std::move(info_frame);
    }
    frames = frames.subspan(size);
  }
  chunk.not_joined = !SplitFrames(frames, &chunk.frames, &chunk.error);
  if (chunk.last) chunk.padding = encoder->padding();
}

// Lays the chunks' frames into the output in order, choosing for each join the frame where the
// next chunk takes over.
class ChunkJoiner {
 public:
  ChunkJoiner(OutputFile& output, int per_block)
      : output_(output),
        per_block_(per_block),
        joiner_([this](std::span<const unsigned char> bytes) { return Write(bytes); }) {}

  template <typename Sample>
  bool Take(Chunk<Sample>& chunk, std::string* error) {
    const int64_t chunk_end = chunk.first_frame + int64_t(chunk.frames.size());
    int64_t lay_from = chunk.start_frame;
    if (chunk.index == 0) {
      info_frame_ = std::move(chunk.info_frame);
      placeholder_size_ = chunk.placeholder.size();
      if (!Write(chunk.placeholder)) return Failed(error);
      music_crc_ = 0;
      audio_bytes_ = 0;
    } else if (!Join(chunk, &lay_from, error)) {
      return false;
    }
    const int64_t lay_to =
        chunk.last ? chunk_end : std::min(chunk_end, chunk.end_frame - kJoinBefore * per_block_);
    for (int64_t frame = lay_from; frame < lay_to; ++frame) {
      if (!Lay(std::move(chunk.frames[frame - chunk.first_frame]), error)) return false;
    }
    held_.clear();
    held_first_ = lay_to;
    const int64_t hold_to = std::min(chunk_end, chunk.end_frame + kJoinAfter * per_block_);
    for (int64_t frame = lay_to; frame < hold_to && !chunk.last; ++frame) {
      held_.push_back(std::move(chunk.frames[frame - chunk.first_frame]));
    }
    chunk.frames = {};
    if (chunk.last) {
      padding_ = chunk.padding;
      if (!joiner_.Finish() || !Flush()) return Failed(error);
    }
    return true;
  }

  bool not_joined() const { return not_joined_; }

  // Puts the info frame, rewritten for the joined stream, over its placeholder.
  bool Finish(off_t placeholder_at, std::string* error) {
    if (info_frame_.empty() || info_frame_.size() != placeholder_size_) return true;
    const StreamFacts facts{joiner_.frames(), &joiner_.frame_starts(), audio_bytes_, padding_,
                            music_crc_};
    if (!RewriteInfoFrame(info_frame_, facts)) return true;
    return output_.WriteAt(placeholder_at, info_frame_, error);
  }

 private:
  // Frames come in pieces of a few hundred bytes; they reach the file in larger writes.
  bool Write(std::span<const unsigned char> bytes) {
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    music_crc_ = InfoCrc(bytes, music_crc_);
    audio_bytes_ += int64_t(bytes.size());
    return pending_.size() < kWriteSize || Flush();
  }

  bool Flush() {
    const bool written = output_.Write(pending_, &write_error_);
    pending_.clear();
    return written;
  }

  bool Failed(std::string* error) {
    *error = write_error_.empty() ? "die MP3-Rahmen lassen sich nicht zusammenfügen" : write_error_;
    return false;
  }

  bool Lay(Mp3Frame frame, std::string* error) {
    if (joiner_.Add(std::move(frame))) return true;
    return Failed(error);
  }

  // Picks the first frame of `chunk` to keep: one whose main data fits the reservoir that the
  // held frames before it leave, if need be after giving the last of them a higher bitrate.
  template <typename Sample>
  bool Join(Chunk<Sample>& chunk, int64_t* lay_from, std::string* error) {
    const int64_t held_end = held_first_ + int64_t(held_.size());
    const int64_t chunk_end = chunk.first_frame + int64_t(chunk.frames.size());
    const int64_t earliest = std::max(held_first_, chunk.first_frame + kWarmUp * per_block_);
    const int64_t latest = std::min(held_end, chunk_end - 1);
    int64_t best = -1;
    int best_index = 0;  // 0: no frame enlarged
    for (int64_t distance = 0; distance <= (kJoinBefore + kJoinAfter) * per_block_; ++distance) {
      for (int64_t switch_at : {chunk.start_frame + distance, chunk.start_frame - distance}) {
        if (switch_at < earliest || switch_at > latest || (best >= 0 && best_index == 0)) continue;
        const int need = chunk.frames[switch_at - chunk.first_frame].reach_back;
        std::vector<Mp3Frame> before(held_.begin(), held_.begin() + (switch_at - held_first_));
        if (need <= joiner_.FreeAfter(before)) {
          best = switch_at;
          best_index = 0;
          continue;
        }
        if (before.empty() || best >= 0) continue;
        Mp3Frame& enlarged = before.back();
        for (int index = enlarged.header.bitrate_index + 1; index <= FrameHeader::kTopBitrateIndex;
             ++index) {
          SetBitrateIndex(enlarged, index);
          if (need <= joiner_.FreeAfter(before)) {
            best = switch_at;
            best_index = index;
            break;
          }
        }
      }
    }
    if (best < 0) {
      not_joined_ = true;
      *error = "die MP3-Rahmen lassen sich nicht zusammenfügen";
      return false;
    }
    for (int64_t frame = held_first_; frame < best; ++frame) {
      Mp3Frame& held = held_[frame - held_first_];
      if (frame == best - 1 && best_index > 0) SetBitrateIndex(held, best_index);
      if (!Lay(std::move(held), error)) return false;
    }
    *lay_from = best;
    return true;
  }

  static constexpr size_t kWriteSize = 64 * 1024;

  OutputFile& output_;
  int per_block_;
  FrameJoiner joiner_;
  std::vector<unsigned char> pending_;  // written, but not handed to the file yet
  std::string write_error_;
  std::vector<Mp3Frame> held_;  // the end of the previous chunk, not laid yet
  int64_t held_first_ = 0;
  std::vector<unsigned char> info_frame_;
  size_t placeholder_size_ = 0;
  uint16_t music_crc_ = 0;
  int64_t audio_bytes_ = 0;
  int padding_ = 0;
  bool not_joined_ = false;
};

// The same number of chunks for every thread, so that all end together; for inputs of unknown
// length, long chunks.
int ChunkBlocks(int64_t blocks, int threads) {
  if (blocks <= 0) return kLongestChunk;
  const int64_t most_per_round = int64_t(threads) * kLongestChunk;
  const int64_t chunks =
      threads * std::max<int64_t>(1, (blocks + most_per_round - 1) / most_per_round);
  return static_cast<int>(
      std::clamp<int64_t>((blocks + chunks - 1) / chunks, kShortestChunk, kLongestChunk));
}

template <typename Sample>
bool FillChunks(ChunkReader<Sample>& reader, const ParallelEncoding& job, std::string* error) {
  std::string read_error;
  if (reader.Fill(&read_error)) return true;
  *error = "Lesefehler in \"" + job.input_path + "\": " + read_error;
  return false;
}

template <typename Sample>
ParallelOutcome Run(const ParallelEncoding& job, const volatile std::sig_atomic_t& stop_requested,
                    std::string* error) {
  const int frame_samples = job.first.frame_samples();
  const int out_rate = job.first.output_rate();
  const int64_t blocks = job.input.frames() * out_rate / job.input.sample_rate() / kBlockSamples;
  ChunkReader<Sample> reader(job.input, frame_samples, out_rate, ChunkBlocks(blocks, job.threads));
  ChunkJoiner joiner(job.output, kBlockSamples / frame_samples);

  std::mutex mutex;
  std::condition_variable changed;
  std::deque<Chunk<Sample>*> queue;  // waiting for a thread
  std::atomic<bool> cancel = false;
  std::atomic<int64_t> encoded = 0;  // input frames, over all threads
  std::vector<std::jthread> workers;
  auto work = [&](bool prepare) {
    // Threads but the first make an encoder while the first chunks are read; the first chunk
    // has the file's own.
    std::string ignored;
    std::unique_ptr<Mp3Encoder> prepared = prepare ? NewEncoder(job, &ignored) : nullptr;
    for (;;) {
      Chunk<Sample>* chunk = nullptr;
      {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return cancel || !queue.empty(); });
        if (cancel) return;
        chunk = queue.front();
        queue.pop_front();
      }
      std::unique_ptr<Mp3Encoder> own = chunk->index > 0 ? std::move(prepared) : nullptr;
      EncodeChunk(*chunk, std::move(own), job, cancel, encoded);
      std::lock_guard lock(mutex);
      chunk->done = true;
      changed.notify_all();
    }
  };
  // Where the system gives fewer threads, fewer do the work; with none, one thread encodes.
  // The threads start with every signal blocked, so that a stop signal reaches this thread.
  sigset_t all_signals;
  sigset_t previous;
  sigfillset(&all_signals);
  pthread_sigmask(SIG_BLOCK, &all_signals, &previous);
  for (int i = 0; i < job.threads; ++i) {
    try {
      workers.emplace_back(work, i > 0);
    } catch (const std::system_error&) {
      break;
    }
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (workers.empty()) return ParallelOutcome::kNotJoined;
  // Each thread has its chunk, and one more is read ahead.
  std::deque<std::unique_ptr<Chunk<Sample>>> in_flight;
  auto stop_workers = [&] {
    {
      std::lock_guard lock(mutex);
      cancel = true;
    }
    changed.notify_all();
    // A thread may be waiting for samples that will not come.
    for (auto& chunk : in_flight) {
      chunk->read_state.fetch_or(kReadEnded);
      chunk->read_state.notify_all();
    }
    workers.clear();
  };

  while (!stop_requested) {
    while (!reader.done() && in_flight.size() < size_t(job.threads) + 1) {
      if (std::unique_ptr<Chunk<Sample>> chunk = reader.Start()) {
        std::lock_guard lock(mutex);
        queue.push_back(chunk.get());
        in_flight.push_back(std::move(chunk));
        changed.notify_all();
        continue;
      }
      // No chunk may start before those started are read.
      if (!FillChunks(reader, job, error)) {
        stop_workers();
        return ParallelOutcome::kFailed;
      }
    }
    if (!FillChunks(reader, job, error)) {
      stop_workers();
      return ParallelOutcome::kFailed;
    }
    if (in_flight.empty()) break;
    // Wakes now and then to show the progress and notice a stop signal.
    bool done = false;
    {
      std::unique_lock lock(mutex);
      done = changed.wait_for(lock, std::chrono::milliseconds(100),
                              [&] { return in_flight.front()->done; });
    }
    job.progress(encoded);
    if (!done) continue;
    Chunk<Sample>& chunk = *in_flight.front();
    if (!chunk.error.empty()) {
      stop_workers();
      *error = chunk.error;
      return chunk.not_joined ? ParallelOutcome::kNotJoined : ParallelOutcome::kFailed;
    }
    if (!joiner.Take(chunk, error)) {
      stop_workers();
      return joiner.not_joined() ? ParallelOutcome::kNotJoined : ParallelOutcome::kFailed;
    }
    const bool last = chunk.last;
    in_flight.pop_front();
    if (last) break;
  }
  stop_workers();
  if (stop_requested) return ParallelOutcome::kStopped;
  const off_t placeholder_at = static_cast<off_t>(job.first.Id3v2Tag().size());
  return joiner.Finish(placeholder_at, error) ? ParallelOutcome::kDone : ParallelOutcome::kFailed;
}

}  // namespace

bool SuitsParallelEncoding(const AudioInput& input, const Mp3Encoder& first) {
  const Alignment alignment =
      AlignmentFor(input.sample_rate(), first.output_rate(), first.frame_samples());
  if (alignment.frames * first.frame_samples() > kLongestAlignment * kBlockSamples) return false;
  const int64_t output_frames = input.frames() * first.output_rate() / input.sample_rate();
  return input.frames() <= 0 || output_frames >= 2 * int64_t(kShortestChunk) * kBlockSamples;
}

ParallelOutcome EncodeInParallel(const ParallelEncoding& job,
                                 const volatile std::sig_atomic_t& stop_requested,
                                 std::string* error) {
  return job.input.prefers_float() ? Run<float>(job, stop_requested, error)
                                   : Run<short>(job, stop_requested, error);
}

}  // namespace gogo
