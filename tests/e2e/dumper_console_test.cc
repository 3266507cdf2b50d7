// The recorder's command line and its run without any simulator, as a user
// sees them in the console.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <thread>

#include "e2e_support.h"

using namespace std::chrono_literals;

TEST(DumperConsole, HelpPrintsTheOptionTableAndExitsWithOne) {
  E2eSandbox sandbox("dumper_help");
  for (const auto& arguments : {std::vector<std::string>{"--help"}, {"--help", "--fps", "100"}}) {
    const RunResult result = run_to_end(sandbox, "dumper", arguments, "help");
    EXPECT_TRUE(result.status.exited);
    EXPECT_EQ(result.status.code, 1);
    EXPECT_NE(result.output.find("Allowed options"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("--help"), std::string::npos);
    EXPECT_NE(result.output.find("Produce help message"), std::string::npos);
    EXPECT_NE(result.output.find("--fps arg (=5)"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("Frames per second [1, 60]"), std::string::npos);
    EXPECT_EQ(result.output.find("Frames per second: "), std::string::npos);
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
  const RunResult not_a_number = run_to_end(sandbox, "dumper", {"--fps", "abc"}, "abc");
  EXPECT_EQ(not_a_number.status.code, 1);
  EXPECT_EQ(not_a_number.output, "");
  EXPECT_EQ(not_a_number.error.rfind("Error: ", 0), 0u) << not_a_number.error;
  EXPECT_NE(not_a_number.error.find("abc"), std::string::npos);

  const RunResult unknown = run_to_end(sandbox, "dumper", {"--frames", "5"}, "unknown");
  EXPECT_EQ(unknown.status.code, 1);
  EXPECT_EQ(unknown.error.rfind("Error: unrecognised option '--frames'", 0), 0u) << unknown.error;

  const RunResult stray_word = run_to_end(sandbox, "dumper", {"--fps", "5", "extra"}, "stray");
  EXPECT_EQ(stray_word.status.code, 1);
  EXPECT_EQ(stray_word.error, "Error: too many positional options have been specified on the command line\n");

  const RunResult help_with_bad_value = run_to_end(sandbox, "dumper", {"--help", "--fps", "abc"}, "help_abc");
  EXPECT_EQ(help_with_bad_value.status.code, 1);
  EXPECT_EQ(help_with_bad_value.output.find("Allowed options"), std::string::npos);
  EXPECT_EQ(help_with_bad_value.error.rfind("Error: ", 0), 0u);
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
  EXPECT_EQ(dumper->standard_output(), std::string("Frames per second: 60\nWaiting for the connection\n") +
                                           interrupt_line + dumper_closing_lines);
  EXPECT_TRUE(sandbox.dump_files().empty());
  // Polling the absent ACC source creates its pages for a moment each time;
  // none may be left behind.
  EXPECT_TRUE(shared_memory_names(sandbox.name_prefix()).empty());
}
