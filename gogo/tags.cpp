#include "tags.h"

#include <algorithm>
#include <iterator>
#include <optional>

namespace gogo {
namespace {

// Decodes one UTF-8 sequence at `index`; nothing when the bytes there are not valid UTF-8.
std::optional<char32_t> DecodeUtf8(std::string_view text, size_t& index) {
  const auto byte = [&](size_t at) { return static_cast<unsigned char>(text[at]); };
  const unsigned char lead = byte(index);
  int length = lead < 0x80           ? 1
               : (lead >> 5) == 0x6  ? 2
               : (lead >> 4) == 0xE  ? 3
               : (lead >> 3) == 0x1E ? 4
                                     : 0;
  if (length == 0 || index + length > text.size()) return std::nullopt;
  char32_t code = length == 1 ? lead : lead & (0x7F >> length);
  for (int i = 1; i < length; ++i) {
    if ((byte(index + i) & 0xC0) != 0x80) return std::nullopt;
    code = (code << 6) | (byte(index + i) & 0x3F);
  }
  static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
    return std::nullopt;
  }
  index += length;
  return code;
}

std::optional<std::u32string> DecodeUtf8(std::string_view text) {
  std::u32string codes;
  for (size_t index = 0; index < text.size();) {
    std::optional<char32_t> code = DecodeUtf8(text, index);
    if (!code) return std::nullopt;
    codes.push_back(*code);
  }
  return codes;
}

void AppendUtf16(std::u16string& out, char32_t code) {
  if (code < 0x10000) {
    out.push_back(static_cast<char16_t>(code));
    return;
  }
  code -= 0x10000;
  out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
  out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
}

bool IsJpeg(std::string_view data) { return data.starts_with("\xFF\xD8\xFF"); }
bool IsPng(std::string_view data) { return data.starts_with("\x89PNG\r\n\x1A\n"); }

}  // namespace

void Tags::AddText(const std::string& frame, std::string_view text) {
  const std::string value = Utf8Of(text);
  if (value.empty()) return;
  for (auto& [id, held] : texts_) {
    if (id != frame) continue;
    if (held == value || !Fits(value.size() + 2, "der Text " + frame)) return;
    held += "; " + value;
    return;
  }
  if (Fits(frame.size() + value.size(), "der Text " + frame)) texts_.emplace_back(frame, value);
}

void Tags::AddPicture(int type, std::string_view description, std::string data) {
  const std::string name = "das Bild \"" + PictureName(type) + "\"";
  const char* mime = IsJpeg(data) ? "image/jpeg" : IsPng(data) ? "image/png" : nullptr;
  if (mime == nullptr) {
    Note(name + " ist weder JPEG noch PNG und fehlt in der MP3-Datei");
    return;
  }
  if (!AcceptsPictureOf(type, data.size()) || !Fits(data.size() + description.size(), name)) return;
  pictures_.push_back({type, mime, Utf8Of(description), std::move(data)});
}

bool Tags::AcceptsPictureOf(int type, size_t bytes) {
  if (bytes <= kMostPictureBytes) return true;
  Note("das Bild \"" + PictureName(type) + "\" ist mit " + Megabytes(int64_t(bytes)) +
       " größer als die " + Megabytes(int64_t(kMostPictureBytes)) +
       ", die ein Bild haben darf, und fehlt in der MP3-Datei");
  return false;
}

void Tags::AddRawFrame(std::string frame) {
  if (Fits(frame.size(), "der Rahmen " + frame.substr(0, 4)))
    raw_frames_.push_back(std::move(frame));
}

bool Tags::Fits(size_t bytes, const std::string& what) {
  if (bytes_ + bytes > kMostBytes) {
    Note(what + " fehlt in der MP3-Datei: alle Tags zusammen hätten mehr als " +
         Megabytes(int64_t(kMostBytes)));
    return false;
  }
  bytes_ += bytes;
  return true;
}

void Tags::FillFrom(const Tags& other) {
  for (const auto& [frame, text] : other.texts_) {
    if (Text(frame) == nullptr) AddText(frame, text);
  }
  for (const Picture& picture : other.pictures_) {
    const bool held = std::any_of(pictures_.begin(), pictures_.end(),
                                  [&](const Picture& p) { return p.type == picture.type; });
    if (!held) AddPicture(picture.type, picture.description, picture.data);
  }
  for (const std::string& frame : other.raw_frames_) {
    const bool held = std::any_of(raw_frames_.begin(), raw_frames_.end(),
                                  [&](const auto& f) { return f.compare(0, 4, frame, 0, 4) == 0; });
    if (!held) AddRawFrame(frame);
  }
  notes_.insert(notes_.end(), other.notes_.begin(), other.notes_.end());
}

const std::string* Tags::Text(std::string_view frame) const {
  for (const auto& [id, text] : texts_) {
    if (id == frame) return &text;
  }
  return nullptr;
}

Tags ReadLibraryTags(SNDFILE* file) {
  static constexpr std::pair<int, const char*> kStrings[] = {
      {SF_STR_TITLE, "TIT2"}, {SF_STR_ARTIST, "TPE1"},    {SF_STR_ALBUM, "TALB"},
      {SF_STR_DATE, "TYER"},  {SF_STR_COMMENT, "COMM"},   {SF_STR_TRACKNUMBER, "TRCK"},
      {SF_STR_GENRE, "TCON"}, {SF_STR_COPYRIGHT, "TCOP"},
  };
  Tags tags;
  for (const auto& [kind, frame] : kStrings) {
    if (const char* text = sf_get_string(file, kind)) tags.AddText(frame, text);
  }
  return tags;
}

std::string Utf8Of(std::string_view bytes) {
  while (!bytes.empty() && (bytes.back() == ' ' || bytes.back() == '\t' || bytes.back() == '\0')) {
    bytes.remove_suffix(1);
  }
  if (DecodeUtf8(bytes)) return std::string(bytes);
  std::string text;
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      text.push_back(c);
    } else {
      text.push_back(static_cast<char>(0xC0 | (byte >> 6)));
      text.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
    }
  }
  return text;
}

std::string Megabytes(int64_t bytes) { return std::to_string((bytes + (1 << 19)) >> 20) + " MB"; }

std::string PictureName(int type) {
  static constexpr const char* kNames[] = {"Sonstiges",     "Dateisymbol",   "anderes Dateisymbol",
                                           "Titelbild",     "Rückseite",     "Beiheft",
                                           "Datenträger",   "Solist",        "Interpret",
                                           "Dirigent",      "Band",          "Komponist",
                                           "Texter",        "Aufnahmeort",   "bei der Aufnahme",
                                           "beim Auftritt", "Filmszene",     "Fisch",
                                           "Illustration",  "Logo der Band", "Logo des Labels"};
  if (type >= 0 && type < int(std::size(kNames))) return kNames[type];
  return "Nr. " + std::to_string(type);
}

std::u16string Utf16WithByteOrderMark(std::string_view text) {
  std::u16string out(1, u'\uFEFF');
  if (std::optional<std::u32string> codes = DecodeUtf8(text)) {
    for (char32_t code : *codes) AppendUtf16(out, code);
  } else {
    for (char c : text) out.push_back(static_cast<unsigned char>(c));
  }
  return out;
}

}  // namespace gogo
