#include "input_tags.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "id3v2_tag.h"

namespace gogo {
namespace {

// The most of one metadata item (an ID3v2 tag, an Ogg comment header) that is read at all:
// room for the tags' own limit and a cover refused for its size, far from what memory minds.
constexpr int64_t kMostItemBytes = int64_t(64) << 20;

std::string ReadBytes(const ReadAt& read_at, int64_t offset, int64_t size) {
  std::string bytes(static_cast<size_t>(std::max<int64_t>(0, size)), '\0');
  const size_t read =
      read_at(offset, {reinterpret_cast<unsigned char*>(bytes.data()), bytes.size()});
  bytes.resize(std::min(read, bytes.size()));
  return bytes;
}

// Reads numbers and bytes off the front of a block; the caller asks Has() first.
class Cursor {
 public:
  explicit Cursor(std::string_view bytes) : bytes_(bytes) {}
  bool Has(uint64_t count) const { return count <= bytes_.size(); }
  uint32_t Little32() { return Number(true); }
  uint32_t Big32() { return Number(false); }
  char Peek() const { return bytes_[0]; }
  std::string_view Take(size_t count) {
    const std::string_view taken = bytes_.substr(0, count);
    bytes_.remove_prefix(taken.size());
    return taken;
  }

 private:
  uint32_t Number(bool little_endian) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
      const uint32_t byte = static_cast<unsigned char>(bytes_[size_t(i)]);
      value |= little_endian ? byte << (8 * i) : byte << (8 * (3 - i));
    }
    bytes_.remove_prefix(4);
    return value;
  }

  std::string_view bytes_;
};

// ---- FLAC PICTURE blocks and Vorbis comments ----

bool IsMimeText(std::string_view mime) {
  return !mime.empty() && mime.size() <= 64 &&
         std::all_of(mime.begin(), mime.end(), [](char c) { return c > ' ' && c < 0x7F; });
}

// A PICTURE block: type, MIME type, description, four numbers about the image, then its bytes.
void ReadPictureBlock(std::string_view block, Tags& tags) {
  const std::string broken = "ein Bild der Eingabe ist beschädigt (";
  Cursor cursor(block);
  if (!cursor.Has(8)) {
    tags.Note(broken + "zu kurz) und fehlt in der MP3-Datei");
    return;
  }
  const int type = static_cast<int>(std::min<uint32_t>(cursor.Big32(), 255));
  const uint32_t mime_size = cursor.Big32();
  const std::string_view mime = cursor.Has(mime_size) ? cursor.Take(mime_size) : "";
  if (!IsMimeText(mime)) {
    tags.Note(broken + "sein MIME-Typ ist unlesbar) und fehlt in der MP3-Datei");
    return;
  }
  if (!cursor.Has(4)) {
    tags.Note(broken + "zu kurz) und fehlt in der MP3-Datei");
    return;
  }
  const uint32_t description_size = cursor.Big32();
  if (!cursor.Has(uint64_t(description_size) + 20)) {
    tags.Note(broken + "zu kurz) und fehlt in der MP3-Datei");
    return;
  }
  const std::string_view description = cursor.Take(description_size);
  cursor.Take(16);  // width, height, depth, colours: the bytes tell
  const uint32_t data_size = cursor.Big32();
  if (!tags.AcceptsPictureOf(type, data_size)) return;
  if (!cursor.Has(data_size)) {
    tags.Note("das Bild \"" + PictureName(type) +
              "\" der Eingabe ist abgeschnitten und fehlt in der MP3-Datei");
    return;
  }
  tags.AddPicture(type, description, std::string(cursor.Take(data_size)));
}

std::string Base64Decoded(std::string_view text) {
  std::string bytes;
  uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    int value = -1;
    if (c >= 'A' && c <= 'Z') value = c - 'A';
    if (c >= 'a' && c <= 'z') value = c - 'a' + 26;
    if (c >= '0' && c <= '9') value = c - '0' + 52;
    if (c == '+') value = 62;
    if (c == '/') value = 63;
    if (value < 0) continue;  // '=' padding, line breaks
    bits = (bits << 6) | uint32_t(value);
    count += 6;
    if (count >= 8) {
      count -= 8;
      bytes.push_back(static_cast<char>((bits >> count) & 0xFF));
    }
  }
  return bytes;
}

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

