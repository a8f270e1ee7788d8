// What a run learns from its encoders: the percentage and last line of their output, each
// file's result with the texts that report it, and the weighted progress of the whole run.
#include "encode/run_outcome.h"

#include <gtest/gtest.h>

#include <string_view>

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
      {"a hundred is the full bar", {"\rgogo:  99 %", "\rgogo: 100 %\n"}, 100, ""},
      {"a prefix of sixteen characters", {"gogo: Datei 1/2 37 %\n"}, 37, ""},
      {"a prefix of seventeen is a message",
       {"gogo: Datei 1/2  37 %\n"},
       std::nullopt,
       "gogo: Datei 1/2  37 %"},
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

struct MixCase {
  const char* outcomes;  // a letter a file, as FileOutcome orders them: E, F, S, N
  const char* notice;
  const char* alert;  // "": no file failed, no alert
  const char* details = nullptr;
};

TEST(RunResultsTest, TheAlertAndTheNoticeCountWhatFailed) {
  const MixCase cases[] = {
      {"", "0 Dateien kodiert", ""},
      {"E", "1 Datei kodiert", ""},
      {"EEEEEEEEEEEE", "12 Dateien kodiert", ""},
      {"ESEEE", "4 von 5 Dateien kodiert", ""},
      {"EESNN", "2 von 5 Dateien kodiert", ""},
      {"NNNNN", "0 von 5 Dateien kodiert", ""},
      {"F", "0 von 1 Datei kodiert, 1 fehlgeschlagen",
       "1 von 1 Datei konnte nicht kodiert werden."},
      {"FEEEE", "4 von 5 Dateien kodiert, 1 fehlgeschlagen",
       "1 von 5 Dateien konnte nicht kodiert werden."},
      {"EFSF", "1 von 4 Dateien kodiert, 2 fehlgeschlagen",
       "2 von 4 Dateien konnten nicht kodiert werden.",
       "/m/1.wav\ngogo: /m/1.wav\n\n/m/3.wav\ngogo: /m/3.wav"},
      {"FFSNN", "0 von 5 Dateien kodiert, 2 fehlgeschlagen",
       "2 von 5 Dateien konnten nicht kodiert werden."},
  };
  for (const MixCase& c : cases) {
    SCOPED_TRACE(c.outcomes);
    RunResults results;
    for (const char* letter = c.outcomes; *letter != '\0'; ++letter) {
      const QString name = QStringLiteral("/m/%1.wav").arg(letter - c.outcomes);
      const auto outcome = FileOutcome(std::string_view("EFSN").find(*letter));
      results.Add({name, outcome, QStringLiteral("gogo: ") + name});
    }
    EXPECT_EQ(results.NoticeText().toStdString(), c.notice);
    const bool alert = results.Count(FileOutcome::kFailed) > 0;
    EXPECT_EQ(alert ? results.FailureAlert().text.toStdString() : "", c.alert);
    if (c.details != nullptr) {
      EXPECT_EQ(results.FailureAlert().details.toStdString(), c.details);
    }
  }
}

struct ProgressStep {
  qint64 begins_file;  // its bytes; -1 while the same file goes on
  double percent;
  qint64 now_ms;
  double fraction;
  const char* remaining;
};

TEST(RunProgressTest, BytesWeighTheFilesAndTheEstimateWaitsAFewSeconds) {
  // Five files of 100, 300, 50, 400 and 150 bytes; the estimate is the time so far, stretched
  // by what remains of the bytes.
  const ProgressStep steps[] = {
      {100, 50, 1000, 0.05, ""},
      {300, 0, 4000, 0.1, "noch etwa 0:36"},
      {-1, 100, 8000, 0.4, "noch etwa 0:12"},
      {50, 0, 10000, 0.4, "noch etwa 0:15"},
      {400, 50, 20000, 0.65, "noch etwa 0:11"},
      {150, 0, 30000, 0.85, "noch etwa 0:05"},
      {-1, 100, 31000, 1.0, "noch etwa 0:00"},
  };
  RunProgress progress;
  progress.Start(1000, 0);
  for (const ProgressStep& step : steps) {
    SCOPED_TRACE(step.now_ms);
    if (step.begins_file >= 0) progress.BeginFile(step.begins_file);
    progress.SetFilePercent(step.percent);
    EXPECT_DOUBLE_EQ(progress.Fraction(), step.fraction);
    EXPECT_EQ(progress.RemainingText(step.now_ms).toStdString(), step.remaining);
  }
  progress.Start(1000, 0);
  progress.BeginFile(1000);
  progress.SetFilePercent(1);
  EXPECT_EQ(progress.RemainingText(60000), QStringLiteral("noch etwa 1:39:00"));
}

}  // namespace
