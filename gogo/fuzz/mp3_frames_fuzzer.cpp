// libFuzzer target over the frame joiner: arbitrary bytes are split into layer III frames, some
// get a higher bitrate, all are laid into one stream again, which must split cleanly into as
// many frames; the first frame goes through the info frame rewrite.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "mp3_frames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<gogo::Mp3Frame> frames;
  std::string error;
  if (!gogo::SplitFrames({data, size}, &frames, &error) || frames.empty()) return 0;
  std::vector<unsigned char> joined;
  gogo::FrameJoiner joiner([&joined](std::span<const unsigned char> bytes) {
    joined.insert(joined.end(), bytes.begin(), bytes.end());
    return true;
  });
  std::vector<unsigned char> first(data, data + frames.front().header.Size());
  for (size_t i = 0; i < frames.size(); ++i) {
    if (i % 5 == 4) gogo::SetBitrateIndex(frames[i], gogo::FrameHeader::kTopBitrateIndex);
    joiner.FreeAfter({&frames[i], 1});
    if (!joiner.Add(std::move(frames[i]))) break;
  }
  if (!joiner.Finish()) std::abort();
  std::vector<gogo::Mp3Frame> again;
  if (!gogo::SplitFrames(joined, &again, &error) || int64_t(again.size()) != joiner.frames()) {
    std::abort();
  }
  const gogo::StreamFacts facts{joiner.frames(), &joiner.frame_starts(), joiner.bytes(), 576,
                                gogo::InfoCrc(joined)};
  gogo::RewriteInfoFrame(first, facts);
  return 0;
}
