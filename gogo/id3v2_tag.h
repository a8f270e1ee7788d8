#pragma once

#include <string_view>
#include <vector>

#include "tags.h"

namespace gogo {

// The ID3v2.3 tag that stands at the start of the MP3, without padding; empty for no tags.
// Version 2.3 because it is the one that every player, phone, car radio and Windows itself
// reads; 2.4 (UTF-8 texts) is still unknown to many of them. Texts are Latin-1 where they are
// ASCII, else UTF-16 with a byte order mark, which 2.3 readers all know.
std::vector<unsigned char> Id3v2TagFor(const Tags& tags);

// Takes the frames of an ID3v2 tag (versions 2.2 to 2.4, as tag editors put it into WAVE and
// AIFF files) into `tags`: texts, comments, user texts and pictures decoded, other frames of a
// 2.3 tag whole. A frame that is cut short or cannot be read is left out with a note.
void ReadId3v2Tag(std::string_view tag, Tags& tags);

}  // namespace gogo
