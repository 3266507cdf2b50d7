// `dumptool report` end to end in the process: stand-in recordings with
// known laps in, HTML pages out, and the hostile inputs that must give a
// smaller report or a clear message.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "console_capture.h"
#include "dump_test_support.h"
#include "dumptool/commands.h"
#include "formats/acc_pages.h"
#include "report_test_support.h"
#include "session_text_samples.h"

namespace vove {

namespace {

using report_test::StandinRecording;

struct ReportRun {
  int exit_code;
  std::string out, err, html;
};

class ReportCommand : public ::testing::Test {
 protected:
  ReportRun run(const StandinRecording& recording, std::vector<std::string> extra = {}) {
    report_test::write_recording(input(), recording);
    return run_on(input(), std::move(extra));
  }
  ReportRun run_on(const std::filesystem::path& file, std::vector<std::string> extra = {}) {
    std::vector<std::string> arguments{file.string(), "-o", output().string()};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    std::filesystem::remove(output());
    ReportRun result;
    {
      ConsoleCapture console;
      result.exit_code = run_report_command(arguments);
      result.out = console.out();
      result.err = console.err();
    }
    result.html = dump_test::contents(output());
    return result;
  }
  std::filesystem::path input() const { return directory.path() / "recording.bin"; }
  std::filesystem::path output() const { return directory.path() / "report.html"; }

