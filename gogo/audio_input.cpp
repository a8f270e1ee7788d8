#include "audio_input.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <functional>
#include <string_view>
#include <vector>

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

// libsndfile's reason for a failure, in German. Its first codes are public and stable; the
// rest keep their number.
std::string LibraryReason(int code) {
  switch (code) {
    case SF_ERR_UNRECOGNISED_FORMAT:
      return "unbekanntes Format";
    case SF_ERR_SYSTEM:
      return "ein Fehler des Systems beim Lesen";
    case SF_ERR_MALFORMED_FILE:
      return "die Datei ist fehlerhaft aufgebaut";
    case SF_ERR_UNSUPPORTED_ENCODING:
      return "diese Kodierung wird nicht unterstützt";
    default:
      return "Fehler Nr. " + std::to_string(code) + " der Audiobibliothek";
  }
}

// Containers of chunks (WAVE, AIFF) where a writer that never finished leaves the audio
// after a data chunk that claims less, or nothing.
bool ListsItsChunks(int format) {
  const int container = format & SF_FORMAT_TYPEMASK;
  return container == SF_FORMAT_WAV || container == SF_FORMAT_WAVEX || container == SF_FORMAT_AIFF;
}

// Where the chunks that the header parse found end: the container's own header, then each
// chunk with its header and pad byte. The first chunk listed is the container itself.
int64_t ChunksEnd(SNDFILE* file) {
  int64_t end = 12;
  bool container = true;
  for (SF_CHUNK_ITERATOR* chunks = sf_get_chunk_iterator(file, nullptr); chunks != nullptr;
       chunks = sf_next_chunk_iterator(chunks)) {
    SF_CHUNK_INFO chunk{};
    if (sf_get_chunk_size(chunks, &chunk) != SF_ERR_NO_ERROR) return -1;
    if (!container) end += 8 + int64_t(chunk.datalen) + (chunk.datalen & 1);
    container = false;
  }
  return end;
}

// How far after the chunks to look for audio (a few seconds of it), and the least that counts
// as audio rather than a stray byte or two.
constexpr size_t kTailLook = 1 << 20;
constexpr int64_t kLeastAudio = 1024;

// Reads `size` bytes at `offset` of the input; false where it holds fewer.
using ReadAt = std::function<bool(int64_t offset, unsigned char* bytes, size_t size)>;

uint32_t LittleEndian32(const unsigned char* bytes) {
  return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
         uint32_t(bytes[3]) << 24;
}

// Whether every entry of the WAVE file's LIST chunks fits into the file. The audio library
// counts an entry's length into 32 bits and, for one longer than any file, turns round and
// reads the same bytes for ever; such a file never reaches it. Only the chunk headers are read.
bool ListEntriesFit(const ReadAt& read_at, int64_t file_size) {
  unsigned char head[12];
  if (!read_at(0, head, 12) || std::memcmp(head, "RIFF", 4) != 0 ||
      std::memcmp(head + 8, "WAVE", 4) != 0) {
    return true;
  }
  constexpr int kMostChunks = 4096;
  int64_t offset = 12;
  for (int chunks = 0; chunks < kMostChunks && read_at(offset, head, 8); ++chunks) {
    const int64_t length = LittleEndian32(head + 4);
    if (std::memcmp(head, "LIST", 4) == 0) {
      const int64_t end = std::min(file_size, offset + 8 + length);
      int64_t entry = offset + 12;
      for (int entries = 0; entries < kMostChunks && entry + 8 <= end; ++entries) {
        if (!read_at(entry, head, 8)) break;
        const int64_t entry_length = LittleEndian32(head + 4);
        if (entry_length > file_size) return false;
        entry += 8 + entry_length + (entry_length & 1);
      }
    }
    offset += 8 + length + (length & 1);
  }
  return true;
}

constexpr const char* kBrokenList =
    "hat einen beschädigten Kopf: ein Eintrag ihrer Infoliste ist länger als die ganze Datei";

}  // namespace

AudioInput::~AudioInput() {
  if (file_ != nullptr) sf_close(file_);
}

