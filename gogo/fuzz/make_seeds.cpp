// Writes small, valid audio files of every kind gogo reads, and small MP3 streams of every
// frame layout the encoder makes, as the fuzzers' starting corpora.
#include <lame/lame.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Seed {
  const char* name;
  int format;
  int channels;
  int sample_rate;
};

void Write(const std::string& folder, const Seed& seed) {
  SF_INFO info{};
  info.format = seed.format;
  info.channels = seed.channels;
  info.samplerate = seed.sample_rate;
  const std::string path = folder + "/" + seed.name;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (file == nullptr) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), sf_strerror(nullptr));
    return;
  }
  sf_set_string(file, SF_STR_TITLE, "Titel");
  sf_set_string(file, SF_STR_ARTIST, "K\xC3\xBCnstler");
  sf_set_string(file, SF_STR_COMMENT, "Kommentar");
  std::vector<float> samples(400 * seed.channels);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = 0.5f * std::sin(0.05f * float(i));
  sf_writef_float(file, samples.data(), 400);
  sf_close(file);
}

// A few frames of a tone, MPEG-1 or MPEG-2, mono or stereo, with or without frame CRCs, at a
// fixed bitrate or (with a quality of 0 or more) at a variable one, whose frames differ in
// size. The final info frame stands over the first frame, as in a finished file.
void WriteMp3(const std::string& folder, int channels, int sample_rate, int bitrate, bool crc,
              float vbr_quality = -1) {
  lame_t lame = lame_init();
  lame_set_num_channels(lame, channels);
  lame_set_in_samplerate(lame, sample_rate);
  if (vbr_quality >= 0) {
    lame_set_VBR(lame, vbr_default);
    lame_set_VBR_quality(lame, vbr_quality);
  } else {
    lame_set_brate(lame, bitrate);
  }
  lame_set_error_protection(lame, crc ? 1 : 0);
  if (lame_init_params(lame) < 0) return;
  // A tone that swells and falls silent, so that a variable bitrate varies.
  std::vector<short> samples(4096 * 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    const double swell = vbr_quality >= 0 ? std::max(0.0, std::sin(0.0015 * double(i))) : 1.0;
    samples[i] = short(8000 * swell * std::sin(0.07 * double(i) * (1 + double(i % 7) / 50)));
  }
  std::vector<unsigned char> mp3(65536);
  int bytes = lame_encode_buffer_interleaved(lame, samples.data(), 4096, mp3.data(), 60000);
  bytes += lame_encode_flush(lame, mp3.data() + bytes, 5000);
  lame_get_lametag_frame(lame, mp3.data(), size_t(bytes));
  lame_close(lame);
  const std::string kind =
      vbr_quality >= 0 ? "V" + std::to_string(int(vbr_quality)) : std::to_string(bitrate);
  const std::string path = folder + "/" + std::to_string(channels) + "ch" +
                           std::to_string(sample_rate) + "-" + kind + (crc ? "crc" : "") + ".mp3";
  if (FILE* file = std::fopen(path.c_str(), "wb")) {
    std::fwrite(mp3.data(), 1, size_t(bytes), file);
    std::fclose(file);
  }
}

// A recording whose header claims a quarter of its audio, with tags appended at the end.
void WriteUnfinished(const std::string& folder) {
  std::FILE* whole = std::fopen((folder + "/pcm16.wav").c_str(), "rb");
  if (whole == nullptr) return;
  std::vector<unsigned char> bytes(1 << 16);
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), whole));
  std::fclose(whole);
  const auto data =
      std::search(bytes.begin(), bytes.end(), std::begin("data"), std::end("data") - 1);
  if (data == bytes.end() || bytes.end() - data < 8) return;
  const size_t claimed = 400;
  for (int i = 0; i < 4; ++i) data[4 + i] = static_cast<unsigned char>(claimed >> (8 * i));
  const char id3v1[128] = "TAG";
  bytes.insert(bytes.end(), id3v1, id3v1 + sizeof id3v1);
  if (std::FILE* file = std::fopen((folder + "/unfinished.wav").c_str(), "wb")) {
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  }
}

std::string ReadFile(const std::string& path) {
  std::string bytes;
  if (FILE* file = std::fopen(path.c_str(), "rb")) {
    char block[4096];
    for (size_t count; (count = std::fread(block, 1, sizeof block, file)) > 0;) {
      bytes.append(block, count);
    }
    std::fclose(file);
  }
  return bytes;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  if (FILE* file = std::fopen(path.c_str(), "wb")) {
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  }
}

std::string Number(uint32_t value, int bytes, bool big_endian, int bits = 8) {
  std::string out;
  for (int i = 0; i < bytes; ++i) {
    const int shift = bits * (big_endian ? bytes - 1 - i : i);
    out.push_back(char((value >> shift) & ((1u << bits) - 1)));
  }
  return out;
}

