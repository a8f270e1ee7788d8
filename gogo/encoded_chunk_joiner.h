#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "encoded_chunk.h"
#include "mp3_frames.h"
#include "output_file.h"

namespace gogo {

// The join window, in blocks of 1152 samples: frames before a kept frame that bring the
// encoder's memory in line; how far the join may move before and after the chunk boundary to
// find a frame that fits the reservoir; the psychoacoustic lookahead after the last frame that
// may be kept.
constexpr int kWarmUp = 8;
constexpr int kJoinBefore = 3;
constexpr int kJoinAfter = 2;
// So each chunk's encoder starts this many blocks before the chunk and runs on this many after.
constexpr int kPreRoll = kWarmUp + kJoinBefore;
constexpr int kPostRoll = kJoinAfter + 2;

// Lays the frames of the encoded chunks into the output in order, one stream as if one encoder
// had made it: for each join it chooses the frame where the next chunk takes over, and at the
// end it rewrites the first chunk's info frame for the joined stream.
class EncodedChunkJoiner {
 public:
  // `per_block`: frames in a block of 1152 samples.
  EncodedChunkJoiner(OutputFile& output, int per_block);

  // Takes the chunks in order. False on a write failure or where no join fits (then
  // not_joined() is true); `error` holds one line for the user.
  bool Take(EncodedChunk& chunk, std::string* error);
  bool not_joined() const { return not_joined_; }

  // After the last chunk: the info frame for the joined stream, to go over the placeholder the
  // stream starts with; empty where the library writes none. A frame that does not describe
  // the joined stream is never given: where the library's frame cannot be rewritten for it,
  // false, and not_joined() is true.
  bool InfoFrame(std::vector<unsigned char>* frame);

 private:
  // Frames come in pieces of a few hundred bytes; they reach the file in larger writes.
  bool Write(std::span<const unsigned char> bytes);
  bool Flush();
  bool Failed(std::string* error);
  bool Lay(Mp3Frame frame, std::string* error);
  bool Join(EncodedChunk& chunk, int64_t* lay_from, std::string* error);

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

}  // namespace gogo
