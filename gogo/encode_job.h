#pragma once

#include <csignal>

#include "command_line.h"
#include "output_file.h"

namespace gogo {

enum class Outcome { kDone, kFailed, kStopped };

// Encodes one input as the options say. Failures are told on stderr in one line each; nothing
// half-written stays behind. `stop_requested` is polled between blocks: when it becomes
// non-zero the output is discarded and kStopped returned.
Outcome RunEncoding(const Options& options, const volatile std::sig_atomic_t& stop_requested,
                    OutputFile::Strategy strategy = OutputFile::Strategy::kUnnamedFirst);

}  // namespace gogo
