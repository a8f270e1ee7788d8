// Times an encoding run over short WAVE files against the same encoder calls in a plain
// sequential posix_spawn + waitpid loop that reads the encoder's output as well, in one program
// run. Rounds alternate so that both see
// the same machine load; per-round totals, their medians and the ratios are reported.
//   run_bench [files] [rounds] [encoder]
#include <fcntl.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "encode/encoding_run.h"
#include "encode/process_run_ports.h"

extern char** environ;

namespace {

constexpr int kSampleRate = 44100;
constexpr int kSeconds = 2;

// Two seconds of a stereo 16-bit tone, a different pitch for every file.
bool WriteWave(const QString& path, int index) {
  SF_INFO info{};
  info.samplerate = kSampleRate;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
  if (file == nullptr) return false;
  const double pitch = 220.0 + 10.0 * index;
  std::vector<short> frames(2 * kSampleRate * kSeconds);
  for (size_t i = 0; i < frames.size() / 2; ++i) {
    const double sample = 12000.0 * std::sin(2.0 * M_PI * pitch * double(i) / kSampleRate);
    frames[2 * i] = frames[2 * i + 1] = static_cast<short>(sample);
  }
  const sf_count_t written = sf_writef_short(file, frames.data(), sf_count_t(frames.size() / 2));
  sf_close(file);
  return written == sf_count_t(frames.size() / 2);
}

// The run's ports with the window parts left out: the run ends the event loop when it hides.
class BenchPorts : public ProcessRunPorts {
 public:
  QStringList files;
  QString options_before;
  QEventLoop* loop = nullptr;
  QElapsedTimer timer;
  std::vector<double> marks;  // each launch and the end of the run, in ms
  bool failed = false;

  int Launch(const QString& executable, const QStringList& words, qint64* pid) override {
    Mark();
    return ProcessRunPorts::Launch(executable, words, pid);
  }
  void Mark() { marks.push_back(double(timer.nsecsElapsed()) / 1e6); }

  int FileCount() const override { return int(files.size()); }
  QString FileAt(int index) const override { return files.value(index); }
  QString OptionsBefore() const override { return options_before; }
  QString OptionsAfter() const override { return {}; }
  void ShowProgress() override {}
  void HideProgress() override {
    Mark();
    loop->quit();
  }
  void SetProgressTexts(const QString&, const QString&) override {}
  void SetProgressButtonsEnabled(bool) override {}
  void ShowAlert(const Alert& alert) override {
    std::fprintf(stderr, "alert %s\n", qPrintable(alert.id));
    failed = true;
  }
  void SetFileProgress(int) override {}
  void SetRunProgress(int, const QString&) override {}
  qint64 FileSize(const QString& path) const override { return QFileInfo(path).size(); }
  qint64 NowMs() const override { return timer.elapsed(); }
  void ShowResults(const RunResults&) override {}
  void NotifyRunEnded(const QString&) override {}
};

// Adds the spans between consecutive marks: one per file.
void AddSpans(const std::vector<double>& marks, std::vector<double>* spans) {
  for (size_t i = 1; i < marks.size(); ++i) spans->push_back(marks[i] - marks[i - 1]);
}

// Milliseconds for the whole run, or a negative value when it failed.
double TimeEncodingRun(const QString& encoder, const QStringList& files, const QString& out_dir,
                       std::vector<double>* per_file) {
  BenchPorts ports;
  EncodingRun run(ports);
  ports.DeliverEndNoticesTo(run);
  QEventLoop loop;
  ports.loop = &loop;
  ports.files = files;
  ports.options_before = QStringLiteral("-b 128 -o \"%1\"").arg(out_dir);
  ports.timer.start();
  run.Start(encoder);
  if (run.encoding()) loop.exec();
  const double elapsed = double(ports.timer.nsecsElapsed()) / 1e6;
  AddSpans(ports.marks, per_file);
  return ports.failed ? -1 : elapsed;
}

// The same encoder calls, one after another, each waited for.
double TimePlainLoop(const QString& encoder, const QStringList& files, const QString& out_dir,
                     std::vector<double>* per_file) {
  const QByteArray program = QFile::encodeName(encoder);
  const QByteArray out = QFile::encodeName(out_dir);
  QElapsedTimer timer;
  timer.start();
  std::vector<double> marks;
  for (const QString& file : files) {
    marks.push_back(double(timer.nsecsElapsed()) / 1e6);
    const QByteArray input = QFile::encodeName(file);
    const char* argv[] = {program.constData(), "-b",   "128", "-o", out.constData(),
                          input.constData(),   nullptr};
    // The encoder's output goes into a pipe that is read to its end, as the run reads it.
    int output[2];
    if (pipe2(output, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDERR_FILENO);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.constData(), &actions, nullptr,
                                    const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(output[1]);
    char block[65536];
    while (spawned == 0 && read(output[0], block, sizeof block) > 0) {
    }
    close(output[0]);
    if (spawned != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      return -1;
    }
  }
  const double elapsed = double(timer.nsecsElapsed()) / 1e6;
  marks.push_back(elapsed);
  AddSpans(marks, per_file);
  return elapsed;
}

// A fresh, empty output folder, so both ways always create their files anew.
bool EmptyFolder(const QString& path) {
  return QDir(path).removeRecursively() && QDir().mkpath(path);
}

int Mp3Count(const QString& folder) {
  return int(QDir(folder).entryList({QStringLiteral("*.mp3")}, QDir::Files).size());
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int file_count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  const QString encoder =
      argc > 3 ? QString::fromLocal8Bit(argv[3]) : QStringLiteral(ZAVRIK_PROGRAM_DIR "/gogo");

  QTemporaryDir folder;
  if (!folder.isValid()) return 1;
  QStringList files;
  for (int i = 0; i < file_count; ++i) {
    files << folder.filePath(QStringLiteral("tone%1.wav").arg(i, 2, 10, QLatin1Char('0')));
    if (!WriteWave(files.last(), i)) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(files.last()));
      return 1;
    }
  }
  const QString run_out = folder.filePath(QStringLiteral("run"));
  const QString loop_out = folder.filePath(QStringLiteral("loop"));

