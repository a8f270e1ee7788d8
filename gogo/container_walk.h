#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace gogo {

// Reads bytes of the input at `offset` into `into`; returns how many it read (fewer at the end).
using ReadAt = std::function<size_t(int64_t offset, std::span<unsigned char> into)>;

// The containers whose audio sits in one chunk that a header claims the length of, so a writer
// that never finished can leave more audio than its header says.
enum class Container { kOther, kRiff, kRifx, kRf64, kAiff, kAifc, kW64, kCaf };

// One chunk at the top level of the container, as it lies in the file.
struct ContainerChunk {
  std::string id;           // its four characters ("LIST", "id3 ", "NAME", "(c) "); in W64
                            // the first four of its GUID ("list", "data")
  int64_t offset = 0;       // of its header
  int64_t body_offset = 0;  // of its first byte after the header
  int64_t body_size = 0;    // of its body as far as the file holds it
};

// Bytes to lay over the file's own header before the audio library reads it.
struct HeaderPatch {
  int64_t offset = 0;
  std::vector<unsigned char> bytes;
};

// What the walk makes of the input.
enum class Verdict {
  kNotWalked,   // not a container the walk knows; the audio library reads it alone
  kWhole,       // every byte is placed, and the audio is all where the header says
  kClaimsLess,  // audio runs on past what the header claims (an unfinished recording)
  kBrokenList,  // an entry of an info list claims more than the whole file
  kUnplaced,    // the container's chunks do not lead to its audio; bytes stay unaccounted
};

struct ContainerWalk {
  Container container = Container::kOther;
  Verdict verdict = Verdict::kNotWalked;
  // The top-level chunks in file order, the container's own header left out.
  std::vector<ContainerChunk> chunks;
  int64_t audio_start = 0;  // first byte of the audio
  int64_t claimed_end = 0;  // where the header says the audio ends
  int64_t audio_end = 0;    // where the audio the file holds really ends
  int block_align = 0;      // bytes of one frame, all channels; 0 where unknown
  // For kClaimsLess: what makes the audio library read the audio up to `audio_end` (whole
  // frames); empty where the walk cannot say it in the header's own terms.
  std::vector<HeaderPatch> patches;

  // The first chunk with this id, or nullptr.
  const ContainerChunk* Find(std::string_view id) const;
};

// Walks the container from its header to its last byte. Only headers, a few bytes at each
// boundary and trailing zeros are read, unless the header claims less audio than follows it;
// then the rest is searched for where the audio ends.
ContainerWalk WalkContainer(const ReadAt& read_at, int64_t file_size);

}  // namespace gogo
