// Ends the way its first argument says: "exit N" exits with code N, "abort" crashes, "wait"
// waits until a signal ends it.
#include <unistd.h>

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "exit") == 0) return std::atoi(argv[2]);
  if (argc >= 2 && std::strcmp(argv[1], "abort") == 0) std::abort();
  if (argc >= 2 && std::strcmp(argv[1], "wait") == 0) {
    for (;;) pause();
  }
  return 2;
}
