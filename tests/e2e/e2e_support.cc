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
#include <sstream>
#include <stdexcept>

#include "formats/dump_format.h"
#include "formats/dump_index.h"
#include "formats/dump_writer.h"
#include "formats/dump_reader.h"
#include "formats/dump_scan.h"
#include "formats/iracing_snapshot.h"

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
  const std::string unique = std::to_string(getpid()) + "_" + std::to_string(counter++);
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
  unsetenv("VOVE_NAME_PREFIX");
}

std::unique_ptr<ChildProcess> E2eSandbox::start(const std::string& program,
                                                const std::vector<std::string>& arguments,
                                                const std::string& label,
                                                const std::string& subdirectory) const {
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
    uLongf length = compressBound(sizes.uncompressed_size);
    std::vector<std::uint8_t> expected(length);
    ASSERT_EQ(compress2(expected.data(), &length, payload.data(), sizes.uncompressed_size, Z_DEFAULT_COMPRESSION),
              Z_OK);
    expected.resize(length);
    ASSERT_EQ(stream, expected) << "record at " << record.offset << " of " << path;
  }
}

void write_dump(const std::filesystem::path& path, std::uint32_t fps, const SourceId& source_id,
                const std::vector<std::vector<std::uint8_t>>& frames) {
  std::ofstream out(path, std::ios::binary);
  DumpWriter writer(out, fps, source_id);
  for (const auto& frame : frames) writer.append_frame(frame);
}

RunResult run_to_end(const E2eSandbox& sandbox, const std::string& program,
                     const std::vector<std::string>& arguments, const std::string& label) {
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
  iRacing::Snapshot snapshot;
  snapshot.header.version = 2;
  snapshot.header.status = iRacing::status_connected;
  snapshot.header.tick_rate = 60;
  snapshot.header.session_info_offset = 4096;
  snapshot.header.variable_header_offset = 2048;
  snapshot.header.buffer_count = 1;
  snapshot.header.buffer_length = static_cast<std::int32_t>(row_length);
  snapshot.header.buffer_slots[0] = {tick, 65536, {}};
  snapshot.row.assign(row_length, fill);
  return iRacing::serialise_snapshot(snapshot);
}

void stop_with_interrupt(ChildProcess& process, const std::string& name) {
  process.send_signal(SIGINT);
  const auto status = process.wait_for_exit(std::chrono::seconds(30));
  ASSERT_TRUE(status.has_value()) << name << " did not end after Ctrl+C";
  EXPECT_TRUE(status->exited) << name;
  EXPECT_EQ(status->code, 0) << name;
}
