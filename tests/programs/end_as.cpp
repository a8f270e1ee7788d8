// Ends the way its first argument says: "exit N" exits with code N, "abort" crashes, "wait"
// waits until a signal ends it, "linger MS" prints "bereit" once SIGTERM no longer ends it at
// once, then exits with 0 MS milliseconds after a SIGTERM (never, when MS is negative).
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace {

int Linger(int milliseconds) {
  sigset_t term;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  sigprocmask(SIG_BLOCK, &term, nullptr);
  if (write(STDOUT_FILENO, "bereit\n", 7) != 7) return 2;
  int received = 0;
  sigwait(&term, &received);
  if (milliseconds < 0) {
    for (;;) pause();
  }
  const timespec linger{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
  nanosleep(&linger, nullptr);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "exit") == 0) return std::atoi(argv[2]);
  if (argc >= 2 && std::strcmp(argv[1], "abort") == 0) std::abort();
  if (argc >= 2 && std::strcmp(argv[1], "wait") == 0) {
    for (;;) pause();
  }
  if (argc >= 3 && std::strcmp(argv[1], "linger") == 0) return Linger(std::atoi(argv[2]));
  return 2;
}
