#pragma once

#include <csignal>
#include <functional>
#include <string>
#include <vector>

#include "command_line.h"
#include "output_file.h"
#include "parallel_encode.h"

namespace gogo {

enum class Outcome { kDone, kFailed, kStopped };

// Encodes one input as the options say. Failures are told on stderr in one line each; nothing
// half-written stays behind. `stop_requested` is polled between blocks: when it becomes
// non-zero the output is discarded and kStopped returned.
// Where an input is encoded on threads, `threaded` does it; when it reports kNotJoined, the
// input is encoded once more on one thread.
using ThreadedEncoding =
    std::function<ParallelOutcome(const ParallelEncoding&, const volatile std::sig_atomic_t&,
                                  std::vector<unsigned char>*, std::string*)>;
Outcome RunEncoding(const Options& options, const volatile std::sig_atomic_t& stop_requested,
                    OutputFile::Strategy strategy = OutputFile::Strategy::kUnnamedFirst,
                    const ThreadedEncoding& threaded = EncodeInParallel);

}  // namespace gogo
