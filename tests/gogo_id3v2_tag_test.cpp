// The ID3v2 reader on the forms of tags that tag editors write into WAVE and AIFF files, and
// the writer read back by it.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "id3v2_tag.h"

namespace {

using namespace std::string_literals;

std::string Size(uint32_t value, int bytes, int bits) {
  std::string out;
  for (int i = bytes - 1; i >= 0; --i)
    out.push_back(char((value >> (bits * i)) & ((1u << bits) - 1)));
  return out;
}

// A tag of `version` with `flags` around frames already laid out.
std::string Tag(int version, char flags, const std::string& frames) {
  return "ID3"s + char(version) + '\0' + flags + Size(uint32_t(frames.size()), 4, 7) + frames;
}

std::string Frame(const std::string& id, const std::string& body, int version = 3,
                  char format = 0) {
  if (version == 2) return id + Size(uint32_t(body.size()), 3, 8) + body;
  return id + Size(uint32_t(body.size()), 4, version == 4 ? 7 : 8) + '\0' + format + body;
}

std::map<std::string, std::string> Texts(const gogo::Tags& tags) {
  std::map<std::string, std::string> texts(tags.texts().begin(), tags.texts().end());
  for (const gogo::Picture& picture : tags.pictures()) {
    texts["APIC:" + std::to_string(picture.type)] = picture.mime + " " + picture.data;
  }
  for (const std::string& note : tags.notes()) texts["note"] += note;
  return texts;
}

const std::string kPng = "\x89PNG\r\n\x1A\n"s + "bild";

struct TagCase {
  const char* name;
  std::string tag;
  std::map<std::string, std::string> arrives;
};

TEST(GogoId3v2Tag, EveryVersionAndFormArrivesDecoded) {
  const TagCase cases[] = {
      {"2.2 with its short ids",
       Tag(2, 0,
           Frame("TT2",
                 "\0Gr\xF6\xDF"
                 "e"s,
                 2) +
               Frame("PIC", "\0PNG\x04\0"s + kPng, 2)),
       {{"TIT2", "Größe"}, {"APIC:4", "image/png " + kPng}}},
      // Unsynchronisation put a NUL after every 0xFF, the byte order mark's too.
      {"unsynchronised 2.3",
       Tag(3, '\x80', "TIT2"s + Size(5, 4, 8) + "\0\0\x01\xFF\0\xFE\xE4\0"s),
       {{"TIT2", "ä"}}},
      {"2.4 with frame flags, a date, a list and its own frames",
       Tag(4, 0,
           Frame("TIT2", "\0\0\0\x05\x03Zo\xC3\xAB"s, 4, '\x01') +
               Frame("TPE1",
                     "\x03"
                     "A\0B"s,
                     4) +
               Frame("TDRC",
                     "\x03"
                     "2021-03-04"s,
                     4) +
               Frame("TMOO", "\x03ruhig"s, 4) + Frame("PRIV", "x"s, 4) +
               Frame("USER",
                     "\x03"
                     "deuText"s,
                     4)),
       {{"TIT2", "Zoë"}, {"TPE1", "A; B"}, {"TYER", "2021-03-04"}, {"TXXX:TMOO", "ruhig"}}},
      {"2.3 with an extended header and a compressed frame",
       Tag(3, '\x40',
           Size(6, 4, 8) + std::string(6, '\0') + Frame("TALB", "\0Album"s) +
               Frame("TIT2", "x"s, 3, '\x80')),
       {{"TALB", "Album"},
        {"note",
         "der Rahmen TIT2 im ID3v2-Tag der Eingabe ist komprimiert oder verschlüsselt und fehlt "
         "in der MP3-Datei"}}},
      {"a frame that claims more than the tag",
       Tag(3, 0, Frame("TALB", "\0Album"s) + Frame("TIT2", "\0Titel"s).substr(0, 13)),
       {{"TALB", "Album"},
        {"note",
         "das ID3v2-Tag der Eingabe ist ab dem Rahmen TIT2 beschädigt oder abgeschnitten; der "
         "Rest fehlt in der MP3-Datei"}}},
  };
  for (const TagCase& c : cases) {
    gogo::Tags tags;
    gogo::ReadId3v2Tag(c.tag, tags);
    EXPECT_EQ(Texts(tags), c.arrives) << c.name;
  }
}

// What the writer makes, the reader takes back as it was: texts beyond Latin-1 and beyond the
// basic plane, descriptions, pictures and frames taken over whole.
TEST(GogoId3v2Tag, TheWrittenTagReadsBackAsItWas) {
  gogo::Tags tags;
  tags.AddText("TIT2", "Zoë – 東京 \xF0\x9F\x8E\xB5");
  tags.AddText("TRCK", "3/12");
  tags.AddText("TXXX:REPLAYGAIN_TRACK_GAIN", "-6.50 dB");
  tags.AddText("COMM", "Kommentar");
  tags.AddText("COMM:Beschreibung ä", "Text");
  tags.AddPicture(4, "Rückseite", kPng);
  tags.AddRawFrame(Frame("PRIV", "owner\0data"s));
  const std::vector<unsigned char> written = gogo::Id3v2TagFor(tags);
  ASSERT_EQ(std::string(written.begin(), written.begin() + 4), "ID3\x03");
  gogo::Tags read;
  gogo::ReadId3v2Tag(std::string(written.begin(), written.end()), read);
  EXPECT_EQ(Texts(read), Texts(tags));
  EXPECT_EQ(read.raw_frames(), tags.raw_frames());
  EXPECT_TRUE(gogo::Id3v2TagFor({}).empty());
}

}  // namespace
