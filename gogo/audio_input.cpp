#include "audio_input.h"

#include <algorithm>
#include <cmath>

namespace gogo {
namespace {

MemoryStream& StreamOf(void* user) { return *static_cast<MemoryStream*>(user); }

sf_count_t MemoryLength(void* user) { return static_cast<sf_count_t>(StreamOf(user).bytes.size()); }

sf_count_t MemorySeek(sf_count_t offset, int whence, void* user) {
  MemoryStream& stream = StreamOf(user);
  sf_count_t target = offset;
  if (whence == SEEK_CUR) target = stream.position + offset;
  if (whence == SEEK_END) target = MemoryLength(user) + offset;
  if (target < 0) return -1;
  stream.position = target;
  return target;
}

sf_count_t MemoryRead(void* destination, sf_count_t count, void* user) {
  MemoryStream& stream = StreamOf(user);
  const sf_count_t length = MemoryLength(user);
  if (count <= 0 || stream.position >= length) return 0;
  const sf_count_t available = std::min(count, length - stream.position);
  std::copy_n(stream.bytes.data() + stream.position, available,
              static_cast<unsigned char*>(destination));
  stream.position += available;
  return available;
}

sf_count_t MemoryWrite(const void*, sf_count_t, void*) { return 0; }

sf_count_t MemoryTell(void* user) { return StreamOf(user).position; }

SF_VIRTUAL_IO kMemoryIo = {MemoryLength, MemorySeek, MemoryRead, MemoryWrite, MemoryTell};

// Float files hold whatever their writer put there. A sample that is no number (NaN, infinity)
// is silence; finite ones are held within a thousand times full scale, far beyond any real
// over and well inside what the encoder library takes (it fails from about 1e5 on).
constexpr float kLoudest = 1000.0f;

// Rates the encoder resamples from at a useful speed. Below, each input sample becomes
// thousands of output samples (a header that says 1 Hz would take hours); above, no
// recording is made.
constexpr int kLowestRate = 1000;
constexpr int kHighestRate = 768000;

}  // namespace

AudioInput::~AudioInput() {
  if (file_ != nullptr) sf_close(file_);
}

std::unique_ptr<AudioInput> AudioInput::FromDescriptor(int descriptor, std::string* error) {
  std::unique_ptr<AudioInput> input(new AudioInput);
  input->file_ = sf_open_fd(descriptor, SFM_READ, &input->info_, SF_FALSE);
  return Check(std::move(input), error);
}

std::unique_ptr<AudioInput> AudioInput::FromMemory(std::span<const unsigned char> bytes,
                                                   std::string* error) {
  std::unique_ptr<AudioInput> input(new AudioInput);
  input->memory_.bytes = bytes;
  input->file_ = sf_open_virtual(&kMemoryIo, SFM_READ, &input->info_, &input->memory_);
  return Check(std::move(input), error);
}

std::unique_ptr<AudioInput> AudioInput::Check(std::unique_ptr<AudioInput> input,
                                              std::string* error) {
  if (input->file_ == nullptr) {
    *error = std::string("keine lesbare Audiodatei (") + sf_strerror(nullptr) + ")";
    return nullptr;
  }
  if (input->info_.channels < 1 || input->info_.channels > 2) {
    *error = "hat " + std::to_string(input->info_.channels) +
             " Kanäle; kodiert werden nur Mono und Stereo";
    return nullptr;
  }
  if (input->info_.samplerate < kLowestRate || input->info_.samplerate > kHighestRate) {
    *error = "hat eine Abtastrate von " + std::to_string(input->info_.samplerate) +
             " Hz; kodiert werden Abtastraten von " + std::to_string(kLowestRate) + " bis " +
             std::to_string(kHighestRate) + " Hz";
    return nullptr;
  }
  return input;
}

bool AudioInput::prefers_float() const {
  switch (info_.format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
      return false;
    default:
      return true;
  }
}

int64_t AudioInput::ReadShorts(short* buffer, int64_t frames) {
  const sf_count_t read = sf_readf_short(file_, buffer, frames);
  return read == 0 && sf_error(file_) != SF_ERR_NO_ERROR ? -1 : read;
}

int64_t AudioInput::ReadFloats(float* buffer, int64_t frames) {
  const sf_count_t read = sf_readf_float(file_, buffer, frames);
  if (read == 0 && sf_error(file_) != SF_ERR_NO_ERROR) return -1;
  for (float& sample : std::span(buffer, size_t(read) * size_t(info_.channels))) {
    sample = std::isfinite(sample) ? std::clamp(sample, -kLoudest, kLoudest) : 0.0f;
  }
  return read;
}

bool AudioInput::Rewind() { return SeekTo(0); }

bool AudioInput::SeeksExactly() const {
  // Compressed containers seek by decoding from a seek point: exact, but slow to do per block.
  const int container = info_.format & SF_FORMAT_TYPEMASK;
  if (!info_.seekable || container == SF_FORMAT_FLAC || container == SF_FORMAT_OGG ||
      container == SF_FORMAT_MPEG) {
    return false;
  }
  switch (info_.format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
      return true;
    default:
      return false;
  }
}

bool AudioInput::SeekTo(int64_t frame) { return sf_seek(file_, frame, SEEK_SET) == frame; }

std::string AudioInput::LastError() const { return sf_strerror(file_); }

}  // namespace gogo
