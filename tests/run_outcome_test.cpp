// What a run learns from its encoders: the percentage and last line of their output, each
// file's result with the texts that report it, and the weighted progress of the whole run.
#include "encode/run_outcome.h"

#include <gtest/gtest.h>

#include "encode/encoder_output.h"
#include "encode/run_progress.h"

namespace {

struct OutputCase {
  const char* name;
  std::vector<QByteArray> chunks;
  std::optional<double> percent;
  const char* last_line;
};

TEST(EncoderOutputTest, TheLastPercentageAndTheLastMessageLineWin) {
  const OutputCase cases[] = {
      {"nothing", {}, std::nullopt, ""},
      {"terminal progress", {"\rgogo:   5 %", "\rgogo:  42 %"}, 42, ""},
      {"decimals", {"Frame | CPU time\r(  3,3 %\r"}, 3.3, "Frame | CPU time"},
      {"a percentage inside a longer line is a message",
       {"\r  100/3000 (  3.3%)| 0:00\r"},
       std::nullopt,
       "100/3000 (  3.3%)| 0:00"},
      {"a file name with a percentage, also cut after it",
       {"\rgogo:  12 %\n", "gogo: \"Remix 100%", " live.wav\" ist leer\n"},
       12,
       "gogo: \"Remix 100% live.wav\" ist leer"},
      {"cut in two", {"\rgogo:  1", "7 %"}, 17, ""},
      {"over a hundred is no percentage", {"50%\rgogo: 250 %"}, 50, ""},
      {"message after progress",
       {"\rgogo:  12 %\n", "gogo: Lesefehler in \"a.wav\"\n\n"},
       12,
       "gogo: Lesefehler in \"a.wav\""},
      {"only text", {"erste Zeile\nzweite Zeile"}, std::nullopt, "zweite Zeile"},
  };
  for (const OutputCase& c : cases) {
    SCOPED_TRACE(c.name);
    EncoderOutput output;
    for (const QByteArray& chunk : c.chunks) output.Append(chunk);
    EXPECT_EQ(output.LastPercent(), c.percent);
    // A progress line is no message.
    EXPECT_EQ(output.LastMessageLine(), QString::fromUtf8(c.last_line));
  }
}

TEST(EncoderOutputTest, TenMegabytesOfOutputKeepOnlyTheNewestBytes) {
  EncoderOutput output;
  const QByteArray line(1023, 'x');
  for (int i = 0; i < 10 * 1024; ++i) output.Append(line + '\n');
  output.Append("gogo: zuletzt\n");
  EXPECT_EQ(output.LastMessageLine(), QStringLiteral("gogo: zuletzt"));
}

TEST(FailureMessageTest, TheEncodersLineElseItsExitStatusOrSignal) {
  EXPECT_EQ(FailureMessage(QStringLiteral("gogo: kaputt"), {false, 1}),
            QStringLiteral("gogo: kaputt"));
  EXPECT_EQ(FailureMessage({}, {false, 3}),
            QStringLiteral("Der Kodierer endete mit dem Rückgabewert 3."));
  EXPECT_EQ(FailureMessage({}, {true, 11}),
            QStringLiteral("Der Kodierer wurde durch Signal 11 beendet."));
}

TEST(RunResultsTest, TheAlertAndTheNoticeCountWhatFailed) {
  RunResults results;
  results.Add({QStringLiteral("/m/a.wav"), FileOutcome::kEncoded, {}});
  results.Add({QStringLiteral("/m/b.wav"), FileOutcome::kFailed, QStringLiteral("gogo: b")});
  results.Add({QStringLiteral("/m/c.wav"), FileOutcome::kSkipped, {}});
  results.Add({QStringLiteral("/m/d.wav"), FileOutcome::kFailed, QStringLiteral("gogo: d")});
  const Alert alert = results.FailureAlert();
  EXPECT_EQ(alert.text, QStringLiteral("2 von 4 Dateien konnten nicht kodiert werden."));
  EXPECT_EQ(alert.details, QStringLiteral("/m/b.wav\ngogo: b\n\n/m/d.wav\ngogo: d"));
  EXPECT_EQ(results.NoticeText(), QStringLiteral("1 von 4 Dateien kodiert, 2 fehlgeschlagen"));

  RunResults all_encoded;
  for (int i = 0; i < 12; ++i)
    all_encoded.Add({QStringLiteral("/m/x.wav"), FileOutcome::kEncoded, {}});
  EXPECT_EQ(all_encoded.NoticeText(), QStringLiteral("12 Dateien kodiert"));
}

TEST(RunProgressTest, BytesWeighTheFilesAndTheEstimateWaitsAFewSeconds) {
  RunProgress progress;
  progress.Start(1000, 0);
  progress.BeginFile(200);
  progress.SetFilePercent(50);
  EXPECT_DOUBLE_EQ(progress.Fraction(), 0.1);
  EXPECT_EQ(progress.RemainingText(2000), QString());
  progress.BeginFile(800);
  progress.SetFilePercent(25);
  EXPECT_DOUBLE_EQ(progress.Fraction(), 0.4);
  // 0.4 of the run in 10 s: 15 s remain.
  EXPECT_EQ(progress.RemainingText(10000), QStringLiteral("noch etwa 0:15"));
  progress.Start(1000, 0);
  progress.BeginFile(1000);
  progress.SetFilePercent(1);
  EXPECT_EQ(progress.RemainingText(60000), QStringLiteral("noch etwa 1:39:00"));
}

}  // namespace
