#include "id3v2_tag.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

namespace gogo {
namespace {

// ---- writing ----

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Texts of one frame share its encoding byte: 0 Latin-1, 1 UTF-16 with byte order mark.
class FrameText {
 public:
  explicit FrameText(bool ascii) : ascii_(ascii) {}
  char encoding() const { return ascii_ ? 0 : 1; }
  void Append(std::string& body, std::string_view text, bool terminated) const {
    if (ascii_) {
      body += text;
      if (terminated) body.push_back('\0');
      return;
    }
    for (char16_t unit : Utf16WithByteOrderMark(text)) {
      body.push_back(static_cast<char>(unit & 0xFF));
      body.push_back(static_cast<char>(unit >> 8));
    }
    if (terminated) body.append(2, '\0');
  }

 private:
  bool ascii_;
};

void AppendBigEndian(std::vector<unsigned char>& out, uint32_t value, int bytes, int bits = 8) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back((value >> (bits * i)) & ((1u << bits) - 1));
}

void AppendFrame(std::vector<unsigned char>& tag, std::string_view id, std::string_view body) {
  tag.insert(tag.end(), id.begin(), id.end());
  AppendBigEndian(tag, static_cast<uint32_t>(body.size()), 4);
  tag.push_back(0);
  tag.push_back(0);
  tag.insert(tag.end(), body.begin(), body.end());
}

// 2.3 keeps the year alone; a full date such as "2024-05-01" gives its year.
std::string YearOf(const std::string& date) {
  if (date.size() >= 4 &&
      std::all_of(date.begin(), date.begin() + 4, [](char c) { return c >= '0' && c <= '9'; })) {
    return date.substr(0, 4);
  }
  return date;
}

void AppendTextFrame(std::vector<unsigned char>& tag, const std::string& key,
                     const std::string& text) {
  const std::string id = key.substr(0, 4);
  const std::string description = key.size() > 5 ? key.substr(5) : std::string();
  const FrameText encoding(IsAscii(text) && IsAscii(description));
  std::string body(1, encoding.encoding());
  if (id == "COMM") {
    body += "XXX";  // ID3v2's word for an unknown language
    encoding.Append(body, description, true);
  } else if (id == "TXXX") {
    encoding.Append(body, description, true);
  }
  encoding.Append(body, id == "TYER" ? YearOf(text) : text, false);
  AppendFrame(tag, id, body);
}

void AppendPicture(std::vector<unsigned char>& tag, const Picture& picture) {
  const FrameText encoding(IsAscii(picture.description));
  std::string body(1, encoding.encoding());
  body += picture.mime;
  body.push_back('\0');
  body.push_back(static_cast<char>(picture.type));
  encoding.Append(body, picture.description, true);
  body += picture.data;
  AppendFrame(tag, "APIC", body);
}

// ---- reading ----

uint32_t BigEndian(std::string_view bytes, int count, int bits = 8) {
  uint32_t value = 0;
  for (int i = 0; i < count; ++i) {
    value = (value << bits) | (static_cast<unsigned char>(bytes[i]) & ((1u << bits) - 1));
  }
  return value;
}

// Undoes the unsynchronisation that turned every 0xFF 0x00 into 0xFF.
std::string Resynchronised(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    out.push_back(bytes[i]);
    if (bytes[i] == '\xFF' && i + 1 < bytes.size() && bytes[i + 1] == '\0') ++i;
  }
  return out;
}

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

std::string Utf8OfUtf16(std::string_view bytes, bool big_endian) {
  if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
    big_endian = bytes[0] == '\xFE';
    bytes.remove_prefix(2);
  }
  const auto unit = [&](size_t at) {
    const auto a = static_cast<unsigned char>(bytes[at]);
    const auto b = static_cast<unsigned char>(bytes[at + 1]);
    return static_cast<char32_t>(big_endian ? (a << 8 | b) : (b << 8 | a));
  };
  std::string out;
  for (size_t at = 0; at + 1 < bytes.size(); at += 2) {
    char32_t code = unit(at);
    if (code >= 0xD800 && code < 0xDC00 && at + 3 < bytes.size() && unit(at + 2) >= 0xDC00 &&
        unit(at + 2) < 0xE000) {
      code = 0x10000 + ((code - 0xD800) << 10) + (unit(at + 2) - 0xDC00);
      at += 2;
    } else if (code >= 0xD800 && code < 0xE000) {
      code = 0xFFFD;
    }
    AppendUtf8(out, code);
  }
  return out;
}