  std::vector<double> run_times;
  std::vector<double> loop_times;
  std::vector<double> ratios;
  std::vector<double> run_per_file;
  std::vector<double> loop_per_file;
  std::printf("%d files of %d s, %d rounds, encoder %s\n", file_count, kSeconds, rounds,
              qPrintable(encoder));
  for (int round = 0; round < rounds; ++round) {
    if (!EmptyFolder(run_out) || !EmptyFolder(loop_out)) return 1;
    // Alternate which goes first, so neither always meets a warm or a cold cache.
    double loop_ms = 0;
    double run_ms = 0;
    if (round % 2 == 0) {
      loop_ms = TimePlainLoop(encoder, files, loop_out, &loop_per_file);
      run_ms = TimeEncodingRun(encoder, files, run_out, &run_per_file);
    } else {
      run_ms = TimeEncodingRun(encoder, files, run_out, &run_per_file);
      loop_ms = TimePlainLoop(encoder, files, loop_out, &loop_per_file);
    }
    if (loop_ms < 0 || run_ms < 0) {
      std::fprintf(stderr, "round %d: an encoder call failed\n", round + 1);
      return 1;
    }
    // Only a round in which every file was encoded both ways counts.
    if (Mp3Count(run_out) != file_count || Mp3Count(loop_out) != file_count) {
      std::fprintf(stderr, "round %d: %d and %d MP3 files instead of %d\n", round + 1,
                   Mp3Count(run_out), Mp3Count(loop_out), file_count);
      return 1;
    }
    std::printf("round %d: loop %.1f ms, run %.1f ms, ratio %.4f\n", round + 1, loop_ms, run_ms,
                run_ms / loop_ms);
    loop_times.push_back(loop_ms);
    run_times.push_back(run_ms);
    ratios.push_back(run_ms / loop_ms);
  }
  const double loop_median = Median(loop_times);
  const double run_median = Median(run_times);
  std::printf("median: loop %.1f ms, run %.1f ms, ratio %.4f (goal at most 1.03)\n", loop_median,
              run_median, run_median / loop_median);
  // The rounds' own ratios compare runs that met the same load.
  std::printf("median of the rounds' ratios: %.4f\n", Median(ratios));
  // A file's time hardly moves with a burst of load elsewhere the way a round's total does.
  std::printf("median per file: loop %.2f ms, run %.2f ms, ratio %.4f\n", Median(loop_per_file),
              Median(run_per_file), Median(run_per_file) / Median(loop_per_file));
  return 0;
}
