#include "tags.h"

#include <optional>

namespace gogo {
namespace {

std::string Cleaned(const char* text) {
  if (text == nullptr) return {};
  std::string cleaned(text);
  // INFO chunks are often padded with blanks.
  while (!cleaned.empty() && (cleaned.back() == ' ' || cleaned.back() == '\t')) {
    cleaned.pop_back();
  }
  return cleaned;
}

bool IsAscii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

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

const unsigned short* AsLame(const std::u16string& text) {
  return reinterpret_cast<const unsigned short*>(text.c_str());
}

void WriteText(lame_t encoder, const char* frame, const std::string& text) {
  if (text.empty()) return;
  if (IsAscii(text)) {
    id3tag_set_textinfo_latin1(encoder, frame, text.c_str());
  } else {
    id3tag_set_textinfo_utf16(encoder, frame, AsLame(Utf16WithByteOrderMark(text)));
  }
}

void WriteComment(lame_t encoder, const std::string& text) {
  if (text.empty()) return;
  // "XXX" is ID3v2's word for an unknown language.
  if (IsAscii(text)) {
    id3tag_set_comment_latin1(encoder, "XXX", "", text.c_str());
  } else {
    const std::u16string description = Utf16WithByteOrderMark("");
    id3tag_set_comment_utf16(encoder, "XXX", AsLame(description),
                             AsLame(Utf16WithByteOrderMark(text)));
  }
}

// ID3v2.3 keeps the year alone; a full date such as "2024-05-01" gives its year.
std::string YearOf(const std::string& date) {
  if (date.size() >= 4) {
    bool digits = true;
    for (int i = 0; i < 4; ++i) digits = digits && date[i] >= '0' && date[i] <= '9';
    if (digits) return date.substr(0, 4);
  }
  return date;
}

}  // namespace

bool Tags::empty() const {
  return title.empty() && artist.empty() && album.empty() && date.empty() && comment.empty() &&
         track.empty() && genre.empty();
}

Tags ReadTags(SNDFILE* file) {
  Tags tags;
  tags.title = Cleaned(sf_get_string(file, SF_STR_TITLE));
  tags.artist = Cleaned(sf_get_string(file, SF_STR_ARTIST));
  tags.album = Cleaned(sf_get_string(file, SF_STR_ALBUM));
  tags.date = Cleaned(sf_get_string(file, SF_STR_DATE));
  tags.comment = Cleaned(sf_get_string(file, SF_STR_COMMENT));
  tags.track = Cleaned(sf_get_string(file, SF_STR_TRACKNUMBER));
  tags.genre = Cleaned(sf_get_string(file, SF_STR_GENRE));
  return tags;
}

void WriteTags(lame_t encoder, const Tags& tags) {
  if (tags.empty()) return;
  id3tag_init(encoder);
  id3tag_v2_only(encoder);
  WriteText(encoder, "TIT2", tags.title);
  WriteText(encoder, "TPE1", tags.artist);
  WriteText(encoder, "TALB", tags.album);
  WriteText(encoder, "TYER", YearOf(tags.date));
  WriteText(encoder, "TRCK", tags.track);
  WriteText(encoder, "TCON", tags.genre);
  WriteComment(encoder, tags.comment);
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
