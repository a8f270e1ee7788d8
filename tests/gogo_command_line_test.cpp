#include <gtest/gtest.h>

#include <vector>

#include "command_line.h"

namespace {

using gogo::Options;

gogo::ParseResult Parse(std::vector<std::string_view> words) {
  return gogo::ParseCommandLine(words);
}

struct AcceptedCase {
  std::vector<std::string_view> words;
  Options expected;
};

TEST(GogoCommandLine, OptionsInAnyOrderBeforeTheInputAreRead) {
  auto options = [](auto change) {
    Options o;
    o.input = "in.wav";
    change(o);
    return o;
  };
  const AcceptedCase cases[] = {
      {{"in.wav"}, options([](Options&) {})},
      {{"-b", "32", "in.wav"}, options([](Options& o) { o.bitrate = 32; })},
      {{"-b", "320", "-m", "j", "in.wav"},
       options([](Options& o) { o.bitrate = 320, o.mode = 'j'; })},
      {{"-m", "m", "-b", "128", "-q", "0", "in.wav"},
       options([](Options& o) { o.mode = 'm', o.bitrate = 128, o.quality = 0; })},
      {{"-delete", "-nopsy", "-o", "/x y", "in.wav"},
       options([](Options& o) { o.delete_input = o.no_psy = true, o.output_dir = "/x y"; })},
      {{"-b", "64", "-b", "96", "in.wav"}, options([](Options& o) { o.bitrate = 96; })},
      {{"-q", "9", "in.wav"}, options([](Options& o) { o.quality = 9; })},
      {{"-j", "1", "in.wav"}, options([](Options& o) { o.threads = 1; })},
      {{"-V", "2", "in.wav"}, options([](Options& o) { o.vbr_quality = 2; })},
      {{"-b", "96", "-V", "9.5", "in.wav"},
       options([](Options& o) { o.bitrate = 96, o.vbr_quality = 9.5; })},
      {{"-V", "0,25", "in.wav"}, options([](Options& o) { o.vbr_quality = 0.25; })},
      {{"-b", "128", "-j", "64", "in.wav"},
       options([](Options& o) { o.bitrate = 128, o.threads = 64; })},
      {{"in.wav", "out.mp3"}, options([](Options& o) { o.output = "out.mp3"; })},
      {{"--", "-in.wav", "-out.mp3"},
       options([](Options& o) { o.input = "-in.wav", o.output = "-out.mp3"; })},
      {{"-", "out.mp3"}, options([](Options& o) { o.input = "-", o.output = "out.mp3"; })},
      // A text with a trailing or doubled blank splits into empty words.
      {{"-q", "2", "", "in.wav"}, options([](Options& o) { o.quality = 2; })},
      {{"", "-b", "", "32", "", "", "in.wav", ""}, options([](Options& o) { o.bitrate = 32; })},
  };
  for (const AcceptedCase& c : cases) {
    const gogo::ParseResult result = gogo::ParseCommandLine(c.words);
    ASSERT_TRUE(std::holds_alternative<Options>(result)) << c.words.front();
    const Options& got = std::get<Options>(result);
    EXPECT_EQ(got.bitrate, c.expected.bitrate);
    EXPECT_EQ(got.mode, c.expected.mode);
    EXPECT_EQ(got.quality, c.expected.quality);
    EXPECT_EQ(got.vbr_quality, c.expected.vbr_quality);
    EXPECT_EQ(got.no_psy, c.expected.no_psy);
    EXPECT_EQ(got.delete_input, c.expected.delete_input);
    EXPECT_EQ(got.threads, c.expected.threads);
    EXPECT_EQ(got.output_dir, c.expected.output_dir);
    EXPECT_EQ(got.input, c.expected.input);
    EXPECT_EQ(got.output, c.expected.output);
  }
}

TEST(GogoCommandLine, MistakesAreUsageErrorsOfOneLine) {
  const std::vector<std::string_view> cases[] = {
      {},
      {"-b", "100", "in.wav"},
      {"-b", "128k", "in.wav"},
      {"-b", "", "in.wav"},
      {"-b"},
      {"-m", "x", "in.wav"},
      {"-m", "ms", "in.wav"},
      {"-q", "10", "in.wav"},
      {"-q", "-1", "in.wav"},
      {"-q", "+5", "in.wav"},
      {"-V", "10", "in.wav"},
      {"-V", "-1", "in.wav"},
      {"-V", "2.5.1", "in.wav"},
      {"-V", ".5", "in.wav"},
      {"-V", "1e0", "in.wav"},
      {"-j", "0", "in.wav"},
      {"-j", "65", "in.wav"},
      {"-j", "two", "in.wav"},
      {"-o", "", "in.wav"},
      {"-o"},
      {"-nopsy"},
      {"--"},
      {"-B", "128", "in.wav"},
      {"-deletex", "in.wav"},
      {"in.wav", "a.mp3", "b.mp3"},
      {"in.wav", "-b", "128"},
      {"in.wav", "-delete"},
      {""},
  };
  for (const auto& words : cases) {
    const gogo::ParseResult result = gogo::ParseCommandLine(words);
    ASSERT_TRUE(std::holds_alternative<gogo::UsageError>(result))
        << (words.empty() ? "(none)" : words[0]);
    const std::string& message = std::get<gogo::UsageError>(result).message;
    EXPECT_EQ(message.find('\n'), std::string::npos);
    EXPECT_EQ(message.rfind("gogo: ", 0), 0u);
  }
}

TEST(GogoCommandLine, HelpWinsOverEverythingBeforeTheInput) {
  for (std::vector<std::string_view> words :
       {std::vector<std::string_view>{"-h"}, {"--help"}, {"-b", "128", "-h", "in.wav"}}) {
    EXPECT_TRUE(std::holds_alternative<gogo::HelpRequest>(Parse(words)));
  }
}

struct NamingCase {
  const char* input;
  const char* output_dir;
  const char* output;
  const char* expected;
};

TEST(GogoOutputPath, ReplacesTheExtensionAndPicksTheFolder) {
  const NamingCase cases[] = {
      {"/m/song.wav", "", "", "/m/song.mp3"},
      {"song.wav", "", "", "song.mp3"},
      {"/m/a.b.c.flac", "", "", "/m/a.b.c.mp3"},
      {"/m.d/noext", "", "", "/m.d/noext.mp3"},
      {"/m/.hidden", "", "", "/m/.hidden.mp3"},
      {"/m/.hidden.wav", "", "", "/m/.hidden.mp3"},
      {"/m/trailing.", "", "", "/m/trailing.mp3"},
      {"/m/song.wav", "/out", "", "/out/song.mp3"},
      {"/m/song.wav", "/out/", "", "/out/song.mp3"},
      {"/m/song.wav", "rel dir", "", "rel dir/song.mp3"},
      {"/m/\"q\" x.wav", "/o \"p\"", "", "/o \"p\"/\"q\" x.mp3"},
      {"/m/song.wav", "/out", "/else/where.mp3", "/else/where.mp3"},
  };
  for (const NamingCase& c : cases) {
    Options options;
    options.input = c.input;
    options.output_dir = c.output_dir;
    options.output = c.output;
    EXPECT_EQ(gogo::OutputPathFor(options), c.expected) << c.input << " " << c.output_dir;
  }
}

}  // namespace
