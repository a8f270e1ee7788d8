#pragma once

#include <sys/types.h>

#include <memory>
#include <span>
#include <string>

namespace gogo {

// A file that appears under its name only when it is complete. It is written as an unnamed
// file in the target folder (O_TMPFILE) and linked to its name on Commit, so a process killed
// at any point leaves nothing behind. Where the file system has no unnamed files it falls back
// to a hidden temporary name that Commit renames and Discard removes.
class OutputFile {
 public:
  enum class Strategy { kUnnamedFirst, kHiddenNameOnly };

  ~OutputFile();  // discards what was not committed
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  static std::unique_ptr<OutputFile> Create(const std::string& path, Strategy strategy,
                                            std::string* error);

  bool Write(std::span<const unsigned char> bytes, std::string* error);
  bool WriteAt(off_t offset, std::span<const unsigned char> bytes, std::string* error);
  // Syncs the data and puts the file under its name, replacing a file that had it.
  bool Commit(std::string* error);
  void Discard();

  bool is_unnamed() const { return temporary_path_.empty(); }

 private:
  OutputFile(std::string path, int descriptor, std::string temporary_path);
  bool LinkUnnamed(std::string* error);
  bool RenameInto(const std::string& from, std::string* error);

  std::string path_;
  int descriptor_;
  std::string temporary_path_;  // empty for an unnamed file
  bool done_ = false;
};

// The folder part of `path` ("." for a bare name).
std::string FolderOf(const std::string& path);

}  // namespace gogo
