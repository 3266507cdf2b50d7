// The replay program's command line and its answers to good and bad dump
// files, as a user sees them in the console.
#include <gtest/gtest.h>

#include <fstream>

#include "e2e_support.h"

namespace {

const SourceId iracing_id = make_source_id("irac");

std::string replay_lines(const std::string& id, int fps) {
  return "Using emulator: " + id + "\nFrames per second: " + std::to_string(fps) + "\nEmulator started\n";
}

}  // namespace

TEST(EmulatorConsole, CommandLineErrorsAndHelp) {
  E2eSandbox sandbox("emulator_cli");
  const RunResult no_arguments = run_to_end(sandbox, "emulator", {}, "none");
  EXPECT_EQ(no_arguments.status.code, 1);
  EXPECT_EQ(no_arguments.output, "");
  EXPECT_EQ(no_arguments.error, "Error: the option '--input-file' is required but missing\n");

  for (const auto& arguments : {std::vector<std::string>{"--help"}, {"--help", "--input-file", "x.bin"}}) {
    const RunResult help = run_to_end(sandbox, "emulator", arguments, "help");
    EXPECT_EQ(help.status.code, 1);
    EXPECT_NE(help.output.find("Allowed options"), std::string::npos);
    EXPECT_NE(help.output.find("--input-file arg"), std::string::npos);
    EXPECT_NE(help.output.find("Input file name"), std::string::npos);
    EXPECT_EQ(help.output.substr(help.output.size() - 2), "\n\n");
  }

  const RunResult stray_word = run_to_end(sandbox, "emulator", {"--input-file", "x.bin", "extra"}, "stray");
  EXPECT_EQ(stray_word.status.code, 1);
  EXPECT_EQ(stray_word.output, "");
  EXPECT_EQ(stray_word.error, "Error: too many positional options have been specified on the command line\n");

  const RunResult help_and_unknown = run_to_end(sandbox, "emulator", {"--help", "--pace", "2"}, "unknown");
  EXPECT_EQ(help_and_unknown.status.code, 1);
  EXPECT_EQ(help_and_unknown.output, "");
  EXPECT_EQ(help_and_unknown.error, "Error: unrecognised option '--pace'\n");
}

TEST(EmulatorConsole, FilesThatAreNotDumpsEndWithAnErrorLine) {
  E2eSandbox sandbox("emulator_bad_files");
  const RunResult missing = run_to_end(sandbox, "emulator", {"--input-file", "missing.bin"}, "missing");
  EXPECT_EQ(missing.status.code, 0);
  EXPECT_EQ(missing.output, std::string("An error occurred: Invalid file format.\n") + emulator_closing_lines);

  std::ofstream(sandbox.directory() / "bad_magic.bin", std::ios::binary) << "SHMTRACX" << std::string(64, '\0');
  const RunResult bad_magic = run_to_end(sandbox, "emulator", {"--input-file", "bad_magic.bin"}, "magic");
  EXPECT_EQ(bad_magic.status.code, 0);
  EXPECT_EQ(bad_magic.output, std::string("An error occurred: Invalid file format.\n") + emulator_closing_lines);

  write_dump(sandbox.directory() / "unknown.bin", 30, make_source_id("xyzw"), {});
  const RunResult unknown = run_to_end(sandbox, "emulator", {"--input-file", "unknown.bin"}, "unknown");
  EXPECT_EQ(unknown.status.code, 0);
  // The library's wording, then what it means in the user's terms.
  EXPECT_EQ(unknown.output, std::string("An error occurred: invalid map<K, T> key\n"
                                        "The file's source id is \"xyzw\"; this build replays \"accz\" and \"irac\".\n") +
                                emulator_closing_lines);
  EXPECT_TRUE(shared_memory_names(sandbox.name_prefix()).empty());
}

TEST(EmulatorConsole, HeaderOnlyFileStartsAndReachesTheEndAtOnce) {
  E2eSandbox sandbox("emulator_header_only");
  write_dump(sandbox.directory() / "empty.bin", 60, iracing_id, {});
  const RunResult result = run_to_end(sandbox, "emulator", {"--input-file", "empty.bin"}, "empty");
  EXPECT_EQ(result.status.code, 0);
  EXPECT_EQ(result.output, replay_lines("irac", 60) + "Emulator reached end of file\n" + emulator_closing_lines);
  EXPECT_TRUE(shared_memory_names(sandbox.name_prefix()).empty());
}

TEST(EmulatorConsole, CorruptRecordAfterGoodFramesEndsWithTheCorruptionLine) {
  E2eSandbox sandbox("emulator_corrupt");
  const auto path = sandbox.directory() / "corrupt.bin";
  write_dump(path, 60, iracing_id, {make_iracing_payload(1, 256, 1), make_iracing_payload(2, 256, 2)});
  {
    // A record whose data is not a zlib stream.
    std::ofstream out(path, std::ios::binary | std::ios::app);
    const char sizes[8] = {16, 0, 0, 0, 100, 0, 0, 0};
    out.write(sizes, 8);
    out << std::string(16, 'x');
  }
  const RunResult result = run_to_end(sandbox, "emulator", {"--input-file", "corrupt.bin"}, "corrupt");
  EXPECT_EQ(result.status.code, 0);
  EXPECT_EQ(result.output, replay_lines("irac", 60) +
                               "An error occurred: Failed to decompress data. File is corrupted?\n" +
                               emulator_closing_lines);
  EXPECT_TRUE(shared_memory_names(sandbox.name_prefix()).empty());
}
