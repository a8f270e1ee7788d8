#pragma once

#include <csignal>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "audio_input.h"
#include "mp3_encoder.h"
#include "output_file.h"

namespace gogo {

// The input is cut into chunks of whole frames. Each chunk gets an encoder of its own, fed
// some frames of the audio before the chunk, so that its first kept frame has the signal
// history a one-thread encode gives it, and some after it for the psychoacoustic lookahead.
// The frames of that extra audio are dropped and the kept ones re-laid into one stream. Chunk
// lengths, in blocks of 1152 samples:
constexpr int kShortestChunk = 64;
constexpr int kLongestChunk = 1536;

struct ParallelEncoding {
  AudioInput& input;
  Mp3Encoder& first;  // the file's encoder: it made the ID3v2 tag and encodes the first chunk
  EncoderSettings settings;
  OutputFile& output;  // the ID3v2 tag is written already
  int threads;
  std::string input_path;                 // for messages
  std::function<void(int64_t)> progress;  // input frames encoded so far
};

// True when the input is long enough for two chunks (or of unknown length) and, where the
// encoder resamples, input and output frames line up often enough to cut chunks.
bool SuitsParallelEncoding(const AudioInput& input, const Mp3Encoder& first);

enum class ParallelOutcome {
  kDone,
  kFailed,
  kStopped,
  // Some chunk's frames found no place in the stream (too little reservoir and no higher
  // bitrate left), the info frame could not be rewritten for the joined stream, or no thread
  // could be started. The output holds nothing usable; the input
  // must be encoded on one thread.
  kNotJoined,
};

// Encodes the whole input into the output after the ID3v2 tag. On kDone `info_frame` holds the
// info frame for the joined stream, to go over the placeholder the stream starts with (empty
// where the library writes none); the output is not committed. On kFailed `error` holds one
// line for the user.
ParallelOutcome EncodeInParallel(const ParallelEncoding& job,
                                 const volatile std::sig_atomic_t& stop_requested,
                                 std::vector<unsigned char>* info_frame, std::string* error);

}  // namespace gogo
