#pragma once

#include <sndfile.h>

#include <cstdint>
#include <functional>
#include <span>

#include "tags.h"

namespace gogo {

// Reads bytes of the input at `offset` into `into`; returns how many it read (fewer at the end).
using ReadAt = std::function<size_t(int64_t offset, std::span<unsigned char> into)>;

// Every tag and picture the input holds, read from its own bytes: FLAC's Vorbis comment and
// PICTURE blocks, the comment header of Ogg Vorbis and Opus, a WAVE's INFO list and `id3 `
// chunk, AIFF's NAME, AUTH, "(c) ", ANNO and `ID3 ` chunks. Where a file holds a field twice,
// its ID3v2 tag wins over the other texts; what libsndfile reads (`file`) fills the gaps, and
// is all there is for other containers. Broken items are left out with a note each.
Tags ReadInputTags(const ReadAt& read_at, int64_t file_size, SNDFILE* file);

}  // namespace gogo
