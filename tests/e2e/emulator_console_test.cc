// The replay program's command line and its answers to good and bad dump
// files, as a user sees them in the console.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "../unit/dump_test_support.h"
#include "e2e_support.h"

namespace vove {

TEST(EmulatorConsole, CommandLineErrorsAndHelp) {
  E2eSandbox sandbox("emulator_cli");
  for (const auto& arguments : {std::vector<std::string>{"--help"}, {"--help", "--input-file", "x.bin"}}) {
    const RunResult help = run_to_end(sandbox, "emulator", arguments, "help");
    EXPECT_EQ(help.status.code, 1);
    EXPECT_EQ(help.output.substr(help.output.find('\n') + 1),
              "Allowed options:\n"
              "  --help                Produce help message\n"
              "  --version             Print the version and exit\n"
              "  --input-file arg      Input file name\n"
              "  --loop                Start again at the first frame at the end, until Ctrl+C\n"
              "  --speed X             Replay X times as fast, 0.1 to 16 (default 1)\n"
              "  --from S              Start S seconds into the recording\n"
              "  --to S                End S seconds into the recording\n\n");
  }

  for (const auto& [arguments, error] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{}, "Error: the option '--input-file' is required but missing\n"},
           {{"--input-file", "x.bin", "extra"},
            "Error: too many positional options have been specified on the command line\n"},
           {{"--help", "--pace", "2"}, "Error: unrecognised option '--pace'\n"}}) {
    const RunResult result = run_to_end(sandbox, "emulator", arguments, "rejected");
    EXPECT_EQ(result.status.code, 1) << error;
    EXPECT_EQ(result.output, "");
    EXPECT_EQ(result.error, error);
  }
}

TEST(EmulatorConsole, FilesThatAreNotDumpsEndWithAnErrorLine) {
  E2eSandbox sandbox("emulator_bad_files");
  std::ofstream(sandbox.directory() / "bad_magic.bin", std::ios::binary) << "SHMTRACX" << std::string(64, '\0');
  write_dump(sandbox.directory() / "unknown.bin", 30, make_source_id("xyzw"), {});
  std::filesystem::create_directory(sandbox.directory() / "folder.bin");
  const std::string invalid = "An error occurred: Invalid file format.\n";
  const std::string missing = invalid + "Reason: No such file or directory (file missing.bin)\n";
  const std::string folder = invalid + "Reason: Is a directory (file folder.bin)\n";
  // For a file that cannot be read, the system's reason and the file; for an
  // unknown id, the library's wording, then what it means in the user's terms.
  for (const auto& [file, expected] : std::vector<std::pair<std::string, std::string>>{
           {"missing.bin", missing},
           {"folder.bin", folder},
           {"bad_magic.bin", invalid},
           {"unknown.bin",
            "An error occurred: invalid map<K, T> key\n"
            "The file's source id is \"xyzw\"; this build replays \"ac1z\", \"accz\", \"acez\", \"irac\", \"lmuz\", "
            "\"pc2z\", \"r3ez\", \"rf1z\", \"rf2z\" and \"shmz\".\n"}}) {
    const RunResult result = run_to_end(sandbox, "emulator", {"--input-file", file}, file);
    EXPECT_EQ(result.status.code, 0) << file;
    EXPECT_EQ(result.output, expected + emulator_closing_lines);
  }
  EXPECT_TRUE(shared_memory_names(sandbox.name_prefix()).empty());
}

TEST(EmulatorConsole, HeaderOnlyFileStartsAndReachesTheEndAtOnce) {
  E2eSandbox sandbox("emulator_header_only");
  write_dump(sandbox.directory() / "empty.bin", 60, iracing_id, {});
  const RunResult result = run_to_end(sandbox, "emulator", {"--input-file", "empty.bin"}, "empty");
  EXPECT_EQ(result.status.code, 0);
  EXPECT_EQ(result.output, replay_start_lines("irac", 60) + "Emulator reached end of file\n" + emulator_closing_lines);
  EXPECT_TRUE(shared_memory_names(sandbox.name_prefix()).empty());
}

// A record cut short after the good ones: said before the replay starts,
// counted in words that fit one frame as well as several.
TEST(EmulatorConsole, ARecordCutShortIsAnnouncedWithTheFramesBeforeIt) {
  E2eSandbox sandbox("emulator_cut_short");
  for (const auto& [count, words] : std::vector<std::pair<int, std::string>>{
           {1, "; the frame before it is replayed\n"}, {2, "; the 2 frames before it are replayed\n"}}) {
    const auto path = sandbox.directory() / ("cut" + std::to_string(count) + ".bin");
    std::vector<std::vector<std::uint8_t>> payloads;
    for (int frame = 1; frame <= count; ++frame) payloads.push_back(make_iracing_payload(frame, 256, frame));
    write_dump(path, 60, iracing_id, payloads);
    std::ofstream(path, std::ios::binary | std::ios::app) << dump_test::raw_record(400, 1000, std::string(16, 'x'));
    const RunResult result = run_to_end(sandbox, "emulator", {"--input-file", path.filename().string()}, "cut");
    const std::string start = "Using emulator: irac\nFrames per second: 60\nThe recording is damaged at frame " +
                              std::to_string(count) + " (byte ";
    EXPECT_EQ(result.output.rfind(start, 0), 0u) << result.output;
    EXPECT_NE(result.output.find(words + "Emulator started\n"), std::string::npos) << result.output;
  }
}

TEST(EmulatorConsole, CorruptRecordAfterGoodFramesEndsWithTheCorruptionLine) {
  E2eSandbox sandbox("emulator_corrupt");
  const auto path = sandbox.directory() / "corrupt.bin";
  write_dump(path, 60, iracing_id, {make_iracing_payload(1, 256, 1), make_iracing_payload(2, 256, 2)});
  // A record whose data is not a zlib stream.
  std::ofstream(path, std::ios::binary | std::ios::app) << dump_test::raw_record(16, 100, std::string(16, 'x'));
  const RunResult result = run_to_end(sandbox, "emulator", {"--input-file", "corrupt.bin"}, "corrupt");
  EXPECT_EQ(result.status.code, 0);
  EXPECT_EQ(result.output, replay_start_lines("irac", 60) +
                               "An error occurred: Failed to decompress data. File is corrupted?\n" +
                               emulator_closing_lines);
  EXPECT_TRUE(shared_memory_names(sandbox.name_prefix()).empty());
}

}  // namespace vove