// The ID3v2.3 frame of a Vorbis comment field; the others become user texts of their name.
std::string FrameForField(const std::string& name) {
  static constexpr std::array<std::pair<std::string_view, std::string_view>, 19> kFrames = {{
      {"TITLE", "TIT2"},       {"ARTIST", "TPE1"},       {"ALBUM", "TALB"},
      {"ALBUMARTIST", "TPE2"}, {"ALBUM ARTIST", "TPE2"}, {"TRACKNUMBER", "TRCK"},
      {"DISCNUMBER", "TPOS"},  {"DATE", "TYER"},         {"YEAR", "TYER"},
      {"GENRE", "TCON"},       {"COMMENT", "COMM"},      {"DESCRIPTION", "COMM"},
      {"COMPOSER", "TCOM"},    {"LYRICIST", "TEXT"},     {"COPYRIGHT", "TCOP"},
      {"ENCODED-BY", "TENC"},  {"ENCODEDBY", "TENC"},    {"ENCODER", "TSSE"},
      {"ISRC", "TSRC"},
  }};
  for (const auto& [field, frame] : kFrames) {
    if (field == name) return std::string(frame);
  }
  return "TXXX:" + name;
}

// "3" and a total of "12" make "3/12", as TRCK and TPOS hold them.
void AddNumber(Tags& tags, const std::string& frame, const std::string& number,
               const std::string& total) {
  if (number.empty() && !total.empty()) {
    tags.AddText("TXXX:" + std::string(frame == "TRCK" ? "TRACKTOTAL" : "DISCTOTAL"), total);
  } else if (total.empty() || number.find('/') != std::string::npos) {
    tags.AddText(frame, number);
  } else {
    tags.AddText(frame, number + "/" + total);
  }
}

// A Vorbis comment (FLAC block, Ogg comment header): vendor text, then "NAME=value" fields,
// each after its little-endian length.
void ReadVorbisComment(std::string_view block, Tags& tags) {
  Cursor cursor(block);
  uint32_t count = 0;
  bool whole = cursor.Has(4);
  if (whole) {
    const uint32_t vendor = cursor.Little32();
    whole = cursor.Has(uint64_t(vendor) + 4);
    if (whole) cursor.Take(vendor);
    if (whole) count = cursor.Little32();
  }
  std::string numbers[4];  // track, tracks, disc, discs
  uint32_t field = 0;
  for (; whole && field < count; ++field) {
    whole = cursor.Has(4);
    const uint32_t size = whole ? cursor.Little32() : 0;
    whole = whole && cursor.Has(size);
    if (!whole) break;
    const std::string_view text = cursor.Take(size);
    const size_t equals = text.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string name = Upper(text.substr(0, equals));
    const std::string_view value = text.substr(equals + 1);
    if (name == "METADATA_BLOCK_PICTURE") {
      ReadPictureBlock(Base64Decoded(value), tags);
      continue;
    }
    static constexpr std::string_view kNumbers[] = {"TRACKNUMBER", "TRACKTOTAL", "DISCNUMBER",
                                                    "DISCTOTAL"};
    const auto number = std::find(std::begin(kNumbers), std::end(kNumbers), name);
    std::string* held = number != std::end(kNumbers) ? &numbers[number - kNumbers]
                        : name == "TOTALTRACKS"      ? &numbers[1]
                        : name == "TOTALDISCS"       ? &numbers[3]
                                                     : nullptr;
    if (held != nullptr) {
      *held = Utf8Of(value);
    } else {
      tags.AddText(FrameForField(name), value);
    }
  }
  if (!whole) {
    tags.Note("der Vorbis-Kommentar der Eingabe ist ab dem " + std::to_string(field + 1) +
              ". Feld beschädigt (seine Längen stimmen nicht); diese Felder fehlen in der "
              "MP3-Datei");
  }
  AddNumber(tags, "TRCK", numbers[0], numbers[1]);
  AddNumber(tags, "TPOS", numbers[2], numbers[3]);
}

