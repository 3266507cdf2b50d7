// dumptool session --query on recordings: the value of the text in force at
// --at, the exit codes for a path that is not there and for a recording
// without a text. The answers are the reference's (and the SDK's, for the
// text with the departures from YAML: see session_text_query_test.cc).
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "console_capture.h"
#include "dump_test_support.h"
#include "dumptool/command.h"
#include "dumptool/commands.h"
#include "report_test_support.h"
#include "session_text_samples.h"

namespace vove {

namespace {

struct SessionRun {
  int exit_code;
  std::string out, err;
};

class SessionQuery : public ::testing::Test {
 protected:
  // Five frames a second; `texts` maps frames to the text they carry.
  void write(const std::vector<std::pair<std::int32_t, std::string>>& texts, std::int32_t frames = 20) {
    const StandinLaps laps({20.0});
    std::ofstream out(input(), std::ios::binary);
    DumpWriter writer(out, 5, iracing::iracing_source_id);
    for (std::int32_t frame = 0; frame < frames; ++frame) {
      std::string text;
      for (const auto& [at, carried] : texts) {
        if (at == frame) text = carried;
      }
      writer.append_frame(iracing::serialise_snapshot(iracing::standin_snapshot(300 + frame * 12, laps, text)));
    }
  }
  SessionRun run(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), input().string());
    SessionRun result;
    ConsoleCapture console;
    result.exit_code = run_session_command(arguments);
    result.out = console.out();
    result.err = console.err();
    return result;
  }
  std::filesystem::path input() const { return directory.path() / "recording.bin"; }

  dump_test::TempDirectory directory;
};

TEST_F(SessionQuery, PrintsTheValueOfThePathInTheTextInForce) {
  write({{0, session_text_test::reference_example()}, {10, session_text_test::quirks()}});
  SessionRun result = run({"--query", "DriverInfo:Drivers:CarIdx:{3}UserName:"});
  EXPECT_EQ(result.exit_code, exit_success) << result.err;
  EXPECT_EQ(result.out, "Theo Lindqvist\n");
  EXPECT_EQ(result.err, "");
  // Raw, as the SDK gives it: quotes kept; an empty value is found.
  EXPECT_EQ(run({"--query", "DriverInfo:Drivers:CarIdx:{1}CarNumber:"}).out, "\"17\"\n");
  result = run({"--query", "DriverInfo:Drivers:CarIdx:{0}AbbrevName:"});
  EXPECT_EQ(result.exit_code, exit_success);
  EXPECT_EQ(result.out, "\n");
  EXPECT_EQ(run({"--query", "SessionInfo:Sessions:SessionNum:{1}SessionType:", "--at", "1.2"}).out, "Lone Qualify\n");
  // From 2 s on, the second text is in force.
  EXPECT_EQ(run({"--at", "2", "--query", "WeekendInfo:TrackDisplayName:"}).out, "Harbour Point: North # East\n");
  EXPECT_EQ(run({"--at", "3.5", "--query", "DriverInfo:Drivers:CarIdx:{4}CarScreenName:"}).out, "Kestrel LMP2 \n");
  // Without --query, the whole text as before.
  EXPECT_EQ(run({"--at", "2"}).out, session_text_test::quirks());
}

TEST_F(SessionQuery, SaysWhichPathItDidNotFindAndExitsWith3) {
  write({{0, session_text_test::reference_example()}});
  SessionRun result = run({"--query", "DriverInfo:Drivers:CarIdx:{2}UserName:"});
  EXPECT_EQ(result.exit_code, exit_not_found);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "Error: the session text holds no value for the path DriverInfo:Drivers:CarIdx:{2}UserName:\n");
  EXPECT_EQ(run({"--query", ""}).exit_code, exit_not_found);
  // An --at past the recording is a bad request, as without --query.
  result = run({"--at", "60", "--query", "WeekendInfo:TrackLength:"});
  EXPECT_EQ(result.exit_code, exit_bad_command_line);
  EXPECT_NE(result.err.find("lies past the last readable frame"), std::string::npos) << result.err;
}

TEST_F(SessionQuery, SaysSoWhenNoFrameCarriesAText) {
  write({{5, session_text_test::reference_example()}});
  const SessionRun result = run({"--at", "0.5", "--query", "WeekendInfo:TrackLength:"});
  EXPECT_EQ(result.exit_code, exit_damaged_input);
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find("no frame up to 0.5 s carries a session text"), std::string::npos) << result.err;
  EXPECT_EQ(run({"--at", "1", "--query", "WeekendInfo:TrackLength:"}).out, "5.51 km\n");
}

}  // namespace

}  // namespace vove
