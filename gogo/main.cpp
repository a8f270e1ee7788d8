// gogo: encodes one audio file as MP3. See `gogo -h`.
#include <csignal>
#include <cstdio>
#include <string_view>
#include <vector>

#include "command_line.h"
#include "encode_job.h"

namespace {

volatile std::sig_atomic_t g_stop_signal = 0;

void RequestStop(int signal_number) { g_stop_signal = signal_number; }

// No SA_RESTART: a blocked read returns at once, so the stop is noticed without delay.
void CatchStopSignals() {
  struct sigaction action {};
  action.sa_handler = RequestStop;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}

// Ends the way the signal would have ended it, so the caller sees who stopped the encoder.
[[noreturn]] void DieOf(int signal_number) {
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
  std::_Exit(128 + signal_number);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string_view> words(argv + (argc > 0 ? 1 : 0), argv + argc);
  const gogo::ParseResult parsed = gogo::ParseCommandLine(words);
  if (const auto* error = std::get_if<gogo::UsageError>(&parsed)) {
    std::fprintf(stderr, "%s\n", error->message.c_str());
    return 2;
  }
  if (std::holds_alternative<gogo::HelpRequest>(parsed)) {
    std::fwrite(gogo::UsageText().data(), 1, gogo::UsageText().size(), stdout);
    return 0;
  }
  CatchStopSignals();
  // A front end that has ended leaves stderr without a reader; the file is finished all the same.
  std::signal(SIGPIPE, SIG_IGN);
  switch (gogo::RunEncoding(std::get<gogo::Options>(parsed), g_stop_signal)) {
    case gogo::Outcome::kDone:
      return 0;
    case gogo::Outcome::kStopped:
      DieOf(g_stop_signal);
    case gogo::Outcome::kFailed:
      break;
  }
  return 1;
}
