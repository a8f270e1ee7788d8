#pragma once

#include <lame/lame.h>
#include <sndfile.h>

#include <string>
#include <string_view>

namespace gogo {

// The descriptive texts an input carries (WAVE INFO chunk, AIFF and FLAC comments), as
// libsndfile hands them over: bytes, usually UTF-8, sometimes Latin-1.
struct Tags {
  std::string title;
  std::string artist;
  std::string album;
  std::string date;
  std::string comment;
  std::string track;
  std::string genre;

  bool empty() const;
};

Tags ReadTags(SNDFILE* file);

// Registers the tags with the encoder as an ID3v2 tag (no ID3v1). Call before lame_init_params.
void WriteTags(lame_t encoder, const Tags& tags);

// The text as UTF-16 with a byte order mark and a closing NUL, the form libmp3lame takes for
// non-Latin-1 frames. Bytes that are not valid UTF-8 are read as Latin-1, so nothing is dropped.
std::u16string Utf16WithByteOrderMark(std::string_view text);

}  // namespace gogo