std::unique_ptr<AudioInput> AudioInput::FromDescriptor(int descriptor, std::string* error) {
  std::unique_ptr<AudioInput> input(new AudioInput);
  input->descriptor_ = descriptor;
  struct stat status {};
  if (fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) &&
      !ListEntriesFit(
          [descriptor](int64_t offset, unsigned char* bytes, size_t size) {
            return pread(descriptor, bytes, size, offset) == ssize_t(size);
          },
          status.st_size)) {
    *error = kBrokenList;
    return nullptr;
  }
  input->file_ = sf_open_fd(descriptor, SFM_READ, &input->info_, SF_FALSE);
  return Check(std::move(input), error);
}

std::unique_ptr<AudioInput> AudioInput::FromMemory(std::span<const unsigned char> bytes,
                                                   std::string* error) {
  std::unique_ptr<AudioInput> input(new AudioInput);
  input->memory_.bytes = bytes;
  const auto read_at = [bytes](int64_t offset, unsigned char* out, size_t size) {
    if (offset < 0 || uint64_t(offset) + size > bytes.size()) return false;
    std::memcpy(out, bytes.data() + offset, size);
    return true;
  };
  if (!ListEntriesFit(read_at, int64_t(bytes.size()))) {
    *error = kBrokenList;
    return nullptr;
  }
  input->file_ = sf_open_virtual(&kMemoryIo, SFM_READ, &input->info_, &input->memory_);
  return Check(std::move(input), error);
}

std::unique_ptr<AudioInput> AudioInput::Check(std::unique_ptr<AudioInput> input,
                                              std::string* error) {
  if (input->file_ == nullptr) {
    *error = "keine lesbare Audiodatei (" + LibraryReason(sf_error(nullptr)) + ")";
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
  if (ListsItsChunks(input->info_.format) && input->HoldsAudioAfterItsChunks()) {
    *error =
        "enthält mehr Audiodaten, als ihr Kopf angibt (eine nicht fertig geschriebene "
        "Aufnahme?); sie wird nicht kodiert und bleibt, wie sie ist";
    return nullptr;
  }
  if (input->info_.frames == 0) {
    *error = "enthält keine Audiodaten";
    return nullptr;
  }
  return input;
}

// Bytes after the last chunk are audio, unless they are a few stray ones, zeros (padding) or
// a tag that some programs append to the file (ID3v2, ID3v1).
bool AudioInput::HoldsAudioAfterItsChunks() const {
  SF_EMBED_FILE_INFO whole{};
  const int64_t end = ChunksEnd(file_);
  if (end < 0 || sf_command(file_, SFC_GET_EMBED_FILE_INFO, &whole, sizeof whole) != 0 ||
      whole.length - end < kLeastAudio) {
    return false;
  }
  std::vector<unsigned char> tail(std::min<size_t>(kTailLook, size_t(whole.length - end)));
  tail.resize(ReadRaw(end, tail));
  const std::string_view head(reinterpret_cast<const char*>(tail.data()),
                              std::min<size_t>(3, tail.size()));
  if (head == "ID3" || head == "TAG") return false;
  return std::any_of(tail.begin(), tail.end(), [](unsigned char byte) { return byte != 0; });
}

size_t AudioInput::ReadRaw(int64_t offset, std::span<unsigned char> into) const {
  if (descriptor_ < 0) {
    const std::span<const unsigned char> bytes = memory_.bytes;
    if (offset >= int64_t(bytes.size())) return 0;
    const size_t count = std::min(into.size(), bytes.size() - size_t(offset));
    std::copy_n(bytes.begin() + offset, count, into.begin());
    return count;
  }
  size_t done = 0;
  while (done < into.size()) {
    const ssize_t count =
        pread(descriptor_, into.data() + done, into.size() - done, off_t(offset) + off_t(done));
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) break;
    done += size_t(count);
  }
  return done;
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

std::string AudioInput::LastError() const { return LibraryReason(sf_error(file_)); }

}  // namespace gogo
