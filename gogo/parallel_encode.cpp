#include "parallel_encode.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>

#include "chunk_reader.h"
#include "chunk_threads.h"
#include "encoded_chunk_joiner.h"

namespace gogo {
namespace {

// Where the encoder resamples, chunks start only where input and output frames line up; rates
// that line up less often than this are encoded on one thread.
constexpr int kLongestAlignment = 16;

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

// One input on threads: the reader, the threads and the joiner, all on the calling thread but
// the encoding. Whatever way the run ends, the threads stop before anything they use goes.
template <typename Sample>
class ParallelRun {
 public:
  explicit ParallelRun(const ParallelEncoding& job)
      : job_(job),
        reader_(job.input, job.first.frame_samples(), job.first.output_rate(), ChunkBlocksFor(job),
                kPreRoll, kPostRoll),
        encoding_{job.first, job.settings, job.input.channels(), job.input.sample_rate(),
                  job.input_path},
        joiner_(job.output, kBlockSamples / job.first.frame_samples()),
        threads_(encoding_, job.threads) {}
  ~ParallelRun() { StopThreads(); }
  ParallelRun(const ParallelRun&) = delete;
  ParallelRun& operator=(const ParallelRun&) = delete;

  ParallelOutcome Run(const volatile std::sig_atomic_t& stop_requested,
                      std::vector<unsigned char>* info_frame, std::string* error) {
    // Where the system gives no thread, one thread encodes.
    if (!threads_.any()) return ParallelOutcome::kNotJoined;
    while (!stop_requested) {
      if (!ReadAhead(error)) return ParallelOutcome::kFailed;
      if (threads_.in_flight() == 0) break;
      // Wakes now and then to show the progress and notice a stop signal.
      std::optional<EncodedChunk> chunk = threads_.TakeOldest(std::chrono::milliseconds(100));
      job_.progress(threads_.encoded());
      if (!chunk) continue;
      if (!chunk->error.empty()) {
        *error = chunk->error;
        return chunk->not_joined ? ParallelOutcome::kNotJoined : ParallelOutcome::kFailed;
      }
      if (!joiner_.Take(*chunk, error)) {
        return joiner_.not_joined() ? ParallelOutcome::kNotJoined : ParallelOutcome::kFailed;
      }
      if (chunk->last) break;
    }
    StopThreads();
    if (stop_requested) return ParallelOutcome::kStopped;
    return joiner_.InfoFrame(info_frame) ? ParallelOutcome::kDone : ParallelOutcome::kNotJoined;
  }

 private:
  static int ChunkBlocksFor(const ParallelEncoding& job) {
    const int64_t blocks =
        job.input.frames() * job.first.output_rate() / job.input.sample_rate() / kBlockSamples;
    return ChunkBlocks(blocks, job.threads);
  }

  // A thread that waits for samples ends only once its chunk is no longer read.
  void StopThreads() {
    threads_.Cancel();
    reader_.Abandon();
    threads_.Join();
  }

  bool FillChunks(std::string* error) {
    std::string read_error;
    if (reader_.Fill(&read_error)) return true;
    *error = "Lesefehler in \"" + job_.input_path + "\": " + read_error;
    return false;
  }

  // Each thread has its chunk, and one more is read ahead.
  bool ReadAhead(std::string* error) {
    while (!reader_.done() && threads_.in_flight() < size_t(job_.threads) + 1) {
      if (std::shared_ptr<ChunkInput<Sample>> chunk = reader_.Start()) {
        threads_.Hand(std::move(chunk));
        continue;
      }
      // No chunk may start before those started are read.
      if (!FillChunks(error)) return false;
    }
    return FillChunks(error);
  }

  const ParallelEncoding& job_;
  ChunkReader<Sample> reader_;
  const ChunkEncoding encoding_;
  EncodedChunkJoiner joiner_;
  ChunkThreads<Sample> threads_;
};

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
                                 std::vector<unsigned char>* info_frame, std::string* error) {
  if (job.input.prefers_float()) {
    return ParallelRun<float>(job).Run(stop_requested, info_frame, error);
  }
  return ParallelRun<short>(job).Run(stop_requested, info_frame, error);
}

}  // namespace gogo
