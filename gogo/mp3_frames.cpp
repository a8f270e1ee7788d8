#include "mp3_frames.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace gogo {
namespace {

constexpr std::array<int, 15> kMpeg1Bitrates = {0,   32,  40,  48,  56,  64,  80, 96,
                                                112, 128, 160, 192, 224, 256, 320};
constexpr std::array<int, 15> kMpeg2Bitrates = {0,  8,  16, 24,  32,  40,  48, 56,
                                                64, 80, 96, 112, 128, 144, 160};
constexpr std::array<int, 3> kMpeg1Rates = {44100, 48000, 32000};

// Reads bits from the most significant one on.
class BitReader {
 public:
  BitReader(const unsigned char* bytes, int bit) : bytes_(bytes), bit_(bit) {}
  int Read(int count) {
    int value = 0;
    for (int i = 0; i < count; ++i, ++bit_) {
      value = (value << 1) | ((bytes_[bit_ / 8] >> (7 - bit_ % 8)) & 1);
    }
    return value;
  }
  void Skip(int count) { bit_ += count; }

 private:
  const unsigned char* bytes_;
  int bit_;
};

// The frame CRC of protected frames: polynomial 0x8005 from 0xFFFF over header bytes 2 and 3
// and the side info.
uint16_t FrameCrc(std::span<const unsigned char> head) {
  uint16_t crc = 0xFFFF;
  auto add = [&crc](unsigned char byte) {
    for (int bit = 7; bit >= 0; --bit) {
      const bool top = ((crc >> 15) ^ (byte >> bit)) & 1;
      crc = static_cast<uint16_t>(crc << 1);
      if (top) crc ^= 0x8005;
    }
  };
  add(head[2]);
  add(head[3]);
  for (size_t i = 6; i < head.size(); ++i) add(head[i]);
  return crc;
}

void SetReachBack(Mp3Frame& frame, int reach_back) {
  unsigned char* side = frame.head.data() + (frame.header.has_crc ? 6 : 4);
  if (frame.header.mpeg1()) {
    side[0] = static_cast<unsigned char>(reach_back >> 1);
    side[1] = static_cast<unsigned char>((side[1] & 0x7F) | ((reach_back & 1) << 7));
  } else {
    side[0] = static_cast<unsigned char>(reach_back);
  }
  if (frame.header.has_crc) {
    const uint16_t crc = FrameCrc(frame.head);
    frame.head[4] = static_cast<unsigned char>(crc >> 8);
    frame.head[5] = static_cast<unsigned char>(crc);
  }
}

// main_data_begin and the main data bits of all granules and channels.
struct SideInfo {
  int reach_back = 0;
  int data_bits = 0;
};

SideInfo ReadSideInfo(const FrameHeader& header, const unsigned char* frame) {
  BitReader reader(frame, 8 * (header.has_crc ? 6 : 4));
  SideInfo info;
  const bool mono = header.channels == 1;
  if (header.mpeg1()) {
    info.reach_back = reader.Read(9);
    reader.Skip((mono ? 5 : 3) + 4 * header.channels);
  } else {
    info.reach_back = reader.Read(8);
    reader.Skip(mono ? 1 : 2);
  }
  const int granules = header.mpeg1() ? 2 : 1;
  const int granule_bits = header.mpeg1() ? 59 : 63;
  for (int i = 0; i < granules * header.channels; ++i) {
    info.data_bits += reader.Read(12);
    reader.Skip(granule_bits - 12);
  }
  return info;
}

void PutBigEndian(unsigned char* at, uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i, value >>= 8) at[i] = static_cast<unsigned char>(value);
}

uint32_t GetBigEndian(const unsigned char* at) {
  return (uint32_t(at[0]) << 24) | (uint32_t(at[1]) << 16) | (uint32_t(at[2]) << 8) | at[3];
}

}  // namespace

int FrameHeader::SampleRate() const {
  return kMpeg1Rates[rate_index] / (version == 3 ? 1 : version == 2 ? 2 : 4);
}

int FrameHeader::Bitrate() const {
  return (mpeg1() ? kMpeg1Bitrates : kMpeg2Bitrates)[bitrate_index];
}

int FrameHeader::Size() const {
  return (mpeg1() ? 144 : 72) * Bitrate() * 1000 / SampleRate() + (padding ? 1 : 0);
}

int FrameHeader::SideInfoSize() const {
  if (mpeg1()) return channels == 1 ? 17 : 32;
  return channels == 1 ? 9 : 17;
}

