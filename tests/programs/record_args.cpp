// Writes every argument it received, argv[0] included, each followed by a NUL byte, to the file
// that ZAVRIK_RECORD_ARGS_FILE names. With ZAVRIK_RECORD_FACTS_FILE set it also writes where its
// stdin comes from and whether it leads its own process group. The file names come from the
// environment so that the arguments arrive untouched.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

bool WriteFile(const char* path, const std::string& content) {
  FILE* file = std::fopen(path, "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
  return std::fclose(file) == 0 && written;
}

std::string Facts() {
  char stdin_target[PATH_MAX] = {};
  const ssize_t length = readlink("/proc/self/fd/0", stdin_target, sizeof stdin_target - 1);
  std::string facts = "stdin=";
  if (length > 0) facts.append(stdin_target, static_cast<size_t>(length));
  facts += "\nown_group=";
  facts += getpgrp() == getpid() ? "yes" : "no";
  facts += "\n";
  return facts;
}

}  // namespace

int main(int argc, char** argv) {
  const char* args_file = std::getenv("ZAVRIK_RECORD_ARGS_FILE");
  if (args_file == nullptr) return 2;
  std::string record;
  for (int i = 0; i < argc; ++i) {
    record += argv[i];
    record += '\0';
  }
  if (!WriteFile(args_file, record)) return 2;
  const char* facts_file = std::getenv("ZAVRIK_RECORD_FACTS_FILE");
  if (facts_file != nullptr && !WriteFile(facts_file, Facts())) return 2;
  return 0;
}
