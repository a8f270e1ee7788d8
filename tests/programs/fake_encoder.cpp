// Stands in for the encoder in tests. Appends one record per run to the file that
// FAKE_ENCODER_LOG names: its process id, its argument count and its arguments, each ended by
// a NUL byte. With FAKE_ENCODER_MODE=wait it then stays until it receives SIGTERM; otherwise
// it ends at once. With FAKE_ENCODER_LOCK it holds a lock on that file for its life, and when
// another process holds it already, it appends "zwei Kodierer zugleich" to the file first. An
// input named after one of the endings below ends that way instead:
//   percent.wav  prints 25, 50 and 75 percent as a terminal encoder would, then succeeds
//   fail.wav     prints a message and exits with 3
//   silent.wav   exits with 3 and prints nothing
//   signal.wav   ends by SIGTERM, which it sends itself
//   flood.wav    writes 10 MB, then a message, and exits with 1
//   slow.wav     prints a percent every 20 ms for two seconds, then succeeds; SIGPIPE ends it
//   stubborn.wav ignores SIGTERM and waits for good
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string Record(int argc, char** argv) {
  std::string record = std::to_string(getpid());
  record.push_back('\0');
  record += std::to_string(argc - 1);
  record.push_back('\0');
  for (int i = 1; i < argc; ++i) {
    record += argv[i];
    record.push_back('\0');
  }
  return record;
}

bool AppendRecord(const char* log_path, const std::string& record) {
  const int fd = open(log_path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  // One write, so records of processes running side by side never interleave.
  const bool written = write(fd, record.data(), record.size()) == ssize_t(record.size());
  close(fd);
  return written;
}

// Takes the lock for the life of this process; tells in the lock file when another has it.
void HoldLock(const char* lock_path) {
  const int fd = open(lock_path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const char clash[] = "zwei Kodierer zugleich\n";
    if (write(fd, clash, sizeof clash - 1) < 0) return;
  }
}

void Print(const std::string& text) {
  for (size_t done = 0; done < text.size();) {
    const ssize_t count = write(STDERR_FILENO, text.data() + done, text.size() - done);
    if (count <= 0) return;
    done += size_t(count);
  }
}

bool EndsWith(const std::string& text, const std::string& ending) {
  return text.size() >= ending.size() &&
         text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

// Ends as the input's name asks; returns -1 for an input that asks nothing.
int EndAsNamed(const std::string& input) {
  if (EndsWith(input, "/percent.wav")) {
    for (const char* line : {"\rfake:  25 %", "\rfake:  50 %", "\rfake:  75 %"}) Print(line);
    Print("\n");
    return 0;
  }
  if (EndsWith(input, "/fail.wav")) {
    Print("fake: Eingabe kaputt\n");
    return 3;
  }
  if (EndsWith(input, "/silent.wav")) return 3;
  if (EndsWith(input, "/signal.wav")) {
    raise(SIGTERM);
    return 0;
  }
  if (EndsWith(input, "/flood.wav")) {
    const std::string line(1023, 'x');
    for (int i = 0; i < 10 * 1024; ++i) Print(line + "\n");
    Print("fake: zu viel\n");
    return 1;
  }
  if (EndsWith(input, "/slow.wav")) {
    signal(SIGPIPE, SIG_DFL);
    for (int percent = 0; percent <= 100; ++percent) {
      Print("\rfake: " + std::to_string(percent) + " %");
      usleep(20000);
    }
    return 0;
  }
  if (EndsWith(input, "/stubborn.wav")) {
    signal(SIGTERM, SIG_IGN);
    for (;;) pause();
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  const char* log_path = std::getenv("FAKE_ENCODER_LOG");
  const char* mode = std::getenv("FAKE_ENCODER_MODE");
  const bool wait_for_term = mode != nullptr && std::strcmp(mode, "wait") == 0;

  // Blocked before the record appears, so a SIGTERM sent as soon as the test sees the record is
  // always taken by sigwait below.
  sigset_t term;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  if (wait_for_term) sigprocmask(SIG_BLOCK, &term, nullptr);

  if (const char* lock_path = std::getenv("FAKE_ENCODER_LOCK")) HoldLock(lock_path);
  if (log_path == nullptr || !AppendRecord(log_path, Record(argc, argv))) return 2;
  if (argc > 1) {
    if (const int code = EndAsNamed(argv[argc - 1]); code >= 0) return code;
  }
  if (wait_for_term) {
    int received = 0;
    sigwait(&term, &received);
  }
  return 0;
}
