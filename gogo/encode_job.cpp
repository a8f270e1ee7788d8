#include "encode_job.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "audio_input.h"
#include "id3v2_tag.h"
#include "input_tags.h"
#include "mp3_encoder.h"
#include "parallel_encode.h"
#include "system_reason.h"

namespace gogo {
namespace {

void Report(const std::string& message) { std::fprintf(stderr, "gogo: %s\n", message.c_str()); }

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

// Whether percents are for someone: a terminal or a pipe that a front end reads. A log file
// (a regular file) stays free of them.
bool StderrTakesProgress() {
  struct stat status {};
  return fstat(STDERR_FILENO, &status) == 0 && !S_ISREG(status.st_mode);
}

// Shows whole percents, rewriting one line, at most ten times a second.
class Progress {
 public:
  explicit Progress(int64_t total) : total_(total), shown_(total > 0 && StderrTakesProgress()) {}
  ~Progress() { End(); }
  // Ends the percent line, so that a message after it starts on a line of its own.
  void End() {
    if (shown_ && percent_ >= 0) std::fputc('\n', stderr);
    shown_ = false;
  }
  void Update(int64_t done) {
    if (!shown_) return;
    const int percent = static_cast<int>(std::min<int64_t>(100, done * 100 / total_));
    if (percent == percent_) return;
    const auto now = std::chrono::steady_clock::now();
    if (percent < 100 && percent_ >= 0 && now - shown_at_ < std::chrono::milliseconds(100)) return;
    shown_at_ = now;
    percent_ = percent;
    std::fprintf(stderr, "\rgogo: %3d %%", percent);
    std::fflush(stderr);
  }

