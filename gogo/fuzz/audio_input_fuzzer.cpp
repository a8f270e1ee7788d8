// libFuzzer target over gogo's input reading: arbitrary bytes go through libsndfile's virtual
// I/O into the same code that opens, checks, tags and reads every input file, once in one pass
// and once cut into chunks as the threads take them.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "audio_input.h"
#include "chunk_reader.h"
#include "encoded_chunk_joiner.h"
#include "id3v2_tag.h"
#include "input_tags.h"

namespace {

// Enough to walk every block path several times without letting huge headers run for long.
constexpr int64_t kMostFrames = 1 << 20;
constexpr int64_t kBlockFrames = 8192;

template <typename Sample, typename Read>
void ReadAll(gogo::AudioInput& input, Read read) {
  std::vector<Sample> block(kBlockFrames * input.channels());
  for (int64_t done = 0; done < kMostFrames;) {
    const int64_t frames = read(block.data(), kBlockFrames);
    if (frames <= 0) break;
    done += frames;
  }
}

// Three chunks at a time, as two threads and one read ahead take them.
template <typename Sample>
void ReadInChunks(gogo::AudioInput& input) {
  gogo::ChunkReader<Sample> reader(input, gogo::kBlockSamples, input.sample_rate(), 64,
                                   gogo::kPreRoll, gogo::kPostRoll);
  std::string error;
  for (int64_t frames = 0; frames < kMostFrames && !reader.done();) {
    std::vector<std::shared_ptr<gogo::ChunkInput<Sample>>> started;
    while (started.size() < 3) {
      std::shared_ptr<gogo::ChunkInput<Sample>> chunk = reader.Start();
      if (!chunk) break;
      started.push_back(std::move(chunk));
    }
    if (!reader.Fill(&error)) return;
    for (const auto& chunk : started) {
      // Every chunk Fill read must have ended, or a thread would wait for it forever.
      const auto available = chunk->Await(std::numeric_limits<int64_t>::max());
      if (!available.ended) std::abort();
      frames += available.frames;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string error;
  std::unique_ptr<gogo::AudioInput> input = gogo::AudioInput::FromMemory({data, size}, &error);
  if (!input) return 0;
  gogo::Id3v2TagFor(gogo::ReadInputTags(*input));
  if (input->prefers_float()) {
    ReadAll<float>(*input, [&](float* b, int64_t n) { return input->ReadFloats(b, n); });
  } else {
    ReadAll<short>(*input, [&](short* b, int64_t n) { return input->ReadShorts(b, n); });
  }
  std::unique_ptr<gogo::AudioInput> again = gogo::AudioInput::FromMemory({data, size}, &error);
  if (!again || again->sample_rate() > 768000) return 0;
  if (again->prefers_float()) {
    ReadInChunks<float>(*again);
  } else {
    ReadInChunks<short>(*again);
  }
  return 0;
}
