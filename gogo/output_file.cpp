#include "output_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <random>

#include "system_reason.h"

namespace gogo {
namespace {

std::string ErrorText(const std::string& what, int error_number) {
  return what + ": " + SystemReason(error_number);
}

std::string NameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A hidden name beside `path` that ends in `suffix`. The target's own name is cut where the
// whole would pass the folder's limit on name length, at the start of a character.
std::string HiddenBeside(const std::string& path, const std::string& suffix) {
  const std::string folder = FolderOf(path);
  long limit = pathconf(folder.c_str(), _PC_NAME_MAX);
  if (limit <= 0) limit = NAME_MAX;
  std::string name = NameOf(path);
  const size_t room = size_t(std::max<long>(0, limit - 1 - long(suffix.size())));
  if (name.size() > room) {
    size_t cut = room;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    name.resize(cut);
  }
  return folder + "/." + name + suffix;
}

int OpenUnnamed(const std::string& path) {
  return open(FolderOf(path).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
}

mode_t CurrentUmask() {
  const mode_t mask = umask(0);
  umask(mask);
  return mask;
}

}  // namespace

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

OutputFile::OutputFile(std::string path, int descriptor, std::string temporary_path)
    : path_(std::move(path)), descriptor_(descriptor), temporary_path_(std::move(temporary_path)) {}

OutputFile::~OutputFile() {
  if (!done_) Discard();
}

std::unique_ptr<OutputFile> OutputFile::Create(const std::string& path, Strategy strategy,
                                               std::string* error) {
  if (strategy == Strategy::kUnnamedFirst) {
    const int descriptor = OpenUnnamed(path);
    if (descriptor >= 0) return std::unique_ptr<OutputFile>(new OutputFile(path, descriptor, {}));
  }
  std::string temporary = HiddenBeside(path, ".XXXXXX");
  const int descriptor = mkostemp(temporary.data(), O_CLOEXEC);
  if (descriptor < 0) {
    *error = ErrorText("kann in \"" + FolderOf(path) + "\" nicht schreiben", errno);
    return nullptr;
  }
  // mkostemp makes the file private; the finished MP3 gets the usual permissions.
  fchmod(descriptor, 0666 & ~CurrentUmask());
  return std::unique_ptr<OutputFile>(new OutputFile(path, descriptor, temporary));
}

bool OutputFile::Write(std::span<const unsigned char> bytes, std::string* error) {
  while (!bytes.empty()) {
    const ssize_t written = write(descriptor_, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      *error = ErrorText("Schreiben nach \"" + path_ + "\" gescheitert", errno);
      return false;
    }
    bytes = bytes.subspan(static_cast<size_t>(written));
  }
  return true;
}

bool OutputFile::WriteAt(off_t offset, std::span<const unsigned char> bytes, std::string* error) {
  while (!bytes.empty()) {
    const ssize_t written = pwrite(descriptor_, bytes.data(), bytes.size(), offset);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      *error = ErrorText("Schreiben nach \"" + path_ + "\" gescheitert", errno);
      return false;
    }
    bytes = bytes.subspan(static_cast<size_t>(written));
    offset += written;
  }
  return true;
}

bool OutputFile::Commit(std::string* error) {
  if (fdatasync(descriptor_) != 0) {
    *error = ErrorText("Schreiben nach \"" + path_ + "\" gescheitert", errno);
    return false;
  }
  const bool placed = is_unnamed() ? LinkUnnamed(error) : RenameInto(temporary_path_, error);
  if (!placed) return false;
  close(descriptor_);
  done_ = true;
  return true;
}

bool OutputFile::LinkUnnamed(std::string* error) {
  const std::string self = "/proc/self/fd/" + std::to_string(descriptor_);
  // Linking straight to the name works when nothing has it yet.
  if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path_.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
  if (errno != EEXIST) {
    *error = ErrorText("kann \"" + path_ + "\" nicht anlegen", errno);
    return false;
  }
  // A file of that name exists: link under a hidden name, then rename over it in one step.
  std::mt19937 random(std::random_device{}());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string hidden = HiddenBeside(path_, "." + std::to_string(random() % 1000000000));
    if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, hidden.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      return RenameInto(hidden, error);
    }
    if (errno != EEXIST) break;
  }
  *error = ErrorText("kann \"" + path_ + "\" nicht anlegen", errno);
  return false;
}

bool OutputFile::RenameInto(const std::string& from, std::string* error) {
  if (rename(from.c_str(), path_.c_str()) == 0) return true;
  *error = ErrorText("kann \"" + path_ + "\" nicht anlegen", errno);
  unlink(from.c_str());
  return false;
}

void OutputFile::Discard() {
  if (done_) return;
  close(descriptor_);
  if (!is_unnamed()) unlink(temporary_path_.c_str());
  done_ = true;
}

}  // namespace gogo