// FLAC: "fLaC", then metadata blocks, each with a header of one byte (last block flag, type)
// and a 24-bit length. A leading ID3v2 tag, which some programs write, is read too.
Tags ReadFlac(const ReadAt& read_at, int64_t file_size, int64_t start) {
  Tags tags;
  int64_t at = start + 4;
  // libFLAC has checked the blocks already; the count only guards against a broken file.
  constexpr int kMostBlocks = 1024;
  for (int blocks = 0, last = 0; !last && blocks < kMostBlocks && at + 4 <= file_size; ++blocks) {
    const std::string head = ReadBytes(read_at, at, 4);
    if (head.size() < 4) break;
    last = (head[0] & 0x80) != 0;
    const int type = head[0] & 0x7F;
    const int64_t size = int64_t(static_cast<unsigned char>(head[1])) << 16 |
                         int64_t(static_cast<unsigned char>(head[2])) << 8 |
                         static_cast<unsigned char>(head[3]);
    at += 4;
    if (type == 4 || type == 6) {
      const std::string block = ReadBytes(read_at, at, size);
      if (type == 4) ReadVorbisComment(block, tags);
      if (type == 6) ReadPictureBlock(block, tags);
    }
    at += size;
  }
  return tags;
}

// ---- Ogg Vorbis and Opus ----

// The second packet of the first stream in the file: the comment header. Pages are read one at
// a time, only as far as that packet goes.
std::string OggCommentPacket(const ReadAt& read_at, int64_t file_size, Tags& tags) {
  std::string packet;
  int packets_done = 0;
  uint32_t serial = 0;
  bool first_page = true;
  for (int64_t at = 0; at + 27 <= file_size;) {
    const std::string head = ReadBytes(read_at, at, 27);
    if (head.size() < 27 || !head.starts_with("OggS")) break;
    const uint32_t page_serial = Cursor(std::string_view(head).substr(14)).Little32();
    if (first_page) serial = page_serial;
    first_page = false;
    const std::string segments = ReadBytes(read_at, at + 27, static_cast<unsigned char>(head[26]));
    int64_t body = at + 27 + int64_t(segments.size());
    for (char segment : segments) {
      const auto size = static_cast<unsigned char>(segment);
      if (page_serial == serial && packets_done == 1) {
        if (int64_t(packet.size()) + size > kMostItemBytes) {
          tags.Note("die Kommentare der Eingabe sind größer als " + Megabytes(kMostItemBytes) +
                    " und fehlen in der MP3-Datei");
          return {};
        }
        packet += ReadBytes(read_at, body, size);
      }
      body += size;
      if (page_serial == serial && size < 255 && ++packets_done == 2) return packet;
    }
    at = body;
  }
  return {};
}

Tags ReadOgg(const ReadAt& read_at, int64_t file_size) {
  Tags tags;
  const std::string packet = OggCommentPacket(read_at, file_size, tags);
  const std::string_view view(packet);
  if (view.starts_with("\x03vorbis")) ReadVorbisComment(view.substr(7), tags);
  if (view.starts_with("OpusTags")) ReadVorbisComment(view.substr(8), tags);
  return tags;
}

// ---- chunks of WAVE and AIFF ----

// The frames of RIFF INFO texts; the others become user texts of a readable name.
std::string FrameForInfo(std::string_view id) {
  static constexpr std::array<std::pair<std::string_view, std::string_view>, 26> kFrames = {{
      {"INAM", "TIT2"},
      {"IART", "TPE1"},
      {"IPRD", "TALB"},
      {"ICRD", "TYER"},
      {"IGNR", "TCON"},
      {"ICMT", "COMM"},
      {"ITRK", "TRCK"},
      {"IPRT", "TRCK"},
      {"ICOP", "TCOP"},
      {"ISFT", "TSSE"},
      {"ILNG", "TLAN"},
      {"IMED", "TMED"},
      {"ICMS", "TXXX:COMMISSIONED"},
      {"IENG", "TXXX:ENGINEER"},
      {"ITCH", "TXXX:TECHNICIAN"},
      {"IKEY", "TXXX:KEYWORDS"},
      {"ISBJ", "TXXX:SUBJECT"},
      {"ISRC", "TXXX:SOURCE"},
      {"ISRF", "TXXX:SOURCE FORM"},
      {"IARL", "TXXX:ARCHIVAL LOCATION"},
      {"ICRP", "TXXX:CROPPED"},
      {"IDIM", "TXXX:DIMENSIONS"},
      {"IDPI", "TXXX:DOTS PER INCH"},
      {"ILGT", "TXXX:LIGHTNESS"},
      {"IPLT", "TXXX:PALETTE SETTING"},
      {"ISHP", "TXXX:SHARPNESS"},
  }};
  for (const auto& [info, frame] : kFrames) {
    if (info == id) return std::string(frame);
  }
  return "TXXX:" + std::string(id);
}

