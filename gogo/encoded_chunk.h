#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mp3_frames.h"

namespace gogo {

// What a thread made of one chunk, handed to the joiner.
//
// One rule: a plain value that the encoding thread fills alone and then moves, under the
// threads' lock, to the caller; from then on only the caller touches it.
struct EncodedChunk {
  int64_t index = 0;
  int64_t first_frame = 0;  // the frame the chunk's encoder started with, counted in the file
  int64_t start_frame = 0;  // the first frame the chunk stands for
  int64_t end_frame = 0;    // and the one after its last (for the last chunk: unused)
  bool last = false;
  std::vector<Mp3Frame> frames;            // from first_frame on
  std::vector<unsigned char> placeholder;  // the first chunk's stream starts with it
  std::vector<unsigned char> info_frame;   // the library's info frame, of the first chunk only
  int padding = 0;                         // of the last chunk
  std::string error;                       // one line for the user; then nothing else counts
  bool not_joined = false;                 // its frames could not be taken apart
};

}  // namespace gogo
