#include "encoded_chunk_joiner.h"

#include <algorithm>
#include <utility>

namespace gogo {

EncodedChunkJoiner::EncodedChunkJoiner(OutputFile& output, int per_block)
    : output_(output),
      per_block_(per_block),
      joiner_([this](std::span<const unsigned char> bytes) { return Write(bytes); }) {}

bool EncodedChunkJoiner::Take(EncodedChunk& chunk, std::string* error) {
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

bool EncodedChunkJoiner::InfoFrame(std::vector<unsigned char>* frame) {
  const StreamFacts facts{joiner_.frames(), &joiner_.frame_starts(), audio_bytes_, padding_,
                          music_crc_};
  if (!info_frame_.empty() &&
      (info_frame_.size() != placeholder_size_ || !RewriteInfoFrame(info_frame_, facts))) {
    not_joined_ = true;
    return false;
  }
  *frame = std::move(info_frame_);
  return true;
}

bool EncodedChunkJoiner::Write(std::span<const unsigned char> bytes) {
  pending_.insert(pending_.end(), bytes.begin(), bytes.end());
  music_crc_ = InfoCrc(bytes, music_crc_);
  audio_bytes_ += int64_t(bytes.size());
  return pending_.size() < kWriteSize || Flush();
}

bool EncodedChunkJoiner::Flush() {
  const bool written = output_.Write(pending_, &write_error_);
  pending_.clear();
  return written;
}

bool EncodedChunkJoiner::Failed(std::string* error) {
  *error = write_error_.empty() ? "die MP3-Rahmen lassen sich nicht zusammenfügen" : write_error_;
  return false;
}

bool EncodedChunkJoiner::Lay(Mp3Frame frame, std::string* error) {
  if (joiner_.Add(std::move(frame))) return true;
  return Failed(error);
}

// Picks the first frame of `chunk` to keep: one whose main data fits the reservoir that the
// held frames before it leave, if need be after giving the last of them a higher bitrate.
bool EncodedChunkJoiner::Join(EncodedChunk& chunk, int64_t* lay_from, std::string* error) {
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

}  // namespace gogo