std::optional<FrameHeader> ParseFrameHeader(std::span<const unsigned char> bytes) {
  if (bytes.size() < 4) return std::nullopt;
  const uint32_t word = GetBigEndian(bytes.data());
  if ((word >> 21) != 0x7FF || ((word >> 17) & 3) != 1) return std::nullopt;
  FrameHeader header;
  header.version = (word >> 19) & 3;
  header.bitrate_index = (word >> 12) & 15;
  header.rate_index = (word >> 10) & 3;
  if (header.version == 1 || header.bitrate_index == 0 || header.bitrate_index == 15 ||
      header.rate_index == 3) {
    return std::nullopt;
  }
  header.has_crc = ((word >> 16) & 1) == 0;
  header.padding = (word >> 9) & 1;
  header.channels = ((word >> 6) & 3) == 3 ? 1 : 2;
  return header;
}

bool SplitFrames(std::span<const unsigned char> stream, std::vector<Mp3Frame>* frames,
                 std::string* error) {
  std::vector<unsigned char> areas;  // the main data areas of all frames so far, end to end
  std::optional<FrameHeader> first;
  for (size_t at = 0; at < stream.size();) {
    std::optional<FrameHeader> header = ParseFrameHeader(stream.subspan(at));
    if (!header ||
        (first && (header->version != first->version || header->rate_index != first->rate_index ||
                   header->channels != first->channels))) {
      *error = "unerwartete Bytes im MP3-Strom bei " + std::to_string(at);
      return false;
    }
    if (!first) first = header;
    const size_t size = static_cast<size_t>(header->Size());
    const size_t head_size = static_cast<size_t>(header->HeadSize());
    if (size < head_size || at + size > stream.size()) {
      *error = "der MP3-Strom endet mitten in einem Rahmen";
      return false;
    }
    const SideInfo side = ReadSideInfo(*header, stream.data() + at);
    const int64_t area_start = static_cast<int64_t>(areas.size());
    areas.insert(areas.end(), stream.begin() + at + head_size, stream.begin() + at + size);
    const int64_t data_start = area_start - side.reach_back;
    const int64_t data_end = data_start + (side.data_bits + 7) / 8;
    if (data_start < 0 || data_end > static_cast<int64_t>(areas.size())) {
      *error = "ein MP3-Rahmen greift über das Bit-Reservoir hinaus";
      return false;
    }
    Mp3Frame frame;
    frame.header = *header;
    frame.head.assign(stream.begin() + at, stream.begin() + at + head_size);
    frame.data.assign(areas.begin() + data_start, areas.begin() + data_end);
    frame.reach_back = side.reach_back;
    frames->push_back(std::move(frame));
    at += size;
  }
  return true;
}

void SetBitrateIndex(Mp3Frame& frame, int bitrate_index) {
  frame.header.bitrate_index = bitrate_index;
  frame.head[2] = static_cast<unsigned char>((frame.head[2] & 0x0F) | (bitrate_index << 4));
}

int FrameJoiner::FreeAfter(std::span<const Mp3Frame> frames) const {
  int64_t data_end = data_end_;
  int64_t area_end = area_end_;
  int most = most_reach_back_;
  for (const Mp3Frame& frame : frames) {
    most = frame.header.MostReachBack();
    data_end = std::max(data_end, area_end - most) + static_cast<int64_t>(frame.data.size());
    area_end += frame.header.Size() - frame.header.HeadSize();
  }
  return static_cast<int>(std::min<int64_t>(most, area_end - data_end));
}

bool FrameJoiner::Add(Mp3Frame frame) {
  most_reach_back_ = frame.header.MostReachBack();
  const int64_t area = frame.header.Size() - frame.header.HeadSize();
  const int64_t start = std::max(data_end_, area_end_ - most_reach_back_);
  const int64_t end = start + static_cast<int64_t>(frame.data.size());
  if (end > area_end_ + area) return false;
  SetReachBack(frame, static_cast<int>(area_end_ - start));
  frame_starts_.push_back(written_ + pending_bytes_);
  pending_bytes_ += static_cast<int64_t>(frame.head.size()) + area;
  pending_.push_back({std::move(frame.head), std::vector<unsigned char>(area), area_end_});
  // The data may run through the areas of several frames before this one.
  for (auto it = pending_.rbegin(); it != pending_.rend(); ++it) {
    const int64_t from = std::max(start, it->area_start);
    const int64_t to = std::min(end, it->area_start + static_cast<int64_t>(it->area.size()));
    if (from < to) {
      std::memcpy(it->area.data() + (from - it->area_start), frame.data.data() + (from - start),
                  static_cast<size_t>(to - from));
    }
    if (it->area_start <= start) break;
  }
  data_end_ = end;
  area_end_ += area;
  return Emit(area_end_ - most_reach_back_);
}

