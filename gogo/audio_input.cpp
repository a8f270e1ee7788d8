#include "audio_input.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

namespace gogo {
namespace {

InputStream& StreamOf(void* user) { return *static_cast<InputStream*>(user); }

sf_count_t StreamLength(void* user) { return static_cast<sf_count_t>(StreamOf(user).length); }

sf_count_t StreamSeek(sf_count_t offset, int whence, void* user) {
  InputStream& stream = StreamOf(user);
  sf_count_t target = offset;
  if (whence == SEEK_CUR) target = stream.position + offset;
  if (whence == SEEK_END) target = StreamLength(user) + offset;
  if (target < 0) return -1;
  stream.position = target;
  return target;
}

sf_count_t StreamRead(void* destination, sf_count_t count, void* user) {
  InputStream& stream = StreamOf(user);
  if (count <= 0 || stream.position >= stream.length) return 0;
  const size_t read =
      stream.ReadAt(stream.position, {static_cast<unsigned char*>(destination), size_t(count)});
  stream.position += sf_count_t(read);
  return sf_count_t(read);
}

sf_count_t StreamWrite(const void*, sf_count_t, void*) { return 0; }

sf_count_t StreamTell(void* user) { return StreamOf(user).position; }

SF_VIRTUAL_IO kStreamIo = {StreamLength, StreamSeek, StreamRead, StreamWrite, StreamTell};

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

constexpr const char* kBrokenList =
    "hat einen beschädigten Kopf: ein Eintrag ihrer Infoliste ist länger als die ganze Datei";
constexpr const char* kUnfinished =
    "enthält mehr Audiodaten, als ihr Kopf angibt (eine nicht fertig geschriebene Aufnahme?); "
    "sie wird nicht kodiert und bleibt, wie sie ist";

}  // namespace

AudioInput::~AudioInput() {
  if (file_ != nullptr) sf_close(file_);
}

size_t InputStream::ReadAt(int64_t offset, std::span<unsigned char> into) const {
  if (offset < 0 || offset >= length) return 0;
  into = into.first(size_t(std::min<int64_t>(int64_t(into.size()), length - offset)));
  size_t done = 0;
  if (descriptor < 0) {
    std::copy_n(bytes.begin() + offset, into.size(), into.begin());
    done = into.size();
  }
  while (done < into.size()) {
    const ssize_t count =
        pread(descriptor, into.data() + done, into.size() - done, off_t(offset) + off_t(done));
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) break;
    done += size_t(count);
  }
  for (const HeaderPatch& patch : patches) {
    for (size_t i = 0; i < patch.bytes.size(); ++i) {
      const int64_t at = patch.offset + int64_t(i) - offset;
      if (at >= 0 && at < int64_t(done)) into[size_t(at)] = patch.bytes[i];
    }
  }
  return done;
}

std::unique_ptr<AudioInput> AudioInput::FromDescriptor(int descriptor, std::string* error) {
  std::unique_ptr<AudioInput> input(new AudioInput);
  input->stream_.descriptor = descriptor;
  struct stat status {};
  if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
    input->file_ = sf_open_fd(descriptor, SFM_READ, &input->info_, SF_FALSE);
    return Check(std::move(input), error);
  }
  input->stream_.length = status.st_size;
  return Open(std::move(input), error);
}

std::unique_ptr<AudioInput> AudioInput::FromMemory(std::span<const unsigned char> bytes,
                                                   std::string* error) {
  std::unique_ptr<AudioInput> input(new AudioInput);
  input->stream_.bytes = bytes;
  input->stream_.length = int64_t(bytes.size());
  return Open(std::move(input), error);
}

// Walks the container, then opens the input as the walk says: as it is, or with the header
// patched to claim the audio the file really holds.
std::unique_ptr<AudioInput> AudioInput::Open(std::unique_ptr<AudioInput> input,
                                             std::string* error) {
  InputStream& stream = input->stream_;
  input->walk_ = WalkContainer(
      [&stream](int64_t offset, std::span<unsigned char> into) {
        return stream.ReadAt(offset, into);
      },
      stream.length);
  switch (input->walk_.verdict) {
    case Verdict::kBrokenList:
      *error = kBrokenList;
      return nullptr;
    case Verdict::kClaimsLess:
      if (input->walk_.patches.empty()) {
        *error = kUnfinished;
        return nullptr;
      }
      stream.patches = input->walk_.patches;
      break;
    case Verdict::kNotWalked:
    case Verdict::kWhole:
    case Verdict::kUnplaced:
      break;
  }
  // A file read as it is goes straight to the library, exactly as it always did.
  input->file_ = stream.descriptor >= 0 && stream.patches.empty()
                     ? sf_open_fd(stream.descriptor, SFM_READ, &input->info_, SF_FALSE)
                     : sf_open_virtual(&kStreamIo, SFM_READ, &input->info_, &stream);
  // Whole frames of plain samples: the library must read as many as the walk found.
  const ContainerWalk& walk = input->walk_;
  input->reads_less_ = walk.block_align > 0 &&
                       (walk.verdict == Verdict::kWhole || !stream.patches.empty()) &&
                       input->info_.frames < (walk.audio_end - walk.audio_start) / walk.block_align;
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
  if (input->info_.frames == 0) {
    *error = "enthält keine Audiodaten";
    return nullptr;
  }
  return input;
}

std::string AudioInput::KeepReason() const {
  if (walk_.verdict == Verdict::kClaimsLess && !reads_less_) {
    return "enthält mehr Audiodaten, als ihr Kopf angibt (eine nicht fertig geschriebene "
           "Aufnahme?); kodiert ist alles bis zum Ende ihrer Audiodaten, und sie bleibt erhalten";
  }
  if (walk_.verdict == Verdict::kUnplaced || reads_less_) {
    return "ist nicht durchweg so aufgebaut, wie ihr Format es vorsieht; kodiert ist, was die "
           "Audiobibliothek darin liest, und sie bleibt erhalten";
  }
  return {};
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