const std::string kPng = std::string("\x89PNG\r\n\x1A\n", 8) + "IHDR";

// An ID3v2.3 tag with a text, a user text, a comment and a picture, as tag editors write it.
std::string Id3Tag() {
  std::string frames;
  const auto frame = [&](const char* id, const std::string& body) {
    frames += id + Number(uint32_t(body.size()), 4, true) + std::string(2, '\0') + body;
  };
  frame("TIT2", std::string("\x01\xFF\xFEZ\0\xF6\0", 7));
  frame("TXXX", std::string("\0REPLAYGAIN_TRACK_GAIN\0-1 dB", 28));
  frame("COMM", std::string("\0deu\0Kommentar", 14));
  frame("APIC", std::string("\0image/png\0\x03\0", 13) + kPng);
  return "ID3" + std::string("\x03\0\0", 3) + Number(uint32_t(frames.size()), 4, true, 7) + frames;
}

// The seed once more with a chunk that holds an ID3v2 tag at its end.
void AddId3Chunk(const std::string& folder, const char* seed, const char* name) {
  std::string bytes = ReadFile(folder + "/" + seed);
  if (bytes.size() < 12) return;
  const bool riff = bytes.compare(0, 4, "RIFF") == 0;
  const std::string tag = Id3Tag();
  bytes += (riff ? "id3 " : "ID3 ") + Number(uint32_t(tag.size()), 4, !riff) + tag;
  if (tag.size() % 2 == 1) bytes.push_back('\0');
  bytes.replace(4, 4, Number(uint32_t(bytes.size() - 8), 4, !riff));
  WriteFile(folder + "/" + name, bytes);
}

// The FLAC seed with a Vorbis comment and a picture block after its STREAMINFO.
void AddFlacBlocks(const std::string& folder, const char* seed, const char* name) {
  const std::string bytes = ReadFile(folder + "/" + seed);
  if (bytes.size() < 42) return;
  std::string comment = Number(4, 4, false) + "gogo" + Number(3, 4, false);
  for (const std::string field : {"TITLE=Titel", "TRACKNUMBER=3", "TRACKTOTAL=12"}) {
    comment += Number(uint32_t(field.size()), 4, false) + field;
  }
  const std::string mime = "image/png";
  const std::string picture = Number(3, 4, true) + Number(uint32_t(mime.size()), 4, true) + mime +
                              Number(0, 4, true) + std::string(16, '\0') +
                              Number(uint32_t(kPng.size()), 4, true) + kPng;
  std::string out = bytes.substr(0, 42);
  out[4] = 0;
  out += '\x04' + Number(uint32_t(comment.size()), 3, true) + comment;
  out += '\x86' + Number(uint32_t(picture.size()), 3, true) + picture;
  // The blocks the library wrote are skipped; the frames follow them.
  size_t at = 4;
  for (bool last = false; !last && at + 4 <= bytes.size();) {
    last = (bytes[at] & 0x80) != 0;
    at += 4 + (size_t(uint8_t(bytes[at + 1])) << 16 | size_t(uint8_t(bytes[at + 2])) << 8 |
               uint8_t(bytes[at + 3]));
  }
  WriteFile(folder + "/" + name, out + bytes.substr(std::min(at, bytes.size())));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) return 2;
  if (argc == 3) {
    WriteMp3(argv[2], 2, 44100, 128, false);
    WriteMp3(argv[2], 1, 48000, 320, true);
    WriteMp3(argv[2], 2, 22050, 64, true);
    WriteMp3(argv[2], 1, 8000, 16, false);
    WriteMp3(argv[2], 2, 44100, 0, false, 2);
    WriteMp3(argv[2], 1, 48000, 0, true, 0);
    WriteMp3(argv[2], 2, 22050, 0, false, 9);
  }
  const Seed seeds[] = {
      {"pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100},
      {"pcm24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 1, 48000},
      {"u8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, 8000},
      {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 22050},
      {"extensible.wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_32, 2, 96000},
      {"pcm16.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 2, 44100},
      {"pcm16.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 44100},
      {"ulaw.au", SF_FORMAT_AU | SF_FORMAT_ULAW, 1, 8000},
      {"pcm16.rf64", SF_FORMAT_RF64 | SF_FORMAT_PCM_16, 2, 44100},
      {"float.aifc", SF_FORMAT_AIFF | SF_FORMAT_FLOAT, 1, 48000},
      {"vorbis.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 2, 44100},
      {"opus.ogg", SF_FORMAT_OGG | SF_FORMAT_OPUS, 1, 48000},
  };
  for (const Seed& seed : seeds) Write(argv[1], seed);
  WriteUnfinished(argv[1]);
  AddId3Chunk(argv[1], "pcm16.wav", "id3.wav");
  AddId3Chunk(argv[1], "pcm16.aiff", "id3.aiff");
  AddFlacBlocks(argv[1], "pcm16.flac", "blocks.flac");
  return 0;
}