// The strings of a frame body in its encoding: 0 Latin-1, 1 UTF-16 with byte order mark,
// 2 UTF-16 big-endian, 3 UTF-8.
class TextReader {
 public:
  TextReader(std::string_view bytes, char encoding) : bytes_(bytes), encoding_(encoding) {}
  bool valid() const { return encoding_ >= 0 && encoding_ <= 3; }
  // The next string up to its terminator, or the rest.
  std::string Next() {
    const bool wide = encoding_ == 1 || encoding_ == 2;
    size_t end = 0;
    if (wide) {
      while (end + 1 < bytes_.size() && (bytes_[end] != '\0' || bytes_[end + 1] != '\0')) end += 2;
      if (end + 1 >= bytes_.size()) end = bytes_.size();
    } else {
      end = std::min(bytes_.find('\0'), bytes_.size());
    }
    const std::string_view raw = bytes_.substr(0, end);
    bytes_.remove_prefix(std::min(bytes_.size(), end + (wide ? 2 : 1)));
    return Decoded(raw);
  }
  // The rest, its terminated strings (2.4's list of values) joined.
  std::string Rest() {
    std::string text = Next();
    while (!bytes_.empty()) {
      const std::string more = Next();
      if (!more.empty()) text += (text.empty() ? "" : "; ") + more;
    }
    return text;
  }
  // Up to a single NUL, whatever the encoding: the MIME type of a picture is always Latin-1.
  void SkipLatin1() {
    const size_t end = bytes_.find('\0');
    bytes_.remove_prefix(end == std::string_view::npos ? bytes_.size() : end + 1);
  }
  std::string_view remaining() const { return bytes_; }
  void Skip(size_t count) { bytes_.remove_prefix(std::min(count, bytes_.size())); }

 private:
  std::string Decoded(std::string_view raw) const {
    if (encoding_ == 1 || encoding_ == 2) return Utf8OfUtf16(raw, encoding_ == 2);
    if (encoding_ == 3) return Utf8Of(raw);
    std::string out;
    for (char c : raw) AppendUtf8(out, static_cast<unsigned char>(c));
    return out;
  }

  std::string_view bytes_;
  char encoding_;
};

// The 2.3 names of the 2.2 frames that matter.
std::string FrameIdOf(std::string_view id) {
  static constexpr std::array<std::pair<std::string_view, std::string_view>, 17> kOld = {{
      {"TT2", "TIT2"},
      {"TP1", "TPE1"},
      {"TP2", "TPE2"},
      {"TAL", "TALB"},
      {"TRK", "TRCK"},
      {"TPA", "TPOS"},
      {"TYE", "TYER"},
      {"TCO", "TCON"},
      {"TCM", "TCOM"},
      {"TXT", "TEXT"},
      {"TCR", "TCOP"},
      {"TEN", "TENC"},
      {"TRC", "TSRC"},
      {"TXX", "TXXX"},
      {"COM", "COMM"},
      {"PIC", "APIC"},
      {"TSS", "TSSE"},
  }};
  if (id.size() == 4) return std::string(id);
  for (const auto& [old_id, id3] : kOld) {
    if (old_id == id) return std::string(id3);
  }
  return {};
}

// 2.4 frames without text encoding byte, whose bodies 2.3 has alike.
bool IsPlainBinaryFrame(std::string_view id) {
  return id == "PRIV" || id == "UFID" || id == "POPM" || id == "PCNT" || id == "MCDI";
}

// 2.4's own text frames, unknown to 2.3: the date becomes the year, the rest user texts.
std::string TextKeyFor(const std::string& id, int version) {
  if (version < 4) return id;
  if (id == "TDRC") return "TYER";
  if (id == "TDOR") return "TORY";
  static constexpr std::string_view kOnly24[] = {"TDEN", "TDRL", "TDTG", "TIPL",
                                                 "TMCL", "TMOO", "TPRO", "TSST"};
  for (std::string_view only : kOnly24) {
    if (only == id) return "TXXX:" + id;
  }
  return id;
}

void ReadPicture(TextReader& reader, bool old_format, Tags& tags) {
  if (old_format) {
    reader.Skip(3);  // "JPG" or "PNG"; the bytes say which
  } else {
    reader.SkipLatin1();  // the MIME type; the bytes say what they are
  }
  if (reader.remaining().empty()) {
    tags.Note("ein Bild im ID3v2-Tag der Eingabe ist beschädigt und fehlt in der MP3-Datei");
    return;
  }
  const int type = static_cast<unsigned char>(reader.remaining()[0]);
  reader.Skip(1);
  const std::string description = reader.Next();
  if (tags.AcceptsPictureOf(type, reader.remaining().size())) {
    tags.AddPicture(type, description, std::string(reader.remaining()));
  }
}

