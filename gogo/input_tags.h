#pragma once

#include "audio_input.h"
#include "tags.h"

namespace gogo {

// Every tag and picture the input holds, read from its own bytes: FLAC's Vorbis comment and
// PICTURE blocks, the comment header of Ogg Vorbis and Opus, a WAVE's INFO list and `id3 `
// chunk, AIFF's NAME, AUTH, "(c) ", ANNO and `ID3 ` chunks. Where a file holds a field twice,
// its ID3v2 tag wins over the other texts; what libsndfile reads fills the gaps, and is all
// there is for other containers. Broken items are left out with a note each.
Tags ReadInputTags(const AudioInput& input);

}  // namespace gogo