  dump_test::TempDirectory directory;
};

// Lap number -> seconds of every complete lap in the page's table.
std::map<int, double> lap_times(const std::string& html) {
  std::map<int, double> laps;
  const std::regex row(R"re(data-lap="(\d+)" data-complete="1" data-seconds="([0-9.]+)")re");
  for (auto it = std::sregex_iterator(html.begin(), html.end(), row); it != std::sregex_iterator(); ++it) {
    laps[std::stoi((*it)[1])] = std::stod((*it)[2]);
  }
  return laps;
}

std::size_t count_of(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

TEST_F(ReportCommand, ReportsTheStandinsLapsWithTheirTimesAndCharts) {
  StandinRecording recording;
  recording.session_text = session_text_test::reference_example();
  const ReportRun result = run(recording);
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_NE(result.out.find("Report written to"), std::string::npos);
  // The stand-in drove 20, 18.5, 19.25, 20, ... from 5 s to 85 s.
  const std::map<int, double> expected{{2, 18.5}, {3, 19.25}, {4, 20.0}};
  EXPECT_EQ(lap_times(result.html), expected);
  EXPECT_NE(result.html.find("data-lap=\"2\" data-complete=\"1\" data-seconds=\"18.500\" class=\"best\""),
            std::string::npos);
  EXPECT_NE(result.html.find("starts during this lap"), std::string::npos);
  EXPECT_NE(result.html.find("ends during this lap"), std::string::npos);
  // The summary: the player's entry (DriverCarIdx 1), not the first one.
  EXPECT_NE(result.html.find("Harbour Point Motor Circuit (Grand Prix)"), std::string::npos);
  EXPECT_NE(result.html.find("Marta Kowal"), std::string::npos);
  EXPECT_NE(result.html.find("Vantor GT3 Evo"), std::string::npos);
  EXPECT_EQ(result.html.find("Pace Car"), std::string::npos);
  EXPECT_NE(result.html.find("0:01:20 (400 frames at 5 per second)"), std::string::npos);
  // Best and last complete lap, five charts and the delta.
  EXPECT_NE(result.html.find(R"("laps":[{"number":2,"time":18.5)"), std::string::npos);
  EXPECT_NE(result.html.find(R"({"number":4,"time":20,)"), std::string::npos);
  EXPECT_EQ(count_of(result.html, R"({"title":)"), 5u);
  EXPECT_NE(result.html.find(R"("delta":{"reference":2,)"), std::string::npos);
  // Self-contained: nothing is fetched, the library and its license are in.
  EXPECT_EQ(count_of(result.html, " src="), 0u);
  EXPECT_EQ(count_of(result.html, " href="), 0u);
  EXPECT_NE(result.html.find("var uPlot="), std::string::npos);
  EXPECT_NE(result.html.find("Permission is hereby granted"), std::string::npos);
  // About a metre a point: an 870 m lap, not the 800 recorded rows.
  // (The length is LapDist / LapDistPct of float rows: 870 m within a float's grain.)
  EXPECT_TRUE(result.html.find(R"("axis":{"unit":"m","step":1,"points":870})") != std::string::npos ||
              result.html.find(R"("axis":{"unit":"m","step":1,"points":871})") != std::string::npos);
}

TEST_F(ReportCommand, MeasuresLapsWithinAFrameWhenTheSimulatorGivesNoTimes) {
  StandinRecording recording;
  recording.first_tick = 301;  // frames 0.2 s apart, off the lines
  recording.edit = [](iracing::Snapshot& s) { report_test::hide_variable(s, "LapLastLapTime"); };
  const ReportRun result = run(recording);
  ASSERT_EQ(result.exit_code, 0) << result.err;
  const auto laps = lap_times(result.html);
  ASSERT_EQ(laps.size(), 3u);
  EXPECT_NEAR(laps.at(2), 18.5, 0.2);  // within a frame
  EXPECT_NEAR(laps.at(3), 19.25, 0.2);
  EXPECT_NEAR(laps.at(4), 20.0, 0.2);
  EXPECT_NE(result.html.find("measured"), std::string::npos);
}

TEST_F(ReportCommand, ChartsTheChosenLapsAndAlwaysTheBest) {
  ReportRun result = run(StandinRecording{}, {"--laps", "4,3"});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_NE(result.html.find(R"("laps":[{"number":4,"time":20,"colour":"#d62728","best":false},)"
                             R"({"number":3,"time":19.25,"colour":"#1f77b4","best":false},)"
                             R"({"number":2,"time":18.5,"colour":"#2ca02c","best":true}])"),
            std::string::npos);

  result = run_on(input(), {"--laps", "1"});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_NE(result.err.find("lap 1 is not a complete lap of the recording (complete laps: 2, 3, 4)"),
            std::string::npos);
  result = run_on(input(), {"--laps", "3,x"});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_NE(result.err.find("--laps"), std::string::npos);
}

TEST_F(ReportCommand, MissingVariablesLeaveOutWhatNeedsThem) {
  StandinRecording recording;
  recording.session_text = session_text_test::reference_example();
  recording.edit = [](iracing::Snapshot& s) {
    report_test::hide_variable(s, "Brake");
    report_test::hide_variable(s, "RPM");
  };
  ReportRun result = run(recording);
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(count_of(result.html, R"({"title":)"), 3u);
  EXPECT_NE(result.html.find("No chart of Brake: the recording has no Brake variable."), std::string::npos);
  EXPECT_NE(result.html.find("No chart of Engine speed: the recording has no RPM variable."), std::string::npos);

  recording.edit = [](iracing::Snapshot& s) { report_test::hide_variable(s, "Lap"); };
  result = run(recording);
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_NE(result.html.find("the recording has no Lap variable"), std::string::npos);
  EXPECT_EQ(result.html.find("id=\"lap-table\""), std::string::npos);
  EXPECT_NE(result.html.find(R"("charts":[])"), std::string::npos);
  EXPECT_NE(result.html.find("Harbour Point Motor Circuit"), std::string::npos);  // the summary stays
}

TEST_F(ReportCommand, ShowsWhatCouldBeReadOfASessionTextThatIsNotYaml) {
  StandinRecording recording;
  recording.session_text = "WeekendInfo:\n TrackDisplayName: Odd Ring\n\t{broken: [\n";
  ReportRun result = run(recording);
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_NE(result.html.find("Odd Ring"), std::string::npos);
  EXPECT_NE(result.html.find("The session text is not well-formed; 1 lines could not be read"), std::string::npos);

  recording.session_text.clear();
  result = run(recording);
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_NE(result.html.find("carries no session text"), std::string::npos);
  // Without the text's track length, LapDist still gives metres.
  EXPECT_NE(result.html.find(R"("unit":"m")"), std::string::npos);
}

TEST_F(ReportCommand, ASingleFrameGivesASummaryAndSaysWhyThereIsNoMore) {
  StandinRecording recording;
  recording.frames = 1;
  const ReportRun result = run(recording);
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_NE(result.html.find("No charts: the recording holds no complete lap."), std::string::npos);
  EXPECT_NE(result.html.find("incomplete: the recording covers only part of it"), std::string::npos);
}

TEST_F(ReportCommand, RefusesWhatItCannotReport) {
  // A recording of a simulator the report does not know: a clear message and no page.
  {
    std::ofstream out(input(), std::ios::binary);
    out << dump_test::header(10, "rf2x") << dump_test::record(dump_test::Bytes(acc::payload_size, 0));
  }
  ReportRun result = run_on(input());
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_NE(result.err.find("a report is not available for this recording"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("rf2x telemetry"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(output()));

  // No dump at all, and no file.
  directory.write("recording.bin", "not a dump");
  result = run_on(input());
  EXPECT_EQ(result.exit_code, 2);
  EXPECT_NE(result.err.find("Invalid file format."), std::string::npos) << result.err;
  result = run_on(directory.path() / "missing.bin");
  EXPECT_EQ(result.exit_code, 2);
  EXPECT_NE(result.err.find("missing.bin"), std::string::npos);

  // The report never overwrites the recording it reads.
  StandinRecording two_frames;
  two_frames.frames = 2;
  report_test::write_recording(input(), two_frames);
  const auto size = std::filesystem::file_size(input());
  {
    ConsoleCapture console;
    EXPECT_EQ(run_report_command({input().string(), "-o", input().string()}), 1);
  }
  EXPECT_EQ(std::filesystem::file_size(input()), size);
  ConsoleCapture console;
  EXPECT_EQ(run_report_command({input().string()}), 1);
  EXPECT_EQ(run_report_command({"-o", output().string()}), 1);
  // An existing report is replaced only when asked to.
  directory.write("report.html", "keep me");
  EXPECT_EQ(run_report_command({input().string(), "-o", output().string()}), 1);
  EXPECT_EQ(std::filesystem::file_size(output()), 7u);
  EXPECT_EQ(run_report_command({input().string(), "-o", output().string(), "--force"}), 0);
  EXPECT_GT(std::filesystem::file_size(output()), 7u);
}

TEST(ReportCommandLine, KeepsItsOwnHelpAndErrorLayout) {
  ConsoleCapture console;
  EXPECT_EQ(run_report_command({"--help"}), 0);
  EXPECT_EQ(console.out().rfind("Usage: dumptool report FILE -o REPORT.html [--laps N,M,...] [--force]\nWrites", 0), 0u)
      << console.out();
  EXPECT_NE(console.out().find("  --help "), std::string::npos);
  EXPECT_EQ(console.out().find("-h ["), std::string::npos);
  EXPECT_EQ(run_report_command({"a", "b", "-o", "x"}), 1);
  EXPECT_EQ(run_report_command({"a", "--laps", "1,,2", "-o", "x"}), 1);
  EXPECT_EQ(console.err(),
            "Error: more than one recording given\n"
            "Usage: dumptool report FILE -o REPORT.html [--laps N,M,...] [--force]\n"
            "Error: the value of --laps must be lap numbers separated by commas, such as 3,5, not '1,,2'\n"
            "Usage: dumptool report FILE -o REPORT.html [--laps N,M,...] [--force]\n");
}

TEST_F(ReportCommand, ADamagedRecordingIsReportedUpToTheDamage) {
  StandinRecording recording;
  recording.garbage_frame = 150;  // in lap 3, which stays complete
  report_test::write_recording(input(), recording);
  std::filesystem::resize_file(input(), std::filesystem::file_size(input()) - 100);
  const ReportRun result = run_on(input());
  EXPECT_EQ(result.exit_code, 2);
  EXPECT_NE(result.html.find("The recording is damaged: the file is damaged from frame 400 on"), std::string::npos);
  EXPECT_NE(result.html.find("1 frames could not be read and were left out (frame 150"), std::string::npos)
      << result.html.substr(0, 3000);
  EXPECT_EQ(lap_times(result.html).size(), 3u);
}

}  // namespace

}  // namespace vove
