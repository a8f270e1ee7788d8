// Saving and opening a list of 100,000 entries of 60-byte paths, against the plainest code that
// moves the same bytes: one buffered fwrite, and a std::getline loop that splits each line at
// its first ";". Flushing to disk is measured on its own, since saving a list includes it.
//   list_file_bench [ROUNDS]
#include <unistd.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "files/list_file.h"

namespace {

constexpr int kEntries = 100000;
constexpr int kPathBytes = 60;

using Clock = std::chrono::steady_clock;

// Median milliseconds of `rounds` runs of `work`.
double MedianMs(int rounds, const std::function<void()>& work) {
  std::vector<double> times;
  for (int i = 0; i < rounds; ++i) {
    const auto start = Clock::now();
    work();
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

QStringList MakeEntries() {
  QStringList entries;
  entries.reserve(kEntries);
  for (int i = 0; i < kEntries; ++i) {
    std::string path = "/home/anwender/Musik/Aufnahmen/Sitzung-" + std::to_string(i);
    path.resize(kPathBytes - 4, 'x');
    path += ".wav";
    entries.append(QString::fromStdString(path));
  }
  return entries;
}

std::string FileBytes(const QStringList& entries) {
  std::string bytes = std::string(kListFileHeader) + "\n";
  for (const QString& entry : entries) bytes += "0;" + entry.toStdString() + "\n";
  return bytes;
}

void WriteWithFwrite(const std::string& path, const std::string& bytes, bool sync) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return;
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fflush(file);
  if (sync) ::fsync(fileno(file));
  std::fclose(file);
}

std::size_t ReadWithGetline(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> texts;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    const std::size_t separator = line.find(';');
    if (separator != std::string::npos) texts.push_back(line.substr(separator + 1));
  }
  return texts.size();
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;
  QTemporaryDir folder;
  if (!folder.isValid()) return 1;
  const QStringList entries = MakeEntries();
  const std::string bytes = FileBytes(entries);
  const QString list_path = folder.filePath(QStringLiteral("liste.zvk"));
  const std::string plain_path = folder.filePath(QStringLiteral("plain.txt")).toStdString();

  const double save = MedianMs(rounds, [&] { SaveListFile(list_path, entries); });
  const double fwrite_only = MedianMs(rounds, [&] { WriteWithFwrite(plain_path, bytes, false); });
  const double fwrite_sync = MedianMs(rounds, [&] { WriteWithFwrite(plain_path, bytes, true); });
  std::size_t read_count = 0;
  const double open = MedianMs(rounds, [&] { read_count = ReadListFile(list_path)->size(); });
  std::size_t getline_count = 0;
  const double getline = MedianMs(rounds, [&] { getline_count = ReadWithGetline(plain_path); });
  if (read_count != kEntries || getline_count != kEntries) {
    std::fprintf(stderr, "wrong entry count: %zu, %zu\n", read_count, getline_count);
    return 1;
  }

  const double sync = std::max(0.0, fwrite_sync - fwrite_only);
  std::printf("%d entries of %d-byte paths, %zu bytes, median of %d rounds\n", kEntries, kPathBytes,
              bytes.size(), rounds);
  std::printf("open:  ReadListFile %7.2f ms   getline loop %7.2f ms   ratio %.2f\n", open, getline,
              open / getline);
  std::printf("save:  SaveListFile %7.2f ms   fwrite+fsync %7.2f ms   ratio %.2f\n", save,
              fwrite_sync, save / fwrite_sync);
  std::printf("       without the flush to disk: %7.2f ms   fwrite %7.2f ms   ratio %.2f\n",
              save - sync, fwrite_only, (save - sync) / fwrite_only);
  std::printf("flush to disk (fsync) alone: %7.2f ms\n", sync);
  return 0;
}