// Writes out the frames whose areas end before `keep_from`: no later data can land there.
bool FrameJoiner::Emit(int64_t keep_from) {
  while (!pending_.empty() &&
         pending_.front().area_start + static_cast<int64_t>(pending_.front().area.size()) <=
             keep_from) {
    Pending& front = pending_.front();
    if (!sink_(front.head) || !sink_(front.area)) return false;
    const int64_t size = static_cast<int64_t>(front.head.size() + front.area.size());
    written_ += size;
    pending_bytes_ -= size;
    pending_.pop_front();
  }
  return true;
}

bool FrameJoiner::Finish() { return Emit(INT64_MAX); }

uint16_t InfoCrc(std::span<const unsigned char> bytes, uint16_t crc) {
  static constexpr std::array<uint16_t, 256> kTable = [] {
    std::array<uint16_t, 256> table{};
    for (int byte = 0; byte < 256; ++byte) {
      uint16_t value = static_cast<uint16_t>(byte);
      for (int bit = 0; bit < 8; ++bit) value = (value & 1) ? (value >> 1) ^ 0xA001 : value >> 1;
      table[byte] = value;
    }
    return table;
  }();
  for (unsigned char byte : bytes)
    crc = static_cast<uint16_t>((crc >> 8) ^ kTable[(crc ^ byte) & 0xFF]);
  return crc;
}

bool RewriteInfoFrame(std::vector<unsigned char>& frame, const StreamFacts& facts) {
  std::optional<FrameHeader> header = ParseFrameHeader(frame);
  if (!header || frame.size() < static_cast<size_t>(header->Size())) return false;
  unsigned char* tag = frame.data() + header->HeadSize();
  const size_t tag_room = frame.size() - static_cast<size_t>(header->HeadSize());
  if (tag_room < 8 || (std::memcmp(tag, "Info", 4) != 0 && std::memcmp(tag, "Xing", 4) != 0)) {
    return false;
  }
  const uint32_t flags = GetBigEndian(tag + 4);
  size_t at = 8;
  const size_t needed = at + ((flags & 1) ? 4 : 0) + ((flags & 2) ? 4 : 0) +
                        ((flags & 4) ? 100 : 0) + ((flags & 8) ? 4 : 0) + 36;
  if (tag_room < needed) return false;
  const int64_t total_bytes = static_cast<int64_t>(frame.size()) + facts.audio_bytes;
  if (flags & 1) {
    PutBigEndian(tag + at, static_cast<uint32_t>(facts.frames), 4);
    at += 4;
  }
  if (flags & 2) {
    PutBigEndian(tag + at, static_cast<uint32_t>(total_bytes), 4);
    at += 4;
  }
  if (flags & 4) {
    // Entry i: where the frame at i percent of the length ends, in 256ths of the audio bytes.
    const std::vector<int64_t>& starts = *facts.frame_starts;
    tag[at] = 0;
    for (int i = 1; i < 100 && facts.audio_bytes > 0; ++i) {
      const size_t next = static_cast<size_t>(facts.frames * i / 100) + 1;
      const int64_t end = next < starts.size() ? starts[next] : facts.audio_bytes;
      tag[at + i] =
          static_cast<unsigned char>(std::min<int64_t>(255, 256 * end / facts.audio_bytes));
    }
    at += 100;
  }
  if (flags & 8) at += 4;
  unsigned char* lame = tag + at;
  lame[22] = static_cast<unsigned char>((lame[22] & 0xF0) | ((facts.padding >> 8) & 0x0F));
  lame[23] = static_cast<unsigned char>(facts.padding);
  PutBigEndian(lame + 28, static_cast<uint32_t>(total_bytes), 4);
  PutBigEndian(lame + 32, facts.music_crc, 2);
  const size_t crc_at = static_cast<size_t>(lame + 34 - frame.data());
  PutBigEndian(lame + 34, InfoCrc(std::span(frame.data(), crc_at)), 2);
  return true;
}

}  // namespace gogo
