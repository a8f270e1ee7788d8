#include "command_line.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <iterator>
#include <vector>

namespace gogo {
namespace {

constexpr std::array<int, 14> kBitrates = {32,  40,  48,  56,  64,  80,  96,
                                           112, 128, 160, 192, 224, 256, 320};

constexpr int kMostThreads = 64;

constexpr std::string_view kUsage =
    R"(Aufruf: gogo [OPTIONEN] EINGABE [AUSGABE]

Kodiert eine Audiodatei (WAVE, AIFF, FLAC und alles, was libsndfile liest; Mono oder
Stereo, Abtastrate 1 bis 768 kHz) als MP3.

Die Tags und Bilder der Eingabe (Vorbis-Kommentare und Bilder von FLAC, Kommentare von Ogg
Vorbis und Opus, Infoliste von WAVE, Texte von AIFF, ID3v2-Tags in WAVE und AIFF) stehen
als ID3v2.3-Tag am Anfang der MP3-Datei: Titel, Interpret, Album, Albuminterpret,
Titel- und CD-Nummer (etwa 3/12), Jahr, Genre, Kommentar, Komponist, Texter, Copyright,
kodiert von, ISRC, ReplayGain (als TXXX-Rahmen wie REPLAYGAIN_TRACK_GAIN) und alle
übrigen Felder als TXXX-Rahmen ihres Namens; Bilder (JPEG und PNG, je Bild bis 16 MB)
mit ihrer Art (Titelbild, Rückseite, ...). Was beschädigt oder zu groß ist, fehlt, und
eine Zeile sagt, was; die Audiodaten werden trotzdem kodiert.

Optionen (vor der Eingabe, in beliebiger Reihenfolge):
  -b N        feste Bitrate N kbit/s: 32 40 48 56 64 80 96 112 128 160 192 224 256 320;
              mit -V die niedrigste Bitrate, die ein Rahmen bekommt
  -V N        variable Bitrate mit der Zielqualität N: 0 (beste, größte Datei) bis 9
              (kleinste Datei), auch mit Nachkommastellen wie 2.5; üblich ist -V 2
  -m m|s|j    Modus: Mono, Stereo oder Joint Stereo
  -q N        Qualität 0 (beste, langsamste) bis 9 (schnellste)
  -nopsy      ohne psychoakustisches Modell: die schnellste Kodierung (wie -q 9)
  -j N        mit N Threads kodieren (1 bis 64); ohne -j einer je Prozessorkern
  -delete     die Eingabe löschen, sobald die MP3-Datei fertig an ihrem Platz liegt: nur
              die gelesene Datei, unverändert, nie eine, die inzwischen ihren Namen trägt
  -o ORDNER   die MP3-Datei in ORDNER schreiben
  --          Ende der Optionen (für Namen, die mit '-' beginnen)
  -h, --help  diese Hilfe

Ohne AUSGABE heißt die Ausgabe wie die Eingabe, mit ".mp3" statt ihrer Endung, und liegt
im ORDNER von -o oder neben der Eingabe. Eine vorhandene MP3-Datei dieses Namens wird
ersetzt; eine andere Datei (etwa eine WAVE-Datei) und die Eingabe selbst nie. Leere
Argumente werden übergangen. Die MP3-Datei erscheint erst, wenn sie vollständig ist: ein
abgebrochener Lauf hinterlässt keine halbe Datei. Eine Eingabe ohne Audiodaten wird nicht
kodiert. Enthält sie mehr Audiodaten, als ihr Kopf angibt (eine nicht fertig geschriebene
Aufnahme), wird alles bis zum Ende ihrer Audiodaten kodiert, und sie bleibt auch mit -delete
erhalten (Rückgabewert 1); sind diese Audiodaten komprimiert, wird sie nicht kodiert.
Angehängte Tags (ID3v2, ID3v1, APEv2) und Metadaten nach den Audiodaten stören nicht.
Abtastwerte, die keine Zahl sind, werden zu Stille.

Fortschritt in Prozent erscheint höchstens zehnmal in der Sekunde auf der
Standardfehlerausgabe, wenn sie ein Terminal oder eine Pipe ist, nie in einer Datei.

Rückgabewert: 0 bei Erfolg, 1 wenn Lesen, Kodieren oder Schreiben scheitert oder die
Eingabe trotz -delete bleibt, 2 bei einem falschen Aufruf.
)";

std::optional<int> ParseNumber(std::string_view text) {
  int value = 0;
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

std::optional<int> ParseBitrate(std::string_view text) {
  std::optional<int> value = ParseNumber(text);
  if (!value || std::find(kBitrates.begin(), kBitrates.end(), *value) == kBitrates.end()) {
    return std::nullopt;
  }
  return value;
}

std::optional<char> ParseMode(std::string_view text) {
  if (text == "m" || text == "s" || text == "j") return text[0];
  return std::nullopt;
}

// Digits with at most one decimal point (or comma), from 0 to below 10.
std::optional<double> ParseVbrQuality(std::string_view text) {
  std::string digits(text);
  std::replace(digits.begin(), digits.end(), ',', '.');
  const bool plain = !digits.empty() && std::isdigit(static_cast<unsigned char>(digits[0])) &&
                     std::all_of(digits.begin(), digits.end(),
                                 [](char c) { return c == '.' || (c >= '0' && c <= '9'); }) &&
                     std::count(digits.begin(), digits.end(), '.') <= 1;
  double value = 0;
  const char* end = digits.data() + digits.size();
  if (!plain || std::from_chars(digits.data(), end, value).ptr != end || value >= 10) {
    return std::nullopt;
  }
  return value;
}

std::optional<int> ParseQuality(std::string_view text) {
  std::optional<int> value = ParseNumber(text);
  if (!value || *value < 0 || *value > 9 || text.size() != 1) return std::nullopt;
  return value;
}

UsageError Error(std::string text) { return UsageError{"gogo: " + std::move(text)}; }

// Reads one option and its value, if it takes one; `index` moves past what was used.
std::optional<UsageError> ReadOption(std::span<const std::string_view> words, size_t& index,
                                     Options& options) {
  const std::string_view name = words[index];
  const bool takes_value =
      name == "-b" || name == "-m" || name == "-q" || name == "-o" || name == "-j" || name == "-V";
  if (!takes_value) {
    if (name == "-nopsy") {
      options.no_psy = true;
    } else if (name == "-delete") {
      options.delete_input = true;
    } else {
      return Error("unbekannte Option \"" + std::string(name) + "\" (Hilfe: gogo -h)");
    }
    return std::nullopt;
  }
  if (index + 1 >= words.size()) {
    return Error("der Option " + std::string(name) + " fehlt ihr Wert");
  }
  const std::string_view value = words[++index];
  if (name == "-b") {
    options.bitrate = ParseBitrate(value);
    if (!options.bitrate) {
      return Error("\"" + std::string(value) +
                   "\" ist keine erlaubte Bitrate (32 40 48 56 64 80 96 112 128 160 192 224 "
                   "256 320)");
    }
  } else if (name == "-m") {
    options.mode = ParseMode(value);
    if (!options.mode) return Error("\"" + std::string(value) + "\" ist kein Modus (m, s, j)");
  } else if (name == "-q") {
    options.quality = ParseQuality(value);
    if (!options.quality) {
      return Error("\"" + std::string(value) + "\" ist keine Qualitätsstufe (0 bis 9)");
    }
  } else if (name == "-V") {
    options.vbr_quality = ParseVbrQuality(value);
    if (!options.vbr_quality) {
      return Error("\"" + std::string(value) +
                   "\" ist keine Zielqualität (0 bis 9, etwa 2 oder 2.5)");
    }
  } else if (name == "-j") {
    const std::optional<int> threads = ParseNumber(value);
    if (!threads || *threads < 1 || *threads > kMostThreads) {
      return Error("\"" + std::string(value) + "\" ist keine Threadzahl (1 bis 64)");
    }
    options.threads = *threads;
  } else {
    if (value.empty()) return Error("der Ausgabeordner von -o ist leer");
    options.output_dir = value;
  }
  return std::nullopt;
}

bool IsHelp(std::string_view word) { return word == "-h" || word == "--help"; }

}  // namespace

ParseResult ParseCommandLine(std::span<const std::string_view> all_words) {
  // Empty words carry nothing: a caller that splits a text with a trailing blank makes one.
  std::vector<std::string_view> kept;
  std::copy_if(all_words.begin(), all_words.end(), std::back_inserter(kept),
               [](std::string_view word) { return !word.empty(); });
  const std::span<const std::string_view> words = kept;
  Options options;
  size_t index = 0;
  bool options_ended = false;
  for (; index < words.size(); ++index) {
    const std::string_view word = words[index];
    if (word == "--") {
      ++index;
      options_ended = true;
      break;
    }
    if (word.size() < 2 || word[0] != '-') break;
    if (IsHelp(word)) return HelpRequest{};
    if (std::optional<UsageError> error = ReadOption(words, index, options)) return *error;
  }
  std::span<const std::string_view> names = words.subspan(index);
  if (names.empty()) return Error("keine Eingabedatei angegeben (Hilfe: gogo -h)");
  if (names.size() > 2) {
    return Error("zu viele Argumente ab \"" + std::string(names[2]) +
                 "\"; Optionen stehen vor der Eingabe");
  }
  if (names.size() == 2 && !options_ended && names[1].size() > 1 && names[1][0] == '-') {
    return Error("\"" + std::string(names[1]) +
                 "\" steht hinter der Eingabe; Optionen stehen davor");
  }
  options.input = names[0];
  if (names.size() == 2) options.output = names[1];
  return options;
}

std::string_view UsageText() { return kUsage; }

std::string OutputPathFor(const Options& options) {
  if (!options.output.empty()) return options.output;
  const std::string& input = options.input;
  const size_t slash = input.rfind('/');
  const size_t name_start = slash == std::string::npos ? 0 : slash + 1;
  std::string name = input.substr(name_start);
  // A leading dot marks a hidden file, not an extension.
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  name += ".mp3";
  if (options.output_dir.empty()) return input.substr(0, name_start) + name;
  std::string folder = options.output_dir;
  if (folder.back() != '/') folder += '/';
  return folder + name;
}

}  // namespace gogo
