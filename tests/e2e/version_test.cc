// Every program says which release it is, and saying so changes nothing
// else on its command line.
#include <gtest/gtest.h>

#include "e2e_support.h"

namespace vove {

namespace {

const std::string expected_version = VOVE_EXPECTED_VERSION;

// The first line of `text`, without its line end.
std::string first_line(const std::string& text) { return text.substr(0, text.find('\n')); }

}  // namespace

TEST(Version, EveryProgramPrintsItsNameAndTheProjectVersionAndExitsWithZero) {
  E2eSandbox sandbox("version");
  for (const std::string program : {"dumper", "emulator", "dumptool"}) {
    const RunResult result = run_to_end(sandbox, program, {"--version"}, program);
    EXPECT_TRUE(result.status.exited) << program;
    EXPECT_EQ(result.status.code, 0) << program;
    EXPECT_EQ(result.output, program + " " + expected_version + "\n");
    EXPECT_EQ(result.error, "") << program;
  }
  // The emulator's required input file is not asked for.
  EXPECT_TRUE(sandbox.dump_files().empty());
}

TEST(Version, HelpStartsWithTheVersionAndKeepsItsTableAndExitCode) {
  E2eSandbox sandbox("version_help");
  const struct {
    std::string program;
    std::string second_line;
    int exit_code;
  } programs[] = {{"dumper", "Allowed options:", 1},
                  {"emulator", "Allowed options:", 1},
                  {"dumptool", "Usage: dumptool <command> [options]", 0}};
  for (const auto& expected : programs) {
    const RunResult help = run_to_end(sandbox, expected.program, {"--help"}, expected.program);
    EXPECT_EQ(help.status.code, expected.exit_code) << expected.program;
    // "<program> <version>", then the commit in brackets when built from git.
    const std::string heading = first_line(help.output);
    const std::string version_line = expected.program + " " + expected_version;
    EXPECT_EQ(heading.substr(0, version_line.size()), version_line) << help.output;
    EXPECT_TRUE(heading == version_line || heading.substr(version_line.size(), 9) == " (commit ") << heading;
    EXPECT_EQ(first_line(help.output.substr(heading.size() + 1)), expected.second_line) << help.output;
  }
  // The table itself is checked with each program's console.
}

TEST(Version, ARejectedCommandLineIsStillRejected) {
  E2eSandbox sandbox("version_rejected");
  const RunResult bad_rate = run_to_end(sandbox, "dumper", {"--version", "--fps", "abc"}, "abc");
  EXPECT_EQ(bad_rate.status.code, 1);
  EXPECT_EQ(bad_rate.output, "");
  EXPECT_EQ(bad_rate.error.rfind("Error: ", 0), 0u) << bad_rate.error;

  const RunResult stray = run_to_end(sandbox, "emulator", {"--version", "extra"}, "stray");
  EXPECT_EQ(stray.status.code, 1);
  EXPECT_EQ(stray.output, "");
  EXPECT_EQ(stray.error, "Error: too many positional options have been specified on the command line\n");
}

}  // namespace vove
