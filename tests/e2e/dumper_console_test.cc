// The recorder's command line and its run without any simulator, as a user
// sees them in the console.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <thread>

#include "e2e_support.h"

namespace vove {

using namespace std::chrono_literals;

TEST(DumperConsole, HelpPrintsTheOptionTableAndExitsWithOne) {
  E2eSandbox sandbox("dumper_help");
  for (const auto& arguments : {std::vector<std::string>{"--help"}, {"--help", "--fps", "100"}}) {
    const RunResult result = run_to_end(sandbox, "dumper", arguments, "help");
    EXPECT_TRUE(result.status.exited);
    EXPECT_EQ(result.status.code, 1);
    // After the version line, the table as it always was, plus --version
    // --idle-end and --shm; no recording starts.
    EXPECT_EQ(result.output.substr(result.output.find('\n') + 1),
              "Allowed options:\n"
              "  --help                Produce help message\n"
              "  --version             Print the version and exit\n"
              "  --fps arg (=5)        Frames per second [1, 60]\n"
              "  --idle-end arg        End a recording when the simulator has published \n"
              "                        nothing new for this many seconds (0, 86400]\n"
              "  --shm arg             Record these named shared-memory mappings of any \n"
              "                        program instead of a simulator: NAME[,NAME...]\n\n");
  }
}

TEST(DumperConsole, RejectsRatesOutsideOneToSixty) {
  E2eSandbox sandbox("dumper_bad_fps");
  for (const std::string value : {"0", "61", "-3"}) {
    const RunResult result = run_to_end(sandbox, "dumper", {"--fps", value}, "fps" + value);
    EXPECT_EQ(result.status.code, 1) << value;
    EXPECT_EQ(result.output, "Invalid fps value: " + value + "\nAccepted values are [1, 60]\n");
    EXPECT_TRUE(sandbox.dump_files().empty());
  }
}

TEST(DumperConsole, ReportsCommandLineErrorsOnStandardError) {
  E2eSandbox sandbox("dumper_bad_options");
  const std::string not_a_number = "Error: the argument ('abc') for option '--fps' is invalid\n";
  for (const auto& [arguments, error] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"--fps", "abc"}, not_a_number},
           {{"--frames", "5"}, "Error: unrecognised option '--frames'\n"},
           {{"--fps", "5", "extra"}, "Error: too many positional options have been specified on the command line\n"},
           {{"--help", "--fps", "abc"}, not_a_number}}) {
    const RunResult result = run_to_end(sandbox, "dumper", arguments, "rejected");
    EXPECT_EQ(result.status.code, 1) << error;
    EXPECT_EQ(result.output, "");
    EXPECT_EQ(result.error, error);
  }
}

TEST(DumperConsole, CtrlCWhileWaitingEndsCleanlyWithoutAFile) {
  E2eSandbox sandbox("dumper_interrupt_waiting");
  auto dumper = sandbox.start("dumper", {"--fps", "60"}, "dumper");
  ASSERT_TRUE(dumper->wait_for_output("Waiting for the connection\n", 20s)) << dumper->standard_output();
  // Let it poll the absent sources a few times before the interrupt.
  std::this_thread::sleep_for(1500ms);
  dumper->send_signal(SIGINT);
  const auto status = dumper->wait_for_exit(20s);
  ASSERT_TRUE(status.has_value());
  EXPECT_TRUE(status->exited);
  EXPECT_EQ(status->code, 0);
  EXPECT_EQ(dumper->standard_output(),
            std::string("Frames per second: 60\nWaiting for the connection\n") + interrupt_line + dumper_closing_lines);
  EXPECT_TRUE(sandbox.dump_files().empty());
  // Polling the absent ACC source creates its pages for a moment each time;
  // none may be left behind.
  EXPECT_TRUE(shared_memory_names(sandbox.name_prefix()).empty());
}

}  // namespace vove
