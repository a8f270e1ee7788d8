#pragma once

#include <sndfile.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace gogo {

// One picture of an input: its type as ID3v2 and FLAC count them (3 the front cover, 4 the
// back, ...), the MIME type its bytes show (JPEG or PNG), its description and its bytes.
struct Picture {
  int type = 3;
  std::string mime;
  std::string description;
  std::string data;
};

// What an input says about itself, ready for the ID3v2 tag: texts as UTF-8 under the frame
// that holds them ("TIT2", "TRCK", "TXXX:REPLAYGAIN_TRACK_GAIN", "COMM" or "COMM:description"),
// pictures, frames of an ID3v2.3 tag taken over whole, and one German line for every item that
// was left out. Items are refused beyond the size limits, so a tag never grows without bound.
class Tags {
 public:
  // A cover scan of any real size fits; beyond it, the "picture" is something else.
  static constexpr size_t kMostPictureBytes = size_t(16) << 20;
  // Everything together, pictures included.
  static constexpr size_t kMostBytes = size_t(32) << 20;

  // Adds a text; a second value for the same frame joins the first ("A; B"). Bytes that are
  // not UTF-8 are read as Latin-1. Empty texts are left out.
  void AddText(const std::string& frame, std::string_view text);
  // Adds a JPEG or PNG picture; anything else is left out with a note.
  void AddPicture(int type, std::string_view description, std::string data);
  // False, with a note, for a picture too large to take; readers ask before reading it.
  bool AcceptsPictureOf(int type, size_t bytes);
  // An ID3v2.3 frame, header included, to be written as it is.
  void AddRawFrame(std::string frame);
  void Note(std::string line) { notes_.push_back(std::move(line)); }
  // Takes from `other` what this one lacks: texts of other frames, pictures of other types,
  // frames of other ids; and all its notes.
  void FillFrom(const Tags& other);

  bool empty() const { return texts_.empty() && pictures_.empty() && raw_frames_.empty(); }
  const std::vector<std::pair<std::string, std::string>>& texts() const { return texts_; }
  const std::string* Text(std::string_view frame) const;
  const std::vector<Picture>& pictures() const { return pictures_; }
  const std::vector<std::string>& raw_frames() const { return raw_frames_; }
  const std::vector<std::string>& notes() const { return notes_; }

 private:
  bool Fits(size_t bytes, const std::string& what);

  std::vector<std::pair<std::string, std::string>> texts_;
  std::vector<Picture> pictures_;
  std::vector<std::string> raw_frames_;
  std::vector<std::string> notes_;
  size_t bytes_ = 0;
};

// The texts libsndfile hands over for an input (title, artist, album, date, comment, track,
// genre): for the containers whose tags gogo does not read itself.
Tags ReadLibraryTags(SNDFILE* file);

// `bytes` as UTF-8: valid UTF-8 stays, anything else is read as Latin-1. Trailing NULs and
// blanks (the padding of INFO texts) go.
std::string Utf8Of(std::string_view bytes);

// The text as UTF-16 with a byte order mark, the form ID3v2.3 frames hold other than ASCII in.
// Bytes that are not valid UTF-8 are read as Latin-1, so nothing is dropped.
std::u16string Utf16WithByteOrderMark(std::string_view text);

// A size in whole megabytes, for German notes ("50 MB").
std::string Megabytes(int64_t bytes);

// The name of a picture type in German notes ("Titelbild" for 3).
std::string PictureName(int type);

}  // namespace gogo
