#pragma once

#include <lame/lame.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace gogo {

struct EncoderSettings {
  std::optional<int> bitrate;         // constant bitrate in kbit/s, or the lowest under VBR
  std::optional<double> vbr_quality;  // variable bitrate at this target quality
  std::optional<char> mode;           // 'm', 's' or 'j'
  std::optional<int> quality;         // 0 to 9
  bool no_psy = false;
};

// libmp3lame set up for one file. The caller writes Id3v2Tag() first, then what the Encode
// calls and Flush return, and at last puts LametagFrame() over the first frame, which starts
// right after the ID3v2 tag.
class Mp3Encoder {
 public:
  // The most frames one Encode call takes.
  static constexpr int kBlockFrames = 8192;

  ~Mp3Encoder();
  Mp3Encoder(const Mp3Encoder&) = delete;
  Mp3Encoder& operator=(const Mp3Encoder&) = delete;

  // `id3v2_tag` is what stands before the audio (ID3v2TagFor), empty for none.
  static std::unique_ptr<Mp3Encoder> Create(const EncoderSettings& settings, int channels,
                                            int sample_rate, std::vector<unsigned char> id3v2_tag,
                                            std::string* error);

  const std::vector<unsigned char>& Id3v2Tag() const { return id3v2_tag_; }

  // Interleaved frames; the span returned stays valid until the next call. Nothing on failure.
  std::optional<std::span<const unsigned char>> Encode(const short* frames, int count);
  std::optional<std::span<const unsigned char>> Encode(const float* frames, int count);
  std::optional<std::span<const unsigned char>> Flush();

  // The info frame with the final length and seek table. Where the library writes none (a
  // constant bitrate whose frames are too small to hold it), the encoder makes its own in a
  // larger frame, and the stream starts with a placeholder for it all the same.
  std::vector<unsigned char> LametagFrame() const;

  // Samples per channel in one frame, and the rate the frames carry.
  int frame_samples() const { return lame_get_framesize(lame_); }
  int output_rate() const { return lame_get_out_samplerate(lame_); }
  // The silent samples Flush added after the input.
  int padding() const { return lame_get_encoder_padding(lame_); }

 private:
  explicit Mp3Encoder(lame_t lame, int channels);
  std::optional<std::span<const unsigned char>> Result(int bytes);
  // Counts what the stream holds for the encoder's own info frame.
  void Tally(std::span<const unsigned char> bytes);

  lame_t lame_;
  int channels_;
  std::vector<unsigned char> id3v2_tag_;
  std::vector<unsigned char> mp3_buffer_;

  // Only for the encoder's own info frame: the frame to fill in, and what it must say.
  std::vector<unsigned char> own_info_frame_;
  bool placeholder_given_ = false;
  std::vector<unsigned char> with_placeholder_;
  uint16_t music_crc_ = 0;
  int64_t audio_bytes_ = 0;
  std::vector<int64_t> frame_starts_;
  int64_t next_frame_ = 0;
  std::array<unsigned char, 4> header_{};
  int header_bytes_ = 0;
};

}  // namespace gogo
