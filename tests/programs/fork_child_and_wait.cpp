// Starts a child that waits forever, writes the child's pid to the file that
// ZAVRIK_CHILD_PID_FILE names (whole or not at all: written aside, then renamed), and waits
// forever itself. Only a signal ends either of them.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main() {
  const char* pid_file = std::getenv("ZAVRIK_CHILD_PID_FILE");
  if (pid_file == nullptr) return 2;
  const pid_t child = fork();
  if (child < 0) return 2;
  if (child == 0) {
    for (;;) pause();
  }
  const std::string partial = std::string(pid_file) + ".partial";
  FILE* file = std::fopen(partial.c_str(), "w");
  if (file == nullptr) {
    kill(child, SIGKILL);
    return 2;
  }
  std::fprintf(file, "%d\n", static_cast<int>(child));
  if (std::fclose(file) != 0 || std::rename(partial.c_str(), pid_file) != 0) {
    kill(child, SIGKILL);
    return 2;
  }
  for (;;) pause();
}
