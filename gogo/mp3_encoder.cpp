#include "mp3_encoder.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

#include "mp3_frames.h"

namespace gogo {
namespace {

MPEG_mode ModeFor(char letter) {
  switch (letter) {
    case 'm':
      return MONO;
    case 's':
      return STEREO;
    default:
      return JOINT_STEREO;
  }
}

// Bitrates above 160 kbit/s exist only in MPEG-1, at 32, 44.1 and 48 kHz. For a lower input
// rate the library would keep its rate and quietly lower the bitrate; instead it resamples to
// the MPEG-1 rate of the input's family, so the frames get the bitrate (under VBR: the lowest)
// that was asked for.
constexpr int kHighestLowRateBitrate = 160;

int Mpeg1RateFor(int sample_rate) {
  if (sample_rate % 11025 == 0) return 44100;
  if (sample_rate % 12000 == 0) return 48000;
  if (sample_rate % 8000 == 0) return 32000;
  return 44100;
}

// The quality that switches the psychoacoustic model off: libmp3lame's fastest setting.
constexpr int kNoPsyQuality = 9;

void Configure(lame_t lame, const EncoderSettings& settings, int channels, int sample_rate) {
  lame_set_num_channels(lame, channels);
  lame_set_in_samplerate(lame, sample_rate);
  // The ReplayGain scan costs time and its result is not used.
  lame_set_findReplayGain(lame, 0);
  lame_set_write_id3tag_automatic(lame, 0);
  if (settings.vbr_quality) {
    lame_set_VBR(lame, vbr_default);
    lame_set_VBR_quality(lame, static_cast<float>(*settings.vbr_quality));
    if (settings.bitrate) lame_set_VBR_min_bitrate_kbps(lame, *settings.bitrate);
  } else if (settings.bitrate) {
    lame_set_VBR(lame, vbr_off);
    lame_set_brate(lame, *settings.bitrate);
  }
  if (settings.bitrate && *settings.bitrate > kHighestLowRateBitrate && sample_rate < 32000) {
    lame_set_out_samplerate(lame, Mpeg1RateFor(sample_rate));
  }
  // A single channel has no stereo to code; the library takes mono input as mono.
  if (settings.mode && (channels == 2 || settings.mode == 'm')) {
    lame_set_mode(lame, ModeFor(*settings.mode));
  }
  if (settings.quality) lame_set_quality(lame, *settings.quality);
  if (settings.no_psy) lame_set_quality(lame, kNoPsyQuality);
}

// The library writes its info frame into a frame of the stream's own bitrate, and none where
// that frame is too small for it: side info and the 156 bytes of the Xing and LAME parts.
bool LibraryWritesInfoFrame(lame_t lame) {
  if (lame_get_VBR(lame) != vbr_off) return true;
  const bool mpeg1 = lame_get_out_samplerate(lame) >= 32000;
  const bool mono = lame_get_num_channels(lame) == 1 || lame_get_mode(lame) == MONO;
  const int side_info = (mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17)) + 4 +
                        (lame_get_error_protection(lame) != 0 ? 2 : 0);
  const int frame_size =
      (mpeg1 ? 144000 : 72000) * lame_get_brate(lame) / lame_get_out_samplerate(lame);
  return frame_size >= side_info + 156;
}

// An info frame for `lame`'s stream, made by the library at a variable bitrate (whose info frame
// always fits) and told that the stream is of constant bitrate. Empty on failure.
std::vector<unsigned char> InfoFrameFor(lame_t lame) {
  lame_t probe = lame_init();
  if (probe == nullptr) return {};
  lame_set_num_channels(probe, lame_get_num_channels(lame));
  lame_set_in_samplerate(probe, lame_get_out_samplerate(lame));
  lame_set_out_samplerate(probe, lame_get_out_samplerate(lame));
  lame_set_mode(probe, lame_get_mode(lame));
  lame_set_error_protection(probe, lame_get_error_protection(lame));
  lame_set_findReplayGain(probe, 0);
  lame_set_write_id3tag_automatic(probe, 0);
  lame_set_VBR(probe, vbr_default);
  std::vector<unsigned char> frame;
  std::vector<unsigned char> stream(16384);
  if (lame_init_params(probe) >= 0 &&
      lame_encode_flush(probe, stream.data(), static_cast<int>(stream.size())) >= 0) {
    frame.resize(lame_get_lametag_frame(probe, nullptr, 0));
    if (!frame.empty()) frame.resize(lame_get_lametag_frame(probe, frame.data(), frame.size()));
  }
  lame_close(probe);
  const std::optional<FrameHeader> header = ParseFrameHeader(frame);
  if (!header || frame.size() < size_t(header->HeadSize() + 8 + 4 + 4 + 100 + 4 + 36) ||
      std::memcmp(frame.data() + header->HeadSize(), "Xing", 4) != 0) {
    return {};
  }
  unsigned char* tag = frame.data() + header->HeadSize();
  std::memcpy(tag, "Info", 4);
  unsigned char* extension = tag + 8 + 4 + 4 + 100 + 4;
  const int delay = lame_get_encoder_delay(lame);
  extension[9] = static_cast<unsigned char>((extension[9] & 0xF0) | 1);  // constant bitrate
  extension[20] = static_cast<unsigned char>(std::min(255, lame_get_brate(lame)));
  extension[21] = static_cast<unsigned char>(delay >> 4);
  extension[22] = static_cast<unsigned char>(((delay & 0x0F) << 4) | (extension[22] & 0x0F));
  return frame;
}

}  // namespace

