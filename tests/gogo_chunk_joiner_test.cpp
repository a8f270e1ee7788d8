// Joins crafted chunks the way the threads hand them over and checks that a file whose chunks
// cannot be joined is encoded once more on one thread, to the very bytes of `-j 1`.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <vector>

#include "encode_job.h"
#include "encoded_chunk_joiner.h"

namespace {

using gogo::EncodedChunk;
using gogo::ParallelOutcome;

// MPEG-1 layer III, 44.1 kHz, mono, at the top bitrate: 1044 bytes, 1023 of them main data.
constexpr int kArea = 1023;

gogo::Mp3Frame Frame(int data_size, int reach_back) {
  gogo::Mp3Frame frame;
  frame.head = std::vector<unsigned char>(21, 0);
  frame.head[0] = 0xFF;
  frame.head[1] = 0xFB;
  frame.head[2] = 0xE0;
  frame.head[3] = 0xC0;
  frame.header = *gogo::ParseFrameHeader(frame.head);
  frame.data = std::vector<unsigned char>(size_t(data_size), 0x5A);
  frame.reach_back = reach_back;
  return frame;
}

// Two chunks of 96 frames, more than the joiner keeps before it writes: the first encoded
// from frame 0 with 4 frames of lookahead, the second from frame 85 on, so that the join may
// fall anywhere from frame 93 to 98.
std::vector<EncodedChunk> Chunks(int first_data, int second_reach_back) {
  EncodedChunk first;
  first.index = 0;
  first.end_frame = 96;
  first.frames.assign(100, Frame(first_data, 0));
  EncodedChunk second;
  second.index = 1;
  second.first_frame = 85;
  second.start_frame = 96;
  second.end_frame = 192;
  second.last = true;
  second.frames.assign(107, Frame(kArea - second_reach_back, second_reach_back));
  return {first, second};
}

// The second chunk's encoder started only 6 frames before the chunk, 2 too late to be warm at
// its first frame: frames made before it warmed up would fit the reservoir, the warm ones not.
std::vector<EncodedChunk> StartedLate() {
  std::vector<EncodedChunk> chunks = Chunks(kArea, 100);
  EncodedChunk& second = chunks[1];
  second.first_frame = 90;
  second.frames.erase(second.frames.begin(), second.frames.begin() + 5);
  std::fill_n(second.frames.begin(), gogo::kWarmUp, Frame(kArea, 0));
  return chunks;
}

// The first chunk's stream starts with a placeholder for `info_frame`.
std::vector<EncodedChunk> WithInfoFrame(std::vector<EncodedChunk> chunks,
                                        std::vector<unsigned char> info_frame) {
  chunks[0].placeholder = std::vector<unsigned char>(info_frame.size(), 0);
  chunks[0].info_frame = std::move(info_frame);
  return chunks;
}

// A whole frame that holds no info tag.
std::vector<unsigned char> PlainFrame() {
  std::vector<unsigned char> bytes = Frame(0, 0).head;
  bytes.resize(kArea + bytes.size(), 0);
  return bytes;
}

void WriteTone(const QString& path, double seconds) {
  SF_INFO info{};
  info.channels = 2;
  info.samplerate = 44100;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr);
  std::vector<float> samples(size_t(seconds * info.samplerate) * 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    samples[i] = float(0.5 * std::sin(2 * M_PI * 440 * (1 + i % 2) * double(i / 2) / 44100));
  }
  ASSERT_EQ(sf_writef_float(file, samples.data(), sf_count_t(samples.size() / 2)),
            sf_count_t(samples.size() / 2));
  sf_close(file);
}

QByteArray Contents(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

struct JoinCase {
  const char* name;
  std::vector<EncodedChunk> chunks;
  bool joins;
};

TEST(GogoChunkJoiner, AFileWhoseChunksCannotBeJoinedIsEncodedOnOneThread) {
  const JoinCase cases[] = {
      {"the second chunk's frames fit the reservoir the first leaves", Chunks(kArea - 40, 100),
       true},
      {"no frame near the boundary fits what the first chunk left, even at the top bitrate",
       Chunks(kArea, 100), false},
      {"only frames made before the encoder warmed up would fit", StartedLate(), false},
      {"the first chunk's info frame cannot be made to tell the joined stream",
       WithInfoFrame(Chunks(kArea - 40, 100), PlainFrame()), false},
  };
  QTemporaryDir folder;
  const QString input = folder.filePath(QStringLiteral("in.wav"));
  WriteTone(input, 4.0);
  volatile std::sig_atomic_t stop = 0;
  gogo::Options options;
  options.input = QFile::encodeName(input).toStdString();
  options.threads = 1;
  options.output = QFile::encodeName(folder.filePath(QStringLiteral("j1.mp3"))).toStdString();
  ASSERT_EQ(gogo::RunEncoding(options, stop), gogo::Outcome::kDone);
  const QByteArray one_thread = Contents(folder.filePath(QStringLiteral("j1.mp3")));
  for (const JoinCase& c : cases) {
    SCOPED_TRACE(c.name);
    // The threads read the input and use the file's encoder; then the crafted chunks are laid
    // into the same output, and theirs is the outcome.
    auto crafted = [&c](const gogo::ParallelEncoding& job,
                        const volatile std::sig_atomic_t& stop_requested,
                        std::vector<unsigned char>* info_frame, std::string* error) {
      if (gogo::EncodeInParallel(job, stop_requested, info_frame, error) !=
          ParallelOutcome::kDone) {
        return ParallelOutcome::kFailed;
      }
      gogo::EncodedChunkJoiner joiner(job.output, 1);
      for (EncodedChunk chunk : c.chunks) {
        if (!joiner.Take(chunk, error)) {
          return joiner.not_joined() ? ParallelOutcome::kNotJoined : ParallelOutcome::kFailed;
        }
      }
      return joiner.InfoFrame(info_frame) ? ParallelOutcome::kDone : ParallelOutcome::kNotJoined;
    };
    options.threads = 2;
    options.output = QFile::encodeName(folder.filePath(QStringLiteral("j2.mp3"))).toStdString();
    ASSERT_EQ(gogo::RunEncoding(options, stop, gogo::OutputFile::Strategy::kUnnamedFirst, crafted),
              gogo::Outcome::kDone);
    const QByteArray written = Contents(folder.filePath(QStringLiteral("j2.mp3")));
    EXPECT_EQ(written == one_thread, !c.joins) << written.size() << " bytes";
  }
}

}  // namespace
