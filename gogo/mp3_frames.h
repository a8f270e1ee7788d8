#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace gogo {

// What the four header bytes of an MPEG audio layer III frame say.
struct FrameHeader {
  int version = 3;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
  int bitrate_index = 0;
  int rate_index = 0;
  bool padding = false;
  bool has_crc = false;
  int channels = 2;

  bool mpeg1() const { return version == 3; }
  int SampleRate() const;
  int Bitrate() const;  // kbit/s
  int Size() const;     // the whole frame in bytes
  int SideInfoSize() const;
  // Header, CRC and side info: what comes before the frame's main data area.
  int HeadSize() const { return 4 + (has_crc ? 2 : 0) + SideInfoSize(); }
  // The farthest main_data_begin reaches back.
  int MostReachBack() const { return mpeg1() ? 511 : 255; }
  // The highest bitrate index of this MPEG version.
  static constexpr int kTopBitrateIndex = 14;
};

std::optional<FrameHeader> ParseFrameHeader(std::span<const unsigned char> bytes);

// One frame taken out of the bit reservoir: its head and its main data as whole bytes. The
// data once started `reach_back` bytes before the frame's own area.
struct Mp3Frame {
  FrameHeader header;
  std::vector<unsigned char> head;  // header, CRC and side info
  std::vector<unsigned char> data;  // the granules' bits, ancillary bytes left out
  int reach_back = 0;
};

// Splits what an encoder wrote into frames. Fails on anything but a gapless run of layer III
// frames of one version, rate and channel count, or on main data outside what came before.
bool SplitFrames(std::span<const unsigned char> stream, std::vector<Mp3Frame>* frames,
                 std::string* error);

// Gives `frame` a larger area by a higher bitrate index; its audio stays as it is. The frame
// CRC, if any, is renewed when the frame is laid.
void SetBitrateIndex(Mp3Frame& frame, int bitrate_index);

// Lays frames one after another into one stream, each frame's main data as early as the
// reservoir allows: right after the previous frame's data, at most MostReachBack() bytes before
// its own area. Bytes go to `sink` once no later frame can reach back into them.
class FrameJoiner {
 public:
  using Sink = std::function<bool(std::span<const unsigned char>)>;
  explicit FrameJoiner(Sink sink) : sink_(std::move(sink)) {}

  // The reservoir that the next frame finds if `frames` are laid before it.
  int FreeAfter(std::span<const Mp3Frame> frames) const;
  // Rewrites the frame's main_data_begin (and CRC) for its place. False when the frame's data
  // would not end within its own area, or the sink fails.
  bool Add(Mp3Frame frame);
  bool Finish();

  int64_t frames() const { return static_cast<int64_t>(frame_starts_.size()); }
  int64_t bytes() const { return written_ + pending_bytes_; }
  // Where each frame starts, counted from the first frame.
  const std::vector<int64_t>& frame_starts() const { return frame_starts_; }

 private:
  struct Pending {
    std::vector<unsigned char> head;
    std::vector<unsigned char> area;
    int64_t area_start;
  };
  bool Emit(int64_t keep_from);

  Sink sink_;
  int64_t data_end_ = 0;  // main-data positions: the areas of all frames laid end to end
  int64_t area_end_ = 0;
  int most_reach_back_ = 511;
  std::deque<Pending> pending_;
  int64_t pending_bytes_ = 0;
  int64_t written_ = 0;
  std::vector<int64_t> frame_starts_;
};

// CRC-16 as the info frame uses it (polynomial 0x8005, reflected, starting from 0).
uint16_t InfoCrc(std::span<const unsigned char> bytes, uint16_t crc = 0);

// What the info frame must say about the stream that follows it.
struct StreamFacts {
  int64_t frames = 0;                                  // audio frames, the info frame not counted
  const std::vector<int64_t>* frame_starts = nullptr;  // from the first audio frame
  int64_t audio_bytes = 0;                             // the audio frames together
  int padding = 0;                                     // samples added at the end
  uint16_t music_crc = 0;                              // InfoCrc over the audio frames
};

// Rewrites a library-made info frame (Xing/Info with a LAME extension) for `facts`: counts,
// seek table, padding, music length and the two CRCs. False if `frame` is no such frame.
bool RewriteInfoFrame(std::vector<unsigned char>& frame, const StreamFacts& facts);

}  // namespace gogo