 private:
  int64_t total_;
  bool shown_;
  int percent_ = -1;
  std::chrono::steady_clock::time_point shown_at_;
};

// Opens the input read-only; nothing else ever touches it until -delete. O_NONBLOCK keeps a
// named pipe from hanging the open; it changes nothing for the regular files that are read.
int OpenInput(const std::string& path, struct stat& status) {
  const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (descriptor < 0) {
    Report(Quoted(path) +
           (errno == ENOENT ? ": Datei nicht gefunden" : ": " + SystemReason(errno)));
    return -1;
  }
  fstat(descriptor, &status);
  if (S_ISREG(status.st_mode)) return descriptor;
  Report(Quoted(path) + (S_ISDIR(status.st_mode) ? " ist ein Ordner, keine Audiodatei"
                                                 : " ist keine gewöhnliche Datei"));
  close(descriptor);
  return -1;
}

// An MP3 starts with an ID3v2 tag or an MPEG audio frame header (sync, then no reserved
// version, layer, bitrate or sample rate).
bool HoldsMp3Data(const std::string& path) {
  unsigned char head[4] = {};
  const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (descriptor < 0) return false;
  const ssize_t count = read(descriptor, head, sizeof head);
  close(descriptor);
  if (count >= 3 && head[0] == 'I' && head[1] == 'D' && head[2] == '3') return true;
  return count == 4 && head[0] == 0xFF && (head[1] & 0xE0) == 0xE0 && (head[1] & 0x18) != 0x08 &&
         (head[1] & 0x06) != 0 && (head[2] & 0xF0) != 0xF0 && (head[2] & 0x0C) != 0x0C;
}

// The output must neither be the input (under any name) nor a folder, and only an older MP3
// may be replaced: a stray word among the options must never turn a WAVE file into an output.
bool OutputPathIsUsable(const std::string& output, const struct stat& input) {
  struct stat status {};
  if (stat(output.c_str(), &status) != 0) return true;
  if (status.st_dev == input.st_dev && status.st_ino == input.st_ino) {
    Report("die Ausgabe " + Quoted(output) + " ist die Eingabe selbst; sie wird nie überschrieben");
    return false;
  }
  if (S_ISDIR(status.st_mode)) {
    Report("die Ausgabe " + Quoted(output) + " ist ein Ordner");
    return false;
  }
  if (!HoldsMp3Data(output)) {
    Report("die Ausgabe " + Quoted(output) +
           " gibt es schon, und sie ist keine MP3-Datei; sie wird nicht überschrieben");
    return false;
  }
  return true;
}

template <typename Sample>
Outcome EncodeSamples(AudioInput& input, Mp3Encoder& encoder, OutputFile& output,
                      const std::string& input_path,
                      const volatile std::sig_atomic_t& stop_requested) {
  std::vector<Sample> block(static_cast<size_t>(Mp3Encoder::kBlockFrames) * input.channels());
  Progress progress(input.frames());
  std::string error;
  int64_t done = 0;
  while (!stop_requested) {
    int64_t frames = 0;
    if constexpr (std::is_same_v<Sample, short>) {
      frames = input.ReadShorts(block.data(), Mp3Encoder::kBlockFrames);
    } else {
      frames = input.ReadFloats(block.data(), Mp3Encoder::kBlockFrames);
    }
    if (frames < 0) {
      progress.End();
      Report("Lesefehler in " + Quoted(input_path) + ": " + input.LastError());
      return Outcome::kFailed;
    }
    if (frames == 0) break;
    auto bytes = encoder.Encode(block.data(), static_cast<int>(frames));
    if (!bytes) {
      progress.End();
      Report("der MP3-Kodierer ist bei " + Quoted(input_path) + " gescheitert");
      return Outcome::kFailed;
    }
    if (!output.Write(*bytes, &error)) {
      progress.End();
      Report(error);
      return Outcome::kFailed;
    }
    done += frames;
    progress.Update(done);
  }
  return stop_requested ? Outcome::kStopped : Outcome::kDone;
}

// The threads -j asks for; without it, one per core this process may run on.
int ThreadCount(const Options& options) {
  if (options.threads > 0) return options.threads;
  cpu_set_t cores;
  CPU_ZERO(&cores);
  if (sched_getaffinity(0, sizeof(cores), &cores) != 0) return 1;
  return std::max(1, CPU_COUNT(&cores));
}

// Puts the info frame over the placeholder that the stream starts with, right after the ID3v2
// tag, and the file under its name: the last step on one thread and on several.
bool PlaceInfoFrameAndCommit(const Mp3Encoder& encoder, std::span<const unsigned char> info_frame,
                             OutputFile& output) {
  std::string error;
  const off_t first_frame = static_cast<off_t>(encoder.Id3v2Tag().size());
  if (!output.WriteAt(first_frame, info_frame, &error) || !output.Commit(&error)) {
    Report(error);
    return false;
  }
  return true;
}

// kNotJoined leaves the output unfinished, for a run on one thread.
ParallelOutcome EncodeOnThreads(const Options& options, AudioInput& input, Mp3Encoder& encoder,
                                const EncoderSettings& settings, OutputFile& output, int threads,
                                const volatile std::sig_atomic_t& stop_requested,
                                const ThreadedEncoding& threaded) {
  Progress progress(input.frames());
  const ParallelEncoding job{
      input, encoder, settings, output, threads, options.input, [&progress](int64_t done) {
        progress.Update(done);
      }};
  std::vector<unsigned char> info_frame;
  std::string error;
  const ParallelOutcome outcome = threaded(job, stop_requested, &info_frame, &error);
  progress.End();
  if (outcome == ParallelOutcome::kFailed) Report(error);
  if (outcome != ParallelOutcome::kDone) return outcome;
  return PlaceInfoFrameAndCommit(encoder, info_frame, output) ? ParallelOutcome::kDone
                                                              : ParallelOutcome::kFailed;
}

// Flushes the encoder; the library's info frame is then final.
bool Finish(Mp3Encoder& encoder, OutputFile& output) {
  std::string error;
  auto bytes = encoder.Flush();
  if (!bytes) {
    Report("der MP3-Kodierer ist am Ende gescheitert");
    return false;
  }
  if (!output.Write(*bytes, &error)) {
    Report(error);
    return false;
  }
  return PlaceInfoFrameAndCommit(encoder, encoder.LametagFrame(), output);
}

// True while `path` still leads to the file that was opened as `read`, unchanged since: a new
// take saved under that name meanwhile, over it or into it, is another file.
bool IsTheFileRead(const std::string& path, const struct stat& read) {
  struct stat now {};
  return stat(path.c_str(), &now) == 0 && now.st_dev == read.st_dev && now.st_ino == read.st_ino &&
         now.st_size == read.st_size && now.st_mtim.tv_sec == read.st_mtim.tv_sec &&
         now.st_mtim.tv_nsec == read.st_mtim.tv_nsec;
}

// Makes the new name durable before the input goes, so a crash cannot lose both. Only the
// very file that was read goes.
bool DeleteInput(const std::string& input, const struct stat& input_status,
                 const std::string& output) {
  const int folder = open(FolderOf(output).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    // A folder that cannot be synced at all (EINVAL) leaves the order to its file system; a
    // sync that fails may lose the new name, so the input must stay.
    const int error = fsync(folder) == 0 ? 0 : errno;
    close(folder);
    if (error != 0 && error != EINVAL) {
      Report(Quoted(output) +
             " ist geschrieben, aber nicht sicher auf dem Datenträger; die Eingabe " +
             Quoted(input) + " bleibt erhalten: " + SystemReason(error));
      return false;
    }
  }
  if (!IsTheFileRead(input, input_status)) {
    Report(Quoted(output) + " ist fertig, aber unter dem Namen " + Quoted(input) +
           " liegt inzwischen eine andere oder geänderte Datei; sie wird nicht gelöscht");
    return false;
  }
  if (unlink(input.c_str()) == 0) return true;
  Report(Quoted(output) + " ist fertig, aber die Eingabe " + Quoted(input) +
         " lässt sich nicht löschen: " + SystemReason(errno));
  return false;
}

// The input's tags; what had to be left out of them is told, one line each.
Tags TagsOf(const AudioInput& input, const std::string& path) {
  Tags tags = ReadInputTags(input);
  for (const std::string& note : tags.notes()) Report(Quoted(path) + ": " + note);
  return tags;
}

Outcome Encode(const Options& options, int input_descriptor, const struct stat& input_status,
               const volatile std::sig_atomic_t& stop_requested, OutputFile::Strategy strategy,
               const ThreadedEncoding& threaded) {
  std::string error;
  std::unique_ptr<AudioInput> input = AudioInput::FromDescriptor(input_descriptor, &error);
  if (!input) {
    Report(Quoted(options.input) + ": " + error);
    return Outcome::kFailed;
  }
  const std::string output_path = OutputPathFor(options);
  if (!OutputPathIsUsable(output_path, input_status)) return Outcome::kFailed;
  const EncoderSettings settings{options.bitrate, options.vbr_quality, options.mode,
                                 options.quality, options.no_psy};
  // Made once, so one thread and several write the very same tag.
  const std::vector<unsigned char> id3v2_tag = Id3v2TagFor(TagsOf(*input, options.input));
  std::unique_ptr<Mp3Encoder> encoder;
  std::unique_ptr<OutputFile> output;
  // A new encoder and a new output, holding the ID3v2 tag.
  auto start = [&] {
    output.reset();
    encoder =
        Mp3Encoder::Create(settings, input->channels(), input->sample_rate(), id3v2_tag, &error);
    output = encoder ? OutputFile::Create(output_path, strategy, &error) : nullptr;
    if (!output || !output->Write(encoder->Id3v2Tag(), &error)) {
      Report(error);
      return false;
    }
    return true;
  };
  if (!start()) return Outcome::kFailed;
  const int threads = ThreadCount(options);
  bool one_thread = threads == 1 || !SuitsParallelEncoding(*input, *encoder);
  if (!one_thread) {
    switch (EncodeOnThreads(options, *input, *encoder, settings, *output, threads, stop_requested,
                            threaded)) {
      case ParallelOutcome::kDone:
        break;
      case ParallelOutcome::kFailed:
        return Outcome::kFailed;
      case ParallelOutcome::kStopped:
        return Outcome::kStopped;
      case ParallelOutcome::kNotJoined:
        one_thread = true;
        if (!input->Rewind()) {
          Report("Lesefehler in " + Quoted(options.input) + ": " + input->LastError());
          return Outcome::kFailed;
        }
        if (!start()) return Outcome::kFailed;
        break;
    }
  }
  if (one_thread) {
    const Outcome outcome =
        input->prefers_float()
            ? EncodeSamples<float>(*input, *encoder, *output, options.input, stop_requested)
            : EncodeSamples<short>(*input, *encoder, *output, options.input, stop_requested);
    if (outcome != Outcome::kDone) return outcome;
    if (!Finish(*encoder, *output)) return Outcome::kFailed;
  }
  // Where the audio of such a file ends is the walk's reading, not its writer's word: the file
  // stays for the user to judge, and a deletion asked for has failed.
  if (const std::string reason = input->KeepReason(); !reason.empty()) {
    Report(Quoted(options.input) + ": " + reason);
    return options.delete_input ? Outcome::kFailed : Outcome::kDone;
  }
  if (options.delete_input && !DeleteInput(options.input, input_status, output_path)) {
    return Outcome::kFailed;
  }
  return Outcome::kDone;
}

}  // namespace

Outcome RunEncoding(const Options& options, const volatile std::sig_atomic_t& stop_requested,
                    OutputFile::Strategy strategy, const ThreadedEncoding& threaded) {
  struct stat input_status {};
  const int descriptor = OpenInput(options.input, input_status);
  if (descriptor < 0) return Outcome::kFailed;
  const Outcome outcome =
      Encode(options, descriptor, input_status, stop_requested, strategy, threaded);
  close(descriptor);
  return outcome;
}

}  // namespace gogo
