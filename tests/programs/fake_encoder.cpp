// Stands in for the encoder in tests. Appends one record per run to the file that
// FAKE_ENCODER_LOG names: its process id, its argument count and its arguments, each ended by
// a NUL byte. With FAKE_ENCODER_MODE=wait it then stays until it receives SIGTERM; otherwise
// it ends at once.
#include <fcntl.h>
#include <signal.h>
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

  if (log_path == nullptr || !AppendRecord(log_path, Record(argc, argv))) return 2;
  if (wait_for_term) {
    int received = 0;
    sigwait(&term, &received);
  }
  return 0;
}