void ReadFrame(const std::string& id, std::string_view body, int version, Tags& tags) {
  if (id.empty()) return;
  if (id[0] == 'T' || id == "COMM" || id == "APIC") {
    if (body.empty()) return;
    TextReader reader(body.substr(1), body[0]);
    if (!reader.valid()) {
      tags.Note("der Rahmen " + id + " im ID3v2-Tag der Eingabe hat eine unbekannte Kodierung " +
                "und fehlt in der MP3-Datei");
      return;
    }
    if (id == "APIC") {
      ReadPicture(reader, version == 2, tags);
    } else if (id == "COMM") {
      reader.Skip(3);  // the language
      const std::string description = reader.Next();
      tags.AddText(description.empty() ? "COMM" : "COMM:" + description, reader.Rest());
    } else if (id == "TXXX") {
      const std::string description = reader.Next();
      tags.AddText("TXXX:" + description, reader.Rest());
    } else {
      tags.AddText(TextKeyFor(id, version), reader.Rest());
    }
    return;
  }
  if (version == 3 || (version == 4 && IsPlainBinaryFrame(id))) {
    std::vector<unsigned char> frame;
    AppendFrame(frame, id, body);
    tags.AddRawFrame(std::string(frame.begin(), frame.end()));
  }
}

bool IsFrameId(std::string_view id) {
  return std::all_of(id.begin(), id.end(),
                     [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); });
}

constexpr const char* kCutShort = "das ID3v2-Tag der Eingabe ist ab dem Rahmen ";

}  // namespace

std::vector<unsigned char> Id3v2TagFor(const Tags& tags) {
  if (tags.empty()) return {};
  std::vector<unsigned char> tag = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 0};
  for (const auto& [key, text] : tags.texts()) AppendTextFrame(tag, key, text);
  for (const Picture& picture : tags.pictures()) AppendPicture(tag, picture);
  for (const std::string& frame : tags.raw_frames())
    tag.insert(tag.end(), frame.begin(), frame.end());
  std::vector<unsigned char> size;
  AppendBigEndian(size, static_cast<uint32_t>(tag.size() - 10), 4, 7);
  std::copy(size.begin(), size.end(), tag.begin() + 6);
  return tag;
}

void ReadId3v2Tag(std::string_view tag, Tags& tags) {
  if (tag.size() < 10 || !tag.starts_with("ID3")) return;
  const int version = tag[3];
  if (version < 2 || version > 4) {
    tags.Note("ein ID3v2-Tag der Version 2." + std::to_string(version) +
              " wird nicht gelesen; seine Tags fehlen in der MP3-Datei");
    return;
  }
  const char flags = tag[5];
  std::string body(tag.substr(10, BigEndian(tag.substr(6), 4, 7)));
  if ((flags & 0x80) != 0 && version < 4) body = Resynchronised(body);
  size_t at = 0;
  if ((flags & 0x40) != 0 && version > 2 && body.size() >= 4) {
    at = version == 3 ? 4 + BigEndian(body, 4) : BigEndian(body, 4, 7);
  }
  const size_t id_size = version == 2 ? 3 : 4;
  const size_t head_size = version == 2 ? 6 : 10;
  const std::string_view frames(body);
  while (at + head_size <= frames.size() && frames[at] != '\0') {
    const std::string_view raw_id = frames.substr(at, id_size);
    const uint32_t size = version == 2   ? BigEndian(frames.substr(at + 3), 3)
                          : version == 3 ? BigEndian(frames.substr(at + 4), 4)
                                         : BigEndian(frames.substr(at + 4), 4, 7);
    if (!IsFrameId(raw_id) || size > body.size() - at - head_size) {
      tags.Note(kCutShort + std::string(IsFrameId(raw_id) ? raw_id : "?") +
                " beschädigt oder abgeschnitten; der Rest fehlt in der MP3-Datei");
      return;
    }
    std::string frame_body(frames.substr(at + head_size, size));
    at += head_size + size;
    const char format = version == 2 ? 0 : body[at - size - 1];
    // Compressed, encrypted or grouped frames are too rare to be worth their own reader.
    if ((version == 3 && (format & 0xE0) != 0) || (version == 4 && (format & 0x4C) != 0)) {
      tags.Note("der Rahmen " + std::string(raw_id) +
                " im ID3v2-Tag der Eingabe ist komprimiert oder verschlüsselt und fehlt in der "
                "MP3-Datei");
      continue;
    }
    if (version == 4 && (format & 0x02) != 0) frame_body = Resynchronised(frame_body);
    if (version == 4 && (format & 0x01) != 0) frame_body.erase(0, std::min<size_t>(4, size));
    ReadFrame(FrameIdOf(raw_id), frame_body, version, tags);
  }
}

}  // namespace gogo