// A LIST chunk of type INFO: entries of id, little-endian length, text, pad byte.
void ReadInfoList(std::string_view list, Tags& tags) {
  if (!list.starts_with("INFO")) return;
  Cursor cursor(list.substr(4));
  while (cursor.Has(8)) {
    const std::string id(cursor.Take(4));
    const uint32_t size = cursor.Little32();
    if (!cursor.Has(size)) {
      tags.Note("der Eintrag " + id +
                " der Infoliste der Eingabe ist abgeschnitten und fehlt in "
                "der MP3-Datei");
      return;
    }
    tags.AddText(FrameForInfo(id), cursor.Take(size));
    // A writer that forgot the pad byte is read as the audio library reads it: ids never
    // start with a NUL.
    if ((size & 1) != 0 && cursor.Has(1) && cursor.Peek() == '\0') cursor.Take(1);
  }
}

// A WAVE's or an AIFF's tags: the ID3v2 chunk first, the container's own texts fill in.
Tags ReadChunks(const ReadAt& read_at, const std::vector<ContainerChunk>& chunks) {
  static constexpr std::string_view kIds[] = {"LIST", "id3 ", "ID3 ", "NAME",
                                              "AUTH", "(c) ", "ANNO"};
  Tags id3;
  Tags own;
  for (const ContainerChunk& chunk : chunks) {
    if (std::find(std::begin(kIds), std::end(kIds), chunk.id) == std::end(kIds)) continue;
    if (chunk.body_size > kMostItemBytes) {
      own.Note("der Block \"" + chunk.id + "\" der Eingabe ist mit " + Megabytes(chunk.body_size) +
               " größer als " + Megabytes(kMostItemBytes) + " und fehlt in der MP3-Datei");
      continue;
    }
    const std::string bytes = ReadBytes(read_at, chunk.body_offset, chunk.body_size);
    if (chunk.id == "id3 " || chunk.id == "ID3 ") {
      ReadId3v2Tag(bytes, id3);
    } else if (chunk.id == "LIST") {
      ReadInfoList(bytes, own);
    } else if (chunk.id == "NAME") {
      own.AddText("TIT2", bytes);
    } else if (chunk.id == "AUTH") {
      own.AddText("TPE1", bytes);
    } else if (chunk.id == "(c) ") {
      own.AddText("TCOP", bytes);
    } else if (chunk.id == "ANNO") {
      own.AddText("COMM", bytes);
    }
  }
  id3.FillFrom(own);
  return id3;
}

// The containers whose INFO lists and text chunks are read (RIFX's big-endian lists are not).
bool HoldsTagChunks(Container container) {
  return container == Container::kRiff || container == Container::kRf64 ||
         container == Container::kAiff || container == Container::kAifc;
}

}  // namespace

Tags ReadInputTags(const AudioInput& input) {
  const ReadAt read_at = [&input](int64_t offset, std::span<unsigned char> into) {
    return input.ReadAt(offset, into);
  };
  const int64_t file_size = input.length();
  const std::string head = ReadBytes(read_at, 0, 12);
  Tags tags;
  if (head.starts_with("fLaC")) {
    tags = ReadFlac(read_at, file_size, 0);
  } else if (head.starts_with("ID3") && head.size() >= 10) {
    // A FLAC file after an ID3v2 tag: its blocks first, the tag fills in.
    const int64_t tag_size = 10 + (int64_t(head[6] & 0x7F) << 21 | int64_t(head[7] & 0x7F) << 14 |
                                   int64_t(head[8] & 0x7F) << 7 | int64_t(head[9] & 0x7F));
    if (ReadBytes(read_at, tag_size, 4) == "fLaC") tags = ReadFlac(read_at, file_size, tag_size);
    Tags id3;
    if (tag_size <= kMostItemBytes) {
      ReadId3v2Tag(ReadBytes(read_at, 0, tag_size), id3);
    } else {
      id3.Note("das ID3v2-Tag der Eingabe ist mit " + Megabytes(tag_size) + " größer als " +
               Megabytes(kMostItemBytes) + " und fehlt in der MP3-Datei");
    }
    tags.FillFrom(id3);
  } else if (head.starts_with("OggS")) {
    tags = ReadOgg(read_at, file_size);
  } else if (HoldsTagChunks(input.walk().container)) {
    tags = ReadChunks(read_at, input.walk().chunks);
  }
  tags.FillFrom(ReadLibraryTags(input.handle()));
  return tags;
}

}  // namespace gogo
