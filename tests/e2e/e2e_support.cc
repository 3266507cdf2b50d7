#include "e2e_support.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "common/byte_coding.h"
#include "formats/dump_format.h"

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
  const std::string bytes = read_file(path);
  if (bytes.size() < dump_header_size || bytes.compare(0, dump_magic.size(), dump_magic) != 0) {
    throw std::runtime_error("not a dump file: " + path.string());
  }
  DumpContents contents;
  contents.fps = coding::decode_u32(bytes.data() + 8);
  std::copy_n(bytes.data() + 12, 4, contents.source_id.begin());
  std::size_t position = dump_header_size;
  while (position + frame_record_header_size <= bytes.size()) {
    const FrameRecord record = decode_frame_record(reinterpret_cast<const std::uint8_t*>(bytes.data() + position));
    position += frame_record_header_size;
    if (record.compressed_size > bytes.size() - position) break;
    std::vector<std::uint8_t> payload(record.uncompressed_size);
    uLongf length = static_cast<uLongf>(payload.size());
    if (uncompress(payload.data(), &length, reinterpret_cast<const Bytef*>(bytes.data() + position),
                   record.compressed_size) != Z_OK ||
        length != payload.size()) {
      throw std::runtime_error("a record does not inflate to its size in " + path.string());
    }
    contents.frames.push_back(std::move(payload));
    position += record.compressed_size;
  }
  contents.ends_cleanly = position == bytes.size();
  return contents;
}

void write_dump(const std::filesystem::path& path, std::uint32_t fps, const SourceId& source_id,
                const std::vector<std::vector<std::uint8_t>>& frames) {
  std::ofstream out(path, std::ios::binary);
  const auto header = encode_dump_header(DumpHeader{fps, source_id});
  out.write(reinterpret_cast<const char*>(header.data()), static_cast<std::streamsize>(header.size()));
  for (const auto& frame : frames) {
    std::vector<std::uint8_t> compressed(compressBound(static_cast<uLong>(frame.size())));
    uLongf length = static_cast<uLongf>(compressed.size());
    if (compress2(compressed.data(), &length, frame.data(), static_cast<uLong>(frame.size()), Z_DEFAULT_COMPRESSION) !=
        Z_OK) {
      throw std::runtime_error("compress2 failed");
    }
    const auto record = encode_frame_record(FrameRecord{static_cast<std::uint32_t>(length),
                                                        static_cast<std::uint32_t>(frame.size())});
    out.write(reinterpret_cast<const char*>(record.data()), static_cast<std::streamsize>(record.size()));
    out.write(reinterpret_cast<const char*>(compressed.data()), static_cast<std::streamsize>(length));
  }
  if (!out) throw std::runtime_error("cannot write " + path.string());
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
  constexpr std::size_t header_size = 112;
  std::vector<std::uint8_t> payload(header_size + 8 + 8 + row_length, 0);
  std::uint8_t* header = payload.data();
  coding::encode_i32(header + 0, 2);                                    // version
  coding::encode_i32(header + 4, 1);                                    // status: connected
  coding::encode_i32(header + 8, 60);                                   // tick rate
  coding::encode_i32(header + 20, 4096);                                // session text offset
  coding::encode_i32(header + 24, 0);                                   // no variable headers
  coding::encode_i32(header + 28, 2048);                                // variable header offset
  coding::encode_i32(header + 32, 1);                                   // one buffer slot
  coding::encode_i32(header + 36, static_cast<std::int32_t>(row_length));
  coding::encode_i32(header + 48, tick);                                // slot 0 tick
  coding::encode_i32(header + 52, 65536);                               // slot 0 row offset
  coding::encode_u64(payload.data() + header_size, 0);                  // no session text
  coding::encode_u64(payload.data() + header_size + 8, row_length);
  std::fill(payload.begin() + header_size + 16, payload.end(), fill);
  return payload;
}

void stop_with_interrupt(ChildProcess& process, const std::string& name) {
  process.send_signal(SIGINT);
  const auto status = process.wait_for_exit(std::chrono::seconds(30));
  ASSERT_TRUE(status.has_value()) << name << " did not end after Ctrl+C";
  EXPECT_TRUE(status->exited) << name;
  EXPECT_EQ(status->code, 0) << name;
}
