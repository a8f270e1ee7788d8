#include "container_walk.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace gogo {
namespace {

// Enough for every header field the walk reads at one place.
using Head = std::array<unsigned char, 48>;

// A chain of chunks this long is no real file; the walk stops there.
constexpr int kMostChunks = 4096;

// The chunk ids that follow the audio in real files: metadata that writers append when they
// close a recording, or that tag editors add later.
constexpr std::string_view kTrailingIds[] = {
    "LIST", "id3 ", "ID3 ", "bext", "iXML", "cue ", "smpl", "inst", "acid", "JUNK", "junk", "PAD ",
    "fact", "axml", "umid", "_PMX", "cart", "DISP", "PEAK", "plst", "afsp", "levl", "FLLR", "NAME",
    "AUTH", "(c) ", "ANNO", "COMT", "MARK", "INST", "APPL", "MIDI", "AESD", "FVER", "CHAN",
    // W64 (the first four bytes of the GUID) and CAF
    "list", "levl", "summ", "mark", "info", "uuid", "strg", "free", "regn", "midi", "ovvw", "peak",
    "edct", "umid", "chan"};

// The twelve bytes that follow the four characters in every GUID of a W64 chunk, and in the
// GUID of its outer "riff".
constexpr unsigned char kW64Guid[] = {0xF3, 0xAC, 0xD3, 0x11, 0x8C, 0xD1,
                                      0x00, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A};
constexpr unsigned char kW64Riff[] = {0x2E, 0x91, 0xCF, 0x11, 0xA5, 0xD6,
                                      0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00};

uint32_t Little32(const unsigned char* b) {
  return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}
uint32_t Big32(const unsigned char* b) {
  return uint32_t(b[3]) | uint32_t(b[2]) << 8 | uint32_t(b[1]) << 16 | uint32_t(b[0]) << 24;
}
uint64_t Little64(const unsigned char* b) { return Little32(b) | uint64_t(Little32(b + 4)) << 32; }
uint64_t Big64(const unsigned char* b) { return uint64_t(Big32(b)) << 32 | Big32(b + 4); }
uint16_t Little16(const unsigned char* b) { return uint16_t(b[0] | b[1] << 8); }
uint16_t Big16(const unsigned char* b) { return uint16_t(b[0] << 8 | b[1]); }

void PutLittle(std::vector<unsigned char>& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}
void PutBig(std::vector<unsigned char>& out, uint64_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

bool IsPrintableId(const unsigned char* id) {
  return std::all_of(id, id + 4, [](unsigned char c) { return c >= 0x20 && c < 0x7F; });
}

bool IsTrailingId(const unsigned char* id) {
  const std::string_view text(reinterpret_cast<const char*>(id), 4);
  return std::find(std::begin(kTrailingIds), std::end(kTrailingIds), text) !=
         std::end(kTrailingIds);
}

// Whether a chunk that follows audio, or an ID3v2 or APEv2 tag, may start at `bytes`. The
// search for the end of an unfinished recording asks at every byte of its audio, so a table of
// the first two characters answers most of them.
bool MayStartTrailer(const unsigned char* bytes) {
  static const std::vector<bool> kPairs = [] {
    std::vector<bool> pairs(1 << 16);
    const auto add = [&](std::string_view start) {
      pairs[size_t(static_cast<unsigned char>(start[0])) << 8 |
            static_cast<unsigned char>(start[1])] = true;
    };
    for (std::string_view known : kTrailingIds) add(known);
    add("ID");
    add("AP");
    return pairs;
  }();
  if (!kPairs[size_t(bytes[0]) << 8 | bytes[1]]) return false;
  return std::memcmp(bytes, "ID3", 3) == 0 || std::memcmp(bytes, "APET", 4) == 0 ||
         IsTrailingId(bytes);
}

// ID3v2 stores its size in four bytes of seven bits each.
bool SyncSafe(const unsigned char* b, int64_t* value) {
  if (((b[0] | b[1] | b[2] | b[3]) & 0x80) != 0) return false;
  *value = int64_t(b[0]) << 21 | int64_t(b[1]) << 14 | int64_t(b[2]) << 7 | int64_t(b[3]);
  return true;
}

// The whole size of an ID3v2 tag whose ten header (or footer) bytes are `b`, or 0.
int64_t Id3v2Size(const unsigned char* b, const char* magic) {
  int64_t size = 0;
  if (std::memcmp(b, magic, 3) != 0 || b[3] < 2 || b[3] > 4 || b[4] == 0xFF ||
      !SyncSafe(b + 6, &size)) {
    return 0;
  }
  return 10 + size + ((b[5] & 0x10) != 0 ? 10 : 0);
}

// An APEv2 header or footer: "APETAGEX", version, size of items and footer, count, flags.
constexpr int64_t kApeBlock = 32;
constexpr uint32_t kApeHasHeader = 1u << 31;
constexpr uint32_t kApeIsHeader = 1u << 29;

class Walker {
 public:
  Walker(const ReadAt& read_at, int64_t file_size) : read_at_(read_at), size_(file_size) {}

  ContainerWalk Walk();

 private:
  bool Read(int64_t offset, unsigned char* into, size_t count) const {
    return offset >= 0 && read_at_(offset, {into, count}) == count;
  }
  uint32_t Get32(const unsigned char* b) const { return big_endian_ ? Big32(b) : Little32(b); }
  uint16_t Get16(const unsigned char* b) const { return big_endian_ ? Big16(b) : Little16(b); }
  void Put(std::vector<unsigned char>& out, uint64_t value, int bytes) const {
    big_endian_ ? PutBig(out, value, bytes) : PutLittle(out, value, bytes);
  }

  // Reads the header of the chunk at `offset`: its id and the length of its body as the header
  // says (for CAF's audio: -1, up to the end). False where no chunk header is there.
  bool ReadChunk(int64_t offset, ContainerChunk* chunk, int64_t* length) const;
  int64_t After(int64_t body_end, int64_t length) const;
  bool WalkChunks();
  void ReadFormat(const ContainerChunk& chunk);
  bool ListEntriesFit(const ContainerChunk& chunk) const;
  void TakeAudioChunk(const ContainerChunk& chunk, int64_t size);
  int64_t AppendedTagsStart() const;
  bool PlacesTheRest(int64_t offset, int64_t end,
                     std::vector<ContainerChunk>* found = nullptr) const;
  bool ZerosUpTo(int64_t offset, int64_t end) const;
  int64_t RealAudioEnd(int64_t tags_start) const;
  void Patch();

  const ReadAt& read_at_;
  const int64_t size_;
  bool big_endian_ = false;
  int64_t first_chunk_ = 12;
  ContainerWalk walk_;
  size_t audio_index_ = 0;
  const ContainerChunk& audio() const { return walk_.chunks[audio_index_]; }
  int64_t ds64_body_ = -1;
  int64_t ds64_data_size_ = -1;
  int64_t aiff_offset_ = 0;  // the SSND chunk's own offset to its first frame
  bool plain_samples_ = false;
};

ContainerWalk Walker::Walk() {
  Head head{};
  if (!Read(0, head.data(), 12)) return walk_;
  if (Read(0, head.data(), 40) && std::memcmp(head.data(), "riff", 4) == 0 &&
      std::memcmp(head.data() + 4, kW64Riff, 12) == 0 &&
      std::memcmp(head.data() + 24, "wave", 4) == 0 &&
      std::memcmp(head.data() + 28, kW64Guid, 12) == 0) {
    walk_.container = Container::kW64;
    first_chunk_ = 40;
  }
  if (std::memcmp(head.data(), "caff", 4) == 0) {
    walk_.container = Container::kCaf;
    first_chunk_ = 8;
  }
  const std::string_view outer(reinterpret_cast<const char*>(head.data()), 4);
  const std::string_view form(reinterpret_cast<const char*>(head.data() + 8), 4);
  if (form == "WAVE" && outer == "RIFF") walk_.container = Container::kRiff;
  if (form == "WAVE" && outer == "RIFX") walk_.container = Container::kRifx;
  if (form == "WAVE" && (outer == "RF64" || outer == "BW64")) walk_.container = Container::kRf64;
  if (form == "AIFF" && outer == "FORM") walk_.container = Container::kAiff;
  if (form == "AIFC" && outer == "FORM") walk_.container = Container::kAifc;
  if (walk_.container == Container::kOther) return walk_;
  big_endian_ = walk_.container == Container::kRifx || walk_.container == Container::kAiff ||
                walk_.container == Container::kAifc || walk_.container == Container::kCaf;
  if (!WalkChunks()) {
    if (walk_.verdict != Verdict::kBrokenList) walk_.verdict = Verdict::kUnplaced;
    return walk_;
  }
  const int64_t tags_start = AppendedTagsStart();
  const int64_t chunk_end = audio().body_offset + audio().body_size;
  const int64_t pad = audio().body_size & 1;
  // A claim that ends within a frame, with the rest of the frame after it, is cut short: what
  // follows is audio, not a pad byte.
  const int64_t claimed = walk_.claimed_end - walk_.audio_start;
  const bool cut_in_frame =
      walk_.block_align > 0 && claimed % walk_.block_align != 0 &&
      walk_.claimed_end + walk_.block_align - claimed % walk_.block_align <= tags_start;
  std::vector<ContainerChunk> trailing;
  // An audio chunk of odd length may lack its pad byte.
  if (walk_.claimed_end >= size_ ||
      (!cut_in_frame && (PlacesTheRest(chunk_end + pad, tags_start, &trailing) ||
                         (pad != 0 && PlacesTheRest(chunk_end, tags_start, &(trailing = {})))))) {
    walk_.audio_end = std::min(walk_.claimed_end, size_);
    walk_.verdict = Verdict::kWhole;
  } else {
    walk_.verdict = Verdict::kClaimsLess;
    walk_.audio_end = RealAudioEnd(tags_start);
    PlacesTheRest(walk_.audio_end, tags_start, &(trailing = {}));
    Patch();
  }
  walk_.chunks.insert(walk_.chunks.end(), trailing.begin(), trailing.end());
  return walk_;
}

bool Walker::ReadChunk(int64_t offset, ContainerChunk* chunk, int64_t* length) const {
  Head head{};
  int header = 8;
  if (walk_.container == Container::kW64) {
    header = 24;
    if (!Read(offset, head.data(), 24) || std::memcmp(head.data() + 4, kW64Guid, 12) != 0) {
      return false;
    }
    // W64 counts the header into the length.
    *length = int64_t(Little64(head.data() + 16) & 0x7FFFFFFFFFFFFFFF) - 24;
    if (*length < 0) return false;
  } else if (walk_.container == Container::kCaf) {
    header = 12;
    if (!Read(offset, head.data(), 12)) return false;
    *length = int64_t(Big64(head.data() + 4));
  } else {
    if (!Read(offset, head.data(), 8)) return false;
    *length = Get32(head.data() + 4);
  }
  if (!IsPrintableId(head.data()) || *length < -1 ||
      (*length == -1 && std::memcmp(head.data(), "data", 4) != 0)) {
    return false;
  }
  *chunk = {std::string(reinterpret_cast<const char*>(head.data()), 4), offset, offset + header, 0};
  chunk->body_size =
      *length < 0
          ? size_ - chunk->body_offset
          : std::clamp<int64_t>(*length, 0, std::max<int64_t>(0, size_ - chunk->body_offset));
  return true;
}

// Where the next chunk starts after a body of `length` bytes that ends at `body_end`. In RIFF
// and AIFF that is after the pad byte of an odd length, or right there when the writer left the
// pad byte out (the library reads such files too).
int64_t Walker::After(int64_t body_end, int64_t length) const {
  // W64 starts each chunk on a multiple of eight, CAF packs them without gaps.
  if (walk_.container == Container::kW64) return (body_end + 7) / 8 * 8;
  if (walk_.container == Container::kCaf || (length & 1) == 0) return body_end;
  unsigned char id[4];
  const bool padded = Read(body_end + 1, id, 4) && IsPrintableId(id);
  return !padded && Read(body_end, id, 4) && IsPrintableId(id) ? body_end : body_end + 1;
}

// Walks the chunks up to the audio chunk; the chunks after the audio are only taken once they
// are shown to fit (PlacesTheRest).
bool Walker::WalkChunks() {
  int64_t offset = first_chunk_;
  ContainerChunk chunk;
  int64_t size = 0;
  for (int count = 0; count < kMostChunks && ReadChunk(offset, &chunk, &size); ++count) {
    const bool audio = chunk.id == "data" || chunk.id == "SSND";
    // RF64 keeps the length of its audio in "ds64"; the chunk's own field says 0xFFFFFFFF.
    if (audio && walk_.container == Container::kRf64 && size == 0xFFFFFFFF &&
        ds64_data_size_ >= 0) {
      size = ds64_data_size_;
      chunk.body_size = std::clamp<int64_t>(size, 0, size_ - chunk.body_offset);
    }
    walk_.chunks.push_back(chunk);
    if (chunk.id == "LIST" && !ListEntriesFit(chunk)) {
      walk_.verdict = Verdict::kBrokenList;
      return false;
    }
    ReadFormat(chunk);
    if (audio) {
      audio_index_ = walk_.chunks.size() - 1;
      TakeAudioChunk(chunk, size);
      return walk_.block_align > 0 || !plain_samples_;
    }
    offset = After(chunk.body_offset + size, size);
  }
  return false;
}

// Takes the frame layout from "fmt " (WAVE), "COMM" (AIFF) and the sizes from "ds64" (RF64).
void Walker::ReadFormat(const ContainerChunk& chunk) {
  Head body{};
  const size_t length = size_t(std::min<int64_t>(chunk.body_size, int64_t(body.size())));
  if (!Read(chunk.body_offset, body.data(), length)) return;
  if (chunk.id == "fmt " && length >= 16) {
    uint16_t tag = Get16(body.data());
    if (tag == 0xFFFE && length >= 26) tag = Get16(body.data() + 24);
    // Plain integers, floats, A-law and mu-law: each frame is block_align bytes.
    plain_samples_ = tag == 1 || tag == 3 || tag == 6 || tag == 7;
    walk_.block_align = plain_samples_ ? Get16(body.data() + 12) : 0;
  } else if (chunk.id == "COMM" && length >= 18) {
    const int channels = Get16(body.data());
    const int bits = Get16(body.data() + 6);
    int bytes = (bits + 7) / 8;
    plain_samples_ = true;
    if (walk_.container == Container::kAifc && length >= 22) {
      const std::string_view codec(reinterpret_cast<const char*>(body.data() + 18), 4);
      if (codec == "fl32" || codec == "FL32") {
        bytes = 4;
      } else if (codec == "fl64" || codec == "FL64") {
        bytes = 8;
      } else if (codec == "ulaw" || codec == "ULAW" || codec == "alaw" || codec == "ALAW") {
        bytes = 1;
      } else {
        plain_samples_ = codec == "NONE" || codec == "sowt" || codec == "twos" || codec == "raw " ||
                         codec == "in24" || codec == "in32";
      }
    }
    walk_.block_align = plain_samples_ ? channels * bytes : 0;
  } else if (chunk.id == "desc" && length >= 32) {
    // CAF: rate, format, flags, bytes and frames per packet, channels, bits.
    const std::string_view codec(reinterpret_cast<const char*>(body.data() + 8), 4);
    plain_samples_ = codec == "lpcm" || codec == "ulaw" || codec == "alaw";
    walk_.block_align =
        plain_samples_ && Big32(body.data() + 20) == 1 ? int(Big32(body.data() + 16)) : 0;
  } else if (chunk.id == "ds64" && length >= 24) {
    ds64_body_ = chunk.body_offset;
    ds64_data_size_ = int64_t(Little64(body.data() + 8) & 0x7FFFFFFFFFFFFFFF);
  }
}

// The audio library counts an entry's length into 32 bits and, for one longer than any file,
// turns round and reads the same bytes for ever; such a file never reaches it. A writer that
// left out an entry's pad byte is read as the library reads it: the next entry right after.
bool Walker::ListEntriesFit(const ContainerChunk& chunk) const {
  Head head{};
  const int64_t end = chunk.body_offset + chunk.body_size;
  int64_t entry = chunk.body_offset + 4;
  for (int entries = 0; entries < kMostChunks && entry + 8 <= end; ++entries) {
    if (!Read(entry, head.data(), 8)) break;
    const int64_t length = Get32(head.data() + 4);
    if (length > size_) return false;
    entry = After(entry + 8 + length, length);
  }
  return true;
}

void Walker::TakeAudioChunk(const ContainerChunk& chunk, int64_t size) {
  int64_t claimed = size;
  walk_.audio_start = chunk.body_offset;
  if (chunk.id == "SSND") {
    Head body{};
    aiff_offset_ = Read(chunk.body_offset, body.data(), 8) ? Big32(body.data()) : 0;
    walk_.audio_start = chunk.body_offset + 8 + aiff_offset_;
    claimed = std::max<int64_t>(0, claimed - 8 - aiff_offset_);
  } else if (walk_.container == Container::kCaf) {
    // An edit count comes first; a length of -1 says the audio runs to the end.
    walk_.audio_start = chunk.body_offset + 4;
    claimed = size < 0 ? size_ - walk_.audio_start : std::max<int64_t>(0, size - 4);
  }
  walk_.claimed_end = walk_.audio_start + claimed;
}

// Where the tags that programs append at the very end begin: ID3v1, APEv2 (with or without
// its header) and ID3v2 with a footer, in any order; the file's end when there are none.
int64_t Walker::AppendedTagsStart() const {
  int64_t end = size_;
  for (bool found = true; found;) {
    found = false;
    Head tail{};
    if (end >= 128 && Read(end - 128, tail.data(), 3) && std::memcmp(tail.data(), "TAG", 3) == 0) {
      end -= 128;
      found = true;
    }
    if (end >= kApeBlock && Read(end - kApeBlock, tail.data(), kApeBlock) &&
        std::memcmp(tail.data(), "APETAGEX", 8) == 0 &&
        (Little32(tail.data() + 20) & kApeIsHeader) == 0) {
      const int64_t whole = int64_t(Little32(tail.data() + 12)) +
                            ((Little32(tail.data() + 20) & kApeHasHeader) != 0 ? kApeBlock : 0);
      if (whole <= end) {
        end -= whole;
        found = true;
      }
    }
    if (end >= 10 && Read(end - 10, tail.data(), 10)) {
      const int64_t whole = Id3v2Size(tail.data(), "3DI");
      if (whole > 0 && whole <= end) {
        end -= whole;
        found = true;
      }
    }
  }
  return end;
}

// Whether everything from `offset` on is what may follow the audio: chunks that fit, pad bytes,
// ID3v2 and APEv2 tags, then the appended tags that start at `end`, or zeros.
bool Walker::PlacesTheRest(int64_t offset, int64_t end, std::vector<ContainerChunk>* found) const {
  Head head{};
  for (int count = 0; count < kMostChunks; ++count) {
    if (offset == end || offset == size_) return true;
    const size_t have = size_t(std::min<int64_t>(10, size_ - offset));
    head.fill(0);
    if (offset > end || !Read(offset, head.data(), have)) return false;
    if (const int64_t whole = Id3v2Size(head.data(), "ID3"); whole > 0) {
      offset += whole;
      continue;
    }
    Head ape{};
    if (Read(offset, ape.data(), kApeBlock) && std::memcmp(ape.data(), "APETAGEX", 8) == 0 &&
        (Little32(ape.data() + 20) & kApeIsHeader) != 0) {
      offset += kApeBlock + Little32(ape.data() + 12);
      continue;
    }
    ContainerChunk chunk;
    int64_t length = 0;
    if (ReadChunk(offset, &chunk, &length) && length >= 0) {
      const int64_t next = chunk.body_offset + length;
      if (found != nullptr && next <= end) found->push_back(chunk);
      // The last chunk may lack its pad byte.
      if (next == end || next == size_ || After(next, length) == end) return true;
      if (next > end) return false;
      offset = After(next, length);
      continue;
    }
    return ZerosUpTo(offset, end);
  }
  return false;
}

bool Walker::ZerosUpTo(int64_t offset, int64_t end) const {
  std::vector<unsigned char> block(65536);
  while (offset < end) {
    const size_t count = size_t(std::min<int64_t>(end - offset, int64_t(block.size())));
    if (read_at_(offset, {block.data(), count}) != count) return false;
    if (std::any_of(block.begin(), block.begin() + ptrdiff_t(count),
                    [](unsigned char byte) { return byte != 0; })) {
      return false;
    }
    offset += int64_t(count);
  }
  return true;
}

// The audio of an unfinished recording runs from its claimed end up to the first place from
// which the rest of the file is what may follow audio (chunks a writer appends at the close,
// tags), or else up to the appended tags. Only ids that such chunks use start the search, so
// loud audio that happens to look like a chunk header does not end it.
int64_t Walker::RealAudioEnd(int64_t tags_start) const {
  std::vector<unsigned char> block(1 << 20);
  for (int64_t offset = walk_.claimed_end; offset < tags_start;) {
    const size_t count = size_t(std::min<int64_t>(tags_start - offset, int64_t(block.size())));
    const size_t read = read_at_(offset, {block.data(), count});
    if (read < 4) break;
    for (size_t at = 0; at + 4 <= read; ++at) {
      if (MayStartTrailer(block.data() + at) && PlacesTheRest(offset + int64_t(at), tags_start)) {
        return offset + int64_t(at);
      }
    }
    offset += int64_t(read) - 3;
  }
  return tags_start;
}

// Lays the real length of the audio, in whole frames, over the header fields that claim it.
void Walker::Patch() {
  if (walk_.block_align <= 0) return;
  const int64_t frames = (walk_.audio_end - walk_.audio_start) / walk_.block_align;
  const int64_t bytes = frames * walk_.block_align;
  const auto patch = [this](int64_t offset, uint64_t value, int width) {
    HeaderPatch p{offset, {}};
    Put(p.bytes, value, width);
    walk_.patches.push_back(std::move(p));
  };
  const uint64_t most = 0xFFFFFFFF;
  switch (walk_.container) {
    case Container::kRiff:
    case Container::kRifx:
      if (uint64_t(bytes) > most - 64) return;
      patch(4, std::min<uint64_t>(most, uint64_t(size_ - 8)), 4);
      patch(audio().offset + 4, uint64_t(bytes), 4);
      break;
    case Container::kRf64:
      if (ds64_body_ < 0) return;
      patch(ds64_body_, uint64_t(size_ - 8), 8);
      patch(ds64_body_ + 8, uint64_t(bytes), 8);
      patch(ds64_body_ + 16, uint64_t(frames), 8);
      patch(audio().offset + 4, most, 4);
      break;
    case Container::kAiff:
    case Container::kAifc: {
      const ContainerChunk* comm = walk_.Find("COMM");
      if (comm == nullptr || uint64_t(bytes) > most - 64) return;
      patch(4, std::min<uint64_t>(most, uint64_t(size_ - 8)), 4);
      patch(comm->body_offset + 2, uint64_t(frames), 4);
      patch(audio().offset + 4, uint64_t(bytes + 8 + aiff_offset_), 4);
      break;
    }
    case Container::kW64:
      patch(16, uint64_t(size_), 8);
      patch(audio().offset + 16, uint64_t(bytes + 24), 8);
      break;
    case Container::kCaf:
      patch(audio().offset + 4, uint64_t(bytes + 4), 8);
      break;
    case Container::kOther:
      break;
  }
}

}  // namespace

const ContainerChunk* ContainerWalk::Find(std::string_view id) const {
  for (const ContainerChunk& chunk : chunks) {
    if (chunk.id == id) return &chunk;
  }
  return nullptr;
}

ContainerWalk WalkContainer(const ReadAt& read_at, int64_t file_size) {
  return Walker(read_at, file_size).Walk();
}

}  // namespace gogo
