#include "e2e_support.h"

#include <gtest/gtest.h>
#include <zlib.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <map>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "../unit/dump_test_support.h"
#include "formats/dump_format.h"
#include "formats/dump_index.h"
#include "formats/dump_writer.h"
#include "formats/dump_reader.h"
#include "formats/dump_scan.h"
#include "formats/iracing_snapshot.h"

namespace vove {

namespace {

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace

std::string program_path(const std::string& program) {
  const std::string bin_dir = environment("VOVE_E2E_BIN_DIR");
  if (!bin_dir.empty()) return bin_dir + "/" + program + environment("VOVE_E2E_EXE_SUFFIX");
  if (program == "dumper") return VOVE_DUMPER_PATH;
  if (program == "emulator") return VOVE_EMULATOR_PATH;
  if (program == "sim_standin") return VOVE_STANDIN_PATH;
  if (program == "dumptool") return VOVE_DUMPTOOL_PATH;
  if (program == "iracing_probe") return VOVE_PROBE_PATH;
  throw std::invalid_argument("unknown program " + program);
}

namespace {

std::vector<std::string> runner_words() {
  std::istringstream words(environment("VOVE_E2E_RUNNER"));
  std::vector<std::string> result;
  for (std::string word; words >> word;) result.push_back(word);
  return result;
}

}  // namespace

bool programs_run_under_runner() { return !runner_words().empty(); }

E2eSandbox::E2eSandbox(const std::string& test_name) {
  static std::atomic<int> counter{0};
  // The process id alone repeats across a long run, and a name left by a
  // killed program of an earlier process would then meet this test.
  static const std::string token = [] {
    std::ostringstream hex;
    hex << std::hex << std::random_device()();
    return hex.str();
  }();
  const std::string unique = std::to_string(getpid()) + token + "_" + std::to_string(counter++);
  directory_ = std::filesystem::temp_directory_path() / ("vove_e2e_" + test_name + "_" + unique);
  std::filesystem::remove_all(directory_);
  std::filesystem::create_directories(directory_);
  name_prefix_ = "vove_e2e_" + unique + "_";
  // Children inherit it: every program of this test uses private names.
  setenv("VOVE_NAME_PREFIX", name_prefix_.c_str(), 1);
}

E2eSandbox::~E2eSandbox() {
  std::error_code ignored;
  std::filesystem::remove_all(directory_, ignored);
  // Whatever a killed program left under this test's names goes too.
  for (const auto& name : shared_memory_names(name_prefix_)) std::filesystem::remove("/dev/shm/" + name, ignored);
  unsetenv("VOVE_NAME_PREFIX");
}

std::unique_ptr<ChildProcess> E2eSandbox::start(const std::string& program, const std::vector<std::string>& arguments,
                                                const std::string& label, const std::string& subdirectory) const {
  std::vector<std::string> argv = runner_words();
  argv.push_back(program_path(program));
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  const std::filesystem::path where = directory_ / subdirectory;
  std::filesystem::create_directories(where);
  return std::make_unique<ChildProcess>(argv, where, label);
}

std::unique_ptr<ChildProcess> E2eSandbox::start_command(const std::vector<std::string>& argv,
                                                        const std::string& label) const {
  return std::make_unique<ChildProcess>(argv, directory_, label);
}

std::vector<std::filesystem::path> E2eSandbox::dump_files(const std::string& subdirectory) const {
  std::vector<std::filesystem::path> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(directory_ / subdirectory, error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("vove_dump_", 0) == 0 && entry.path().extension() == ".bin") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

DumpContents read_dump(const std::filesystem::path& path) {
  DumpContents contents;
  const auto intact = complete_dump_length(path);
  contents.ends_cleanly = intact && *intact == std::filesystem::file_size(path);
  std::ifstream in(path, std::ios::binary);
  DumpReader reader(in);
  contents.fps = static_cast<std::uint32_t>(reader.fps());
  contents.source_id = reader.source_id();
  for (auto frame = reader.next_frame(); !frame.empty(); frame = reader.next_frame()) {
    contents.frames.push_back(std::move(frame));
  }
  return contents;
}

void expect_records_match_compress2(const std::filesystem::path& path) {
  const DumpIndex index = DumpIndex::scan(path);
  EXPECT_FALSE(index.damage().has_value()) << path;
  EXPECT_FALSE(index.records().empty()) << path;
  std::ifstream in(path, std::ios::binary);
  for (const auto& record : index.records()) {
    const FrameRecord sizes = record.sizes;
    std::vector<std::uint8_t> stream(sizes.compressed_size);
    in.seekg(static_cast<std::streamoff>(record.data_offset()));
    in.read(reinterpret_cast<char*>(stream.data()), static_cast<std::streamsize>(stream.size()));
    std::vector<std::uint8_t> payload(sizes.uncompressed_size);
    uLongf payload_length = sizes.uncompressed_size;
    ASSERT_EQ(uncompress(payload.data(), &payload_length, stream.data(), sizes.compressed_size), Z_OK);
    ASSERT_EQ(stream, dump_test::compress2_default(payload)) << "record at " << record.offset << " of " << path;
  }
}

void write_dump(const std::filesystem::path& path, std::uint32_t fps, const SourceId& source_id,
                const std::vector<std::vector<std::uint8_t>>& frames) {
  std::ofstream out(path, std::ios::binary);
  DumpWriter writer(out, fps, source_id);
  for (const auto& frame : frames) writer.append_frame(frame);
}

RunResult run_to_end(const E2eSandbox& sandbox, const std::string& program, const std::vector<std::string>& arguments,
                     const std::string& label) {
  auto process = sandbox.start(program, arguments, label);
  const auto status = process->wait_for_exit(std::chrono::seconds(60));
  if (!status) throw std::runtime_error(program + " did not end");
  return RunResult{*status, process->standard_output(), process->standard_error()};
}

std::vector<std::string> shared_memory_names(const std::string& prefix) {
  std::vector<std::string> names;
  if (programs_run_under_runner()) return names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", error)) {
    const std::string name = entry.path().filename().string();
    if (name.find(prefix) != std::string::npos) names.push_back(name);
  }
  return names;
}

std::vector<std::uint8_t> make_iracing_payload(std::int32_t tick, std::size_t row_length, std::uint8_t fill) {
  iracing::Snapshot snapshot;
  snapshot.header.version = 2;
  snapshot.header.status = iracing::status_connected;
  snapshot.header.tick_rate = 60;
  snapshot.header.session_info_offset = 4096;
  snapshot.header.variable_header_offset = 2048;
  snapshot.header.buffer_count = 1;
  snapshot.header.buffer_length = static_cast<std::int32_t>(row_length);
  snapshot.header.buffer_slots[0] = {tick, 65536, {}};
  snapshot.row.assign(row_length, fill);
  return iracing::serialise_snapshot(snapshot);
}

std::vector<std::vector<std::uint8_t>> iracing_payloads(int count, std::uint8_t fill_offset) {
  std::vector<std::vector<std::uint8_t>> frames;
  for (int tick = 1; tick <= count; ++tick) {
    frames.push_back(make_iracing_payload(tick, 4096, static_cast<std::uint8_t>(tick + fill_offset)));
  }
  return frames;
}

void stop_with_interrupt(ChildProcess& process, const std::string& name) {
  process.send_signal(SIGINT);
  const auto status = process.wait_for_exit(std::chrono::seconds(30));
  ASSERT_TRUE(status.has_value()) << name << " did not end after Ctrl+C";
  EXPECT_TRUE(status->exited) << name;
  EXPECT_EQ(status->code, 0) << name;
}

RunResult run_dumptool(const E2eSandbox& sandbox, const std::vector<std::string>& arguments) {
  static int runs = 0;
  return run_to_end(sandbox, "dumptool", arguments, "dumptool_" + std::to_string(runs++));
}

std::unique_ptr<ChildProcess> start_with_limits(const E2eSandbox& sandbox, const std::string& program,
                                                const std::string& limits, const std::vector<std::string>& arguments) {
  std::vector<std::string> argv{
      "/bin/sh", "-c", "trap '' XFSZ; " + (limits.empty() ? "" : "ulimit " + limits + "; ") + "exec \"$0\" \"$@\"",
      program_path(program)};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return sandbox.start_command(argv, program + "_limited");
}

std::vector<std::string> other_files(const E2eSandbox& sandbox, const std::vector<std::string>& expected) {
  std::vector<std::string> others;
  for (const auto& entry : std::filesystem::directory_iterator(sandbox.directory())) {
    const std::string name = entry.path().filename().string();
    const bool console_log = entry.path().extension() == ".stdout" || entry.path().extension() == ".stderr";
    if (!console_log && std::find(expected.begin(), expected.end(), name) == expected.end()) others.push_back(name);
  }
  return others;
}

std::unique_ptr<ChildProcess> start_standin(const E2eSandbox& sandbox, const std::vector<std::string>& arguments,
                                            const std::string& label) {
  auto standin = sandbox.start("sim_standin", arguments, label);
  if (!standin->wait_for_output("Publishing", std::chrono::seconds(30))) {
    throw std::runtime_error("the stand-in did not start publishing: " + standin->standard_error());
  }
  return standin;
}

std::vector<std::filesystem::path> record_standin_files(const E2eSandbox& sandbox,
                                                        const std::vector<std::string>& standin_arguments, int fps,
                                                        std::chrono::milliseconds length,
                                                        const std::string& subdirectory) {
  auto standin = start_standin(sandbox, standin_arguments);
  auto dumper = sandbox.start("dumper", {"--fps", std::to_string(fps)}, "record_" + subdirectory, subdirectory);
  EXPECT_TRUE(dumper->wait_for_output("Saver started\n", std::chrono::seconds(30))) << dumper->standard_output();
  std::this_thread::sleep_for(length);
  stop_with_interrupt(*dumper, "dumper");
  stop_with_interrupt(*standin, "stand-in");
  EXPECT_NE(dumper->standard_output().find("Connected to "), std::string::npos) << dumper->standard_output();
  return sandbox.dump_files(subdirectory);
}

std::filesystem::path record_standin(const E2eSandbox& sandbox, const std::vector<std::string>& standin_arguments,
                                     int fps, std::chrono::milliseconds length, const std::string& subdirectory) {
  const auto files = record_standin_files(sandbox, standin_arguments, fps, length, subdirectory);
  EXPECT_EQ(files.size(), 1u);
  return files.empty() ? std::filesystem::path() : files.front();
}

DumpContents record_replay(const E2eSandbox& sandbox, const std::filesystem::path& recording, int fps,
                           const std::string& subdirectory) {
  auto dumper = sandbox.start("dumper", {"--fps", std::to_string(fps)}, "rerecord", subdirectory);
  EXPECT_TRUE(dumper->wait_for_output("Waiting for the connection\n", std::chrono::seconds(30)));
  const RunResult replay = run_to_end(sandbox, "emulator", {"--input-file", recording.string()}, "replay");
  EXPECT_EQ(replay.status.code, 0);
  EXPECT_NE(replay.output.find("Emulator reached end of file\n"), std::string::npos) << replay.output;
  // After the replay the tick stands still: the recorder declares the source
  // down after 21 empty reads.
  EXPECT_TRUE(dumper->wait_for_output("Source is down, disconnecting\n", std::chrono::seconds(60)))
      << dumper->standard_output();
  stop_with_interrupt(*dumper, "second dumper");
  const auto files = sandbox.dump_files(subdirectory);
  EXPECT_EQ(files.size(), 1u);
  return files.empty() ? DumpContents{} : read_dump(files.front());
}

std::string replay_start_lines(const std::string& id, int fps) {
  return "Using emulator: " + id + "\nFrames per second: " + std::to_string(fps) + "\nEmulator started\n";
}

std::vector<IracingFrame> iracing_frames(const DumpContents& dump) {
  std::vector<IracingFrame> frames;
  for (const auto& payload : dump.frames) {
    IracingFrame frame;
    frame.snapshot = iracing::parse_snapshot(payload);
    frame.tick = iracing::newest_tick(frame.snapshot.header);
    frames.push_back(std::move(frame));
  }
  return frames;
}

std::string text_in_force(const std::vector<IracingFrame>& frames, std::size_t index) {
  for (std::size_t i = index + 1; i-- > 0;) {
    if (!frames[i].snapshot.session_info.empty()) return frames[i].snapshot.session_info;
  }
  return {};
}

std::size_t expect_replayed_as_recorded(const std::vector<IracingFrame>& recorded,
                                        const std::vector<IracingFrame>& replayed) {
  // A recorder records the newest frame again for a deadline without a new
  // one: a tick may repeat, but only right after itself.
  std::map<std::int32_t, std::size_t> index_by_tick;
  for (std::size_t i = 0; i < recorded.size(); ++i) {
    const bool repeat = i > 0 && recorded[i].tick == recorded[i - 1].tick;
    EXPECT_TRUE(index_by_tick.emplace(recorded[i].tick, i).second || repeat)
        << "tick recorded twice apart: " << recorded[i].tick;
  }
  std::int32_t previous_tick = std::numeric_limits<std::int32_t>::min();
  for (const auto& frame : replayed) {
    EXPECT_GE(frame.tick, previous_tick);
    previous_tick = frame.tick;
    const auto found = index_by_tick.find(frame.tick);
    if (found == index_by_tick.end()) {
      ADD_FAILURE() << "replayed tick " << frame.tick << " was never recorded";
      return 0;
    }
    const auto& original = recorded[found->second].snapshot;
    EXPECT_EQ(frame.snapshot.header, original.header) << "tick " << frame.tick;
    EXPECT_EQ(frame.snapshot.variable_headers, original.variable_headers) << "tick " << frame.tick;
    EXPECT_EQ(frame.snapshot.row, original.row) << "tick " << frame.tick;
    if (!frame.snapshot.session_info.empty()) {
      EXPECT_EQ(frame.snapshot.session_info, text_in_force(recorded, found->second)) << "tick " << frame.tick;
    }
  }
  if (replayed.empty()) return 0;
  return static_cast<std::size_t>(std::count_if(recorded.begin(), recorded.end(), [&](const IracingFrame& frame) {
    return frame.tick >= replayed.front().tick && frame.tick <= replayed.back().tick;
  }));
}

}  // namespace vove
