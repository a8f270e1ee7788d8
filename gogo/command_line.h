#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace gogo {

// What one invocation asks for. Unset optionals leave the library's own defaults in place.
struct Options {
  std::optional<int> bitrate;         // kbit/s, one of the MPEG layer III bitrates; with a
                                      // target quality, the lowest a frame may use
  std::optional<double> vbr_quality;  // variable bitrate: 0 (best) to below 10 (smallest)
  std::optional<char> mode;           // 'm' mono, 's' stereo, 'j' joint stereo
  std::optional<int> quality;         // 0 (best) to 9 (fastest)
  bool no_psy = false;                // psychoacoustic model off
  bool delete_input = false;          // remove the input once the output is in place
  int threads = 0;                    // threads for the one file; 0: one per core it may run on
  std::string output_dir;             // empty: beside the input
  std::string input;
  std::string output;  // empty: derived from the input's name
};

struct HelpRequest {};

struct UsageError {
  std::string message;  // one line, no trailing newline
};

using ParseResult = std::variant<Options, HelpRequest, UsageError>;

// Reads the words after the program name. Options come first, in any order; then the input
// and, optionally, the output path. "--" ends the options, so names starting with '-' work.
ParseResult ParseCommandLine(std::span<const std::string_view> words);

// The text `-h` prints: synopsis, options and exit status, ready for a manual page.
std::string_view UsageText();

// Where the MP3 goes: `output` if given, else DIR/NAME.mp3 with NAME the input's file name
// without its extension and DIR the output folder or the input's own folder.
std::string OutputPathFor(const Options& options);

}  // namespace gogo
