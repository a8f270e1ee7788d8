// Preloaded into a real program, makes one step of writing a file fail the way a full or
// failing disk does. ZAVRIK_FAILING names the step: "append" (a write at the end of a file),
// "overwrite" (a write over bytes already there), "sync" (a file's), "folder-sync", "link" or
// "rename"; ZAVRIK_FAILING_ERRNO, if set, is the error number it fails with. Pipes and
// terminals are left alone, so the program can still say what went wrong.
#include <dlfcn.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

const char* WriteStep(int descriptor, off_t offset) {
  struct stat status {};
  if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) return nullptr;
  if (offset < 0) offset = lseek(descriptor, 0, SEEK_CUR);
  return offset < status.st_size ? "overwrite" : "append";
}

const char* SyncStep(int descriptor) {
  struct stat status {};
  if (fstat(descriptor, &status) != 0) return nullptr;
  return S_ISDIR(status.st_mode) ? "folder-sync" : S_ISREG(status.st_mode) ? "sync" : nullptr;
}

bool Fails(const char* step, int error) {
  const char* failing = std::getenv("ZAVRIK_FAILING");
  if (step == nullptr || failing == nullptr || std::strcmp(failing, step) != 0) return false;
  const char* number = std::getenv("ZAVRIK_FAILING_ERRNO");
  errno = number != nullptr ? std::atoi(number) : error;
  return true;
}

template <typename Function>
Function* Real(const char* name) {
  return reinterpret_cast<Function*>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

ssize_t write(int descriptor, const void* bytes, size_t count) {
  if (Fails(WriteStep(descriptor, -1), ENOSPC)) return -1;
  return Real<decltype(write)>("write")(descriptor, bytes, count);
}

ssize_t pwrite(int descriptor, const void* bytes, size_t count, off_t offset) {
  if (Fails(WriteStep(descriptor, offset), ENOSPC)) return -1;
  return Real<decltype(pwrite)>("pwrite")(descriptor, bytes, count, offset);
}

int fsync(int descriptor) {
  if (Fails(SyncStep(descriptor), EIO)) return -1;
  return Real<decltype(fsync)>("fsync")(descriptor);
}

int fdatasync(int descriptor) {
  if (Fails(SyncStep(descriptor), EIO)) return -1;
  return Real<decltype(fdatasync)>("fdatasync")(descriptor);
}

int linkat(int from_folder, const char* from, int to_folder, const char* to, int flags) {
  if (Fails("link", ENOSPC)) return -1;
  return Real<decltype(linkat)>("linkat")(from_folder, from, to_folder, to, flags);
}

int rename(const char* from, const char* to) {
  if (Fails("rename", EIO)) return -1;
  return Real<decltype(rename)>("rename")(from, to);
}

int renameat2(int from_folder, const char* from, int to_folder, const char* to, unsigned flags) {
  if (Fails("rename", EIO)) return -1;
  return Real<decltype(renameat2)>("renameat2")(from_folder, from, to_folder, to, flags);
}
}
