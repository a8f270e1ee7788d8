// libFuzzer target over gogo's input reading: arbitrary bytes go through libsndfile's virtual
// I/O into the same code that opens, checks, tags and reads every input file.
#include <cstdint>
#include <vector>

#include "audio_input.h"
#include "tags.h"

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string error;
  std::unique_ptr<gogo::AudioInput> input = gogo::AudioInput::FromMemory({data, size}, &error);
  if (!input) return 0;
  const gogo::Tags tags = gogo::ReadTags(input->handle());
  for (const std::string* text : {&tags.title, &tags.artist, &tags.album, &tags.date, &tags.comment,
                                  &tags.track, &tags.genre}) {
    gogo::Utf16WithByteOrderMark(*text);
  }
  if (input->prefers_float()) {
    ReadAll<float>(*input, [&](float* b, int64_t n) { return input->ReadFloats(b, n); });
  } else {
    ReadAll<short>(*input, [&](short* b, int64_t n) { return input->ReadShorts(b, n); });
  }
  return 0;
}
