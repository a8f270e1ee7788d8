#include "chunk_reader.h"

#include <algorithm>
#include <numeric>
#include <type_traits>

#include "mp3_encoder.h"

namespace gogo {

int64_t AlignedFrames(int in_rate, int out_rate, int frame_samples) {
  const int64_t out_step = out_rate / std::gcd(in_rate, out_rate);
  const int64_t steps = frame_samples / std::gcd<int64_t>(frame_samples, out_step);
  return steps * out_step / frame_samples;
}

template <typename Sample>
ChunkReader<Sample>::ChunkReader(AudioInput& input, int frame_samples, int out_rate,
                                 int chunk_blocks, int pre_roll, int post_roll)
    : input_(input),
      channels_(input.channels()),
      frame_samples_(frame_samples),
      out_rate_(out_rate),
      per_block_(kBlockSamples / frame_samples),
      unit_(AlignedFrames(input.sample_rate(), out_rate, frame_samples)),
      chunk_frames_(RoundUp(int64_t(chunk_blocks) * per_block_)),
      pre_roll_(RoundUp(int64_t(pre_roll) * per_block_)),
      post_roll_(int64_t(post_roll) * per_block_),
      side_by_side_(input.frames() > 0 && input.SeeksExactly()) {}

template <typename Sample>
std::shared_ptr<ChunkInput<Sample>> ChunkReader<Sample>::Start() {
  // Side by side, only the chunk started last can reach the end of the input.
  if (done_ || (!filling_.empty() && (!side_by_side_ || MayBeLast(filling_.back())))) {
    return nullptr;
  }
  const int64_t start_frame = next_start_;
  const int64_t end_frame = next_start_ + chunk_frames_;
  const int64_t first_frame = std::max<int64_t>(0, start_frame - pre_roll_);
  next_start_ = end_frame;
  Filling filling{nullptr, InputAt(first_frame, false), 0, 0, 0};
  // Read up to the lookahead after the chunk and a little more: if the input ends in there,
  // the chunk takes the rest.
  filling.planned = InputAt(end_frame + post_roll_, true) - filling.start;
  filling.capacity = filling.planned + InputAt(int64_t(kLastChunkSlack) * per_block_, true);
  auto chunk = std::make_shared<ChunkInput<Sample>>(index_++, filling.capacity, channels_);
  chunk->start_frame = start_frame;
  chunk->end_frame = end_frame;
  chunk->first_frame = first_frame;
  chunk->lead_in = InputAt(start_frame, false) - filling.start;
  chunk->stands_for = InputAt(end_frame, false) - InputAt(start_frame, false);
  if (!side_by_side_) {
    const int64_t carried = carry_start_ + int64_t(carry_.size()) / channels_ - filling.start;
    filling.filled = std::clamp<int64_t>(carried, 0, filling.capacity);
    if (filling.filled > 0) {
      std::copy_n(carry_.begin() + (filling.start - carry_start_) * channels_,
                  filling.filled * channels_, chunk->samples_to_fill());
    }
    chunk->Publish(std::min(filling.filled, filling.planned));
  }
  filling.chunk = chunk;
  filling_.push_back(std::move(filling));
  return chunk;
}

template <typename Sample>
bool ChunkReader<Sample>::MayBeLast(const Filling& filling) const {
  return filling.start + filling.capacity > input_.frames();
}

template <typename Sample>
bool ChunkReader<Sample>::Fill(std::string* error) {
  while (!filling_.empty()) {
    for (size_t i = 0; i < filling_.size();) {
      Filling& filling = filling_[i];
      const int64_t before = filling.filled;
      if (!ReadBlock(filling, error)) return false;
      const bool at_input_end = filling.filled == before;
      if (!at_input_end && filling.filled < filling.capacity) {
        ++i;
        continue;
      }
      End(filling, at_input_end);
      filling_.erase(filling_.begin() + std::ptrdiff_t(i));
    }
  }
  return true;
}

template <typename Sample>
bool ChunkReader<Sample>::ReadBlock(Filling& filling, std::string* error) {
  const int64_t at = filling.start + filling.filled;
  if (side_by_side_ && position_ != at) {
    if (!input_.SeekTo(at)) {
      *error = input_.LastError();
      return false;
    }
  }
  const int64_t want =
      std::min<int64_t>(Mp3Encoder::kBlockFrames, filling.capacity - filling.filled);
  Sample* into = filling.chunk->samples_to_fill() + filling.filled * channels_;
  int64_t read = 0;
  if constexpr (std::is_same_v<Sample, short>) {
    read = input_.ReadShorts(into, want);
  } else {
    read = input_.ReadFloats(into, want);
  }
  if (read < 0) {
    *error = input_.LastError();
    return false;
  }
  position_ = at + read;
  filling.filled += read;
  filling.chunk->Publish(std::min(filling.filled, filling.planned));
  return true;
}

// Tells the chunk's thread how much it has; the input ending within the chunk makes it the last.
template <typename Sample>
void ChunkReader<Sample>::End(Filling& filling, bool at_input_end) {
  ChunkInput<Sample>& chunk = *filling.chunk;
  done_ = done_ || at_input_end;
  if (!side_by_side_) {
    const int64_t next_first = InputAt(std::max<int64_t>(0, next_start_ - pre_roll_), false);
    const int64_t keep = std::clamp<int64_t>(next_first - filling.start, 0, filling.filled);
    carry_.assign(chunk.samples_to_fill() + keep * channels_,
                  chunk.samples_to_fill() + filling.filled * channels_);
    carry_start_ = filling.start + keep;
  }
  chunk.End(at_input_end ? filling.filled : filling.planned, at_input_end);
}

template <typename Sample>
void ChunkReader<Sample>::Abandon() {
  for (Filling& filling : filling_) filling.chunk->Abandon();
  filling_.clear();
}

template <typename Sample>
int64_t ChunkReader<Sample>::RoundUp(int64_t frames) const {
  return (frames + unit_ - 1) / unit_ * unit_;
}

template <typename Sample>
int64_t ChunkReader<Sample>::InputAt(int64_t frame, bool round_up) const {
  const int64_t scaled = frame * frame_samples_ * input_.sample_rate();
  return (scaled + (round_up ? out_rate_ - 1 : 0)) / out_rate_;
}

template class ChunkReader<short>;
template class ChunkReader<float>;

}  // namespace gogo