Mp3Encoder::Mp3Encoder(lame_t lame, int channels) : lame_(lame), channels_(channels) {}

Mp3Encoder::~Mp3Encoder() { lame_close(lame_); }

std::unique_ptr<Mp3Encoder> Mp3Encoder::Create(const EncoderSettings& settings, int channels,
                                               int sample_rate,
                                               std::vector<unsigned char> id3v2_tag,
                                               std::string* error) {
  lame_t lame = lame_init();
  if (lame == nullptr) {
    *error = "der MP3-Kodierer lässt sich nicht einrichten (zu wenig Speicher?)";
    return nullptr;
  }
  std::unique_ptr<Mp3Encoder> encoder(new Mp3Encoder(lame, channels));
  Configure(lame, settings, channels, sample_rate);
  if (lame_init_params(lame) < 0) {
    *error =
        "der MP3-Kodierer lehnt diese Einstellungen für " + std::to_string(sample_rate) + " Hz ab";
    return nullptr;
  }
  // The library's bound for one call is 1.25 bytes per output sample plus 7200; resampling up
  // turns one input frame into several output samples.
  const int in_rate = sample_rate;
  const int out_rate = lame_get_out_samplerate(lame);
  const int upsampling = std::max(1, (out_rate + in_rate - 1) / in_rate);
  encoder->mp3_buffer_.resize(size_t(kBlockFrames) * upsampling * 5 / 4 + 7200);
  if (!LibraryWritesInfoFrame(lame)) encoder->own_info_frame_ = InfoFrameFor(lame);
  encoder->id3v2_tag_ = std::move(id3v2_tag);
  return encoder;
}

std::optional<std::span<const unsigned char>> Mp3Encoder::Result(int bytes) {
  if (bytes < 0) return std::nullopt;
  const std::span<const unsigned char> stream(mp3_buffer_.data(), static_cast<size_t>(bytes));
  if (own_info_frame_.empty()) return stream;
  Tally(stream);
  if (placeholder_given_) return stream;
  placeholder_given_ = true;
  with_placeholder_.assign(own_info_frame_.size(), 0);
  with_placeholder_.insert(with_placeholder_.end(), stream.begin(), stream.end());
  return std::span<const unsigned char>(with_placeholder_);
}

void Mp3Encoder::Tally(std::span<const unsigned char> bytes) {
  music_crc_ = InfoCrc(bytes, music_crc_);
  const int64_t first = audio_bytes_;
  audio_bytes_ += int64_t(bytes.size());
  // Each frame's header tells where the next one starts; it may come in two pieces.
  for (int64_t at = std::max(first, next_frame_ + header_bytes_); at < audio_bytes_;) {
    header_[size_t(header_bytes_++)] = bytes[size_t(at++ - first)];
    if (header_bytes_ < 4) continue;
    header_bytes_ = 0;
    const std::optional<FrameHeader> header = ParseFrameHeader(header_);
    if (!header) {
      next_frame_ = std::numeric_limits<int64_t>::max() / 2;
      return;
    }
    frame_starts_.push_back(next_frame_);
    next_frame_ += header->Size();
    at = next_frame_;
  }
}

std::optional<std::span<const unsigned char>> Mp3Encoder::Encode(const short* frames, int count) {
  const int size = static_cast<int>(mp3_buffer_.size());
  // The interleaved calls always read two channels, so mono goes through the planar one.
  const int bytes =
      channels_ == 2 ? lame_encode_buffer_interleaved(lame_, const_cast<short*>(frames), count,
                                                      mp3_buffer_.data(), size)
                     : lame_encode_buffer(lame_, frames, frames, count, mp3_buffer_.data(), size);
  return Result(bytes);
}

std::optional<std::span<const unsigned char>> Mp3Encoder::Encode(const float* frames, int count) {
  const int size = static_cast<int>(mp3_buffer_.size());
  const int bytes = channels_ == 2 ? lame_encode_buffer_interleaved_ieee_float(
                                         lame_, frames, count, mp3_buffer_.data(), size)
                                   : lame_encode_buffer_ieee_float(lame_, frames, frames, count,
                                                                   mp3_buffer_.data(), size);
  return Result(bytes);
}

std::optional<std::span<const unsigned char>> Mp3Encoder::Flush() {
  return Result(lame_encode_flush(lame_, mp3_buffer_.data(), static_cast<int>(mp3_buffer_.size())));
}

std::vector<unsigned char> Mp3Encoder::LametagFrame() const {
  if (!own_info_frame_.empty()) {
    std::vector<unsigned char> frame = own_info_frame_;
    const StreamFacts facts{int64_t(frame_starts_.size()), &frame_starts_, audio_bytes_, padding(),
                            music_crc_};
    return RewriteInfoFrame(frame, facts) ? frame : std::vector<unsigned char>();
  }
  std::vector<unsigned char> frame(lame_get_lametag_frame(lame_, nullptr, 0));
  if (!frame.empty()) frame.resize(lame_get_lametag_frame(lame_, frame.data(), frame.size()));
  return frame;
}

}  // namespace gogo
