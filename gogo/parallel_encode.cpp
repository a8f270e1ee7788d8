#include "parallel_encode.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include "chunk_reader.h"
#include "chunk_threads.h"
#include "mp3_frames.h"

namespace gogo {
namespace {

// Where the encoder resamples, chunks start only where input and output frames line up; rates
// that line up less often than this are encoded on one thread.
constexpr int kLongestAlignment = 16;

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

// Each thread has its chunk, and one more is read ahead.
template <typename Sample>
bool ReadAhead(ChunkReader<Sample>& reader, ChunkThreads<Sample>& threads,
               const ParallelEncoding& job, std::string* error) {
  while (!reader.done() && threads.in_flight() < size_t(job.threads) + 1) {
    if (std::unique_ptr<Chunk<Sample>> chunk = reader.Start()) {
      threads.Hand(std::move(chunk));
      continue;
    }
    // No chunk may start before those started are read.
    if (!FillChunks(reader, job, error)) return false;
  }
  return FillChunks(reader, job, error);
}

template <typename Sample>
ParallelOutcome Run(const ParallelEncoding& job, const volatile std::sig_atomic_t& stop_requested,
                    std::string* error) {
  const int frame_samples = job.first.frame_samples();
  const int out_rate = job.first.output_rate();
  const int64_t blocks = job.input.frames() * out_rate / job.input.sample_rate() / kBlockSamples;
  ChunkReader<Sample> reader(job.input, frame_samples, out_rate, ChunkBlocks(blocks, job.threads));
  ChunkJoiner joiner(job.output, kBlockSamples / frame_samples);
  // Where the system gives no thread, one thread encodes.
  ChunkThreads<Sample> threads(job);
  if (!threads.any()) return ParallelOutcome::kNotJoined;
  while (!stop_requested) {
    if (!ReadAhead(reader, threads, job, error)) return ParallelOutcome::kFailed;
    if (threads.in_flight() == 0) break;
    // Wakes now and then to show the progress and notice a stop signal.
    Chunk<Sample>* chunk = threads.AwaitOldest(std::chrono::milliseconds(100));
    job.progress(threads.encoded());
    if (chunk == nullptr) continue;
    if (!chunk->error.empty()) {
      *error = chunk->error;
      return chunk->not_joined ? ParallelOutcome::kNotJoined : ParallelOutcome::kFailed;
    }
    if (!joiner.Take(*chunk, error)) {
      return joiner.not_joined() ? ParallelOutcome::kNotJoined : ParallelOutcome::kFailed;
    }
    const bool last = chunk->last;
    threads.DropOldest();
    if (last) break;
  }
  threads.Stop();
  if (stop_requested) return ParallelOutcome::kStopped;
  const off_t placeholder_at = static_cast<off_t>(job.first.Id3v2Tag().size());
  return joiner.Finish(placeholder_at, error) ? ParallelOutcome::kDone : ParallelOutcome::kFailed;
}

}  // namespace

bool SuitsParallelEncoding(const AudioInput& input, const Mp3Encoder& first) {
  const int64_t aligned =
      AlignedFrames(input.sample_rate(), first.output_rate(), first.frame_samples());
  if (aligned * first.frame_samples() > kLongestAlignment * kBlockSamples) return false;
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
