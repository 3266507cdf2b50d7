// What the end-to-end tests share: where the programs are, how they are
// started (natively, or through a runner such as Wine), a private working
// directory and name prefix per test, and reading dump files back.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "child_process.h"
#include "common/source_id.h"

// One test's sandbox: a fresh directory, and a name prefix for the shared
// memory so that concurrent runs never meet. Removes the directory at the end.
class E2eSandbox {
 public:
  explicit E2eSandbox(const std::string& test_name);
  E2eSandbox(const E2eSandbox&) = delete;
  E2eSandbox& operator=(const E2eSandbox&) = delete;
  ~E2eSandbox();

  const std::filesystem::path& directory() const noexcept { return directory_; }
  const std::string& name_prefix() const noexcept { return name_prefix_; }

  // Starts one of "dumper", "emulator", "sim_standin", "dumptool", "iracing_probe" with `arguments`, in
  // the sandbox or in a subdirectory of it (created when missing).
  std::unique_ptr<ChildProcess> start(const std::string& program, const std::vector<std::string>& arguments,
                                      const std::string& label, const std::string& subdirectory = "") const;
  // Starts a command line as it is (for wrapping a program in a shell).
  std::unique_ptr<ChildProcess> start_command(const std::vector<std::string>& argv, const std::string& label) const;

  // The dump files in the directory, oldest name first.
  std::vector<std::filesystem::path> dump_files(const std::string& subdirectory = "") const;

 private:
  std::filesystem::path directory_;
  std::string name_prefix_;
};

// The path of one of the programs, as the runner expects it.
std::string program_path(const std::string& program);

// True when the programs run through a runner (Wine): the shared memory is
// then not in /dev/shm and the native checks of it are skipped.
bool programs_run_under_runner();

struct DumpContents {
  std::uint32_t fps = 0;
  SourceId source_id{};
  std::vector<std::vector<std::uint8_t>> frames;  // inflated payloads
  bool ends_cleanly = false;                      // no partial record at the end
};

// Reads a dump file through the replay's reader; throws when it is not one
// or a record is damaged.
DumpContents read_dump(const std::filesystem::path& path);

// Checks that every record of the dump at `path` holds, byte for byte, what
// zlib's compress2 at the default level makes of its inflated payload.
void expect_records_match_compress2(const std::filesystem::path& path);

// Writes a dump file from payloads (for feeding the emulator).
void write_dump(const std::filesystem::path& path, std::uint32_t fps, const SourceId& source_id,
                const std::vector<std::vector<std::uint8_t>>& frames);

// Runs `program` to its end and returns (exit code, stdout, stderr).
struct RunResult {
  ExitStatus status;
  std::string output;
  std::string error;
};
RunResult run_to_end(const E2eSandbox& sandbox, const std::string& program,
                     const std::vector<std::string>& arguments, const std::string& label);

// Sends Ctrl+C and expects the program to end by itself with exit code 0.
void stop_with_interrupt(ChildProcess& process, const std::string& name);

inline constexpr const char* dumper_closing_lines = "Dumper thread stopped.\nYou can now close this window.\n";
inline constexpr const char* emulator_closing_lines = "Emulator thread stopped.\nYou can now close this window.\n";
inline constexpr const char* interrupt_line = "Ctrl+C detected. Stopping the job. Please wait patiently...\n";

// POSIX names under /dev/shm that begin with `prefix` (the shared memory and
// the events of one sandbox); empty under a runner.
std::vector<std::string> shared_memory_names(const std::string& prefix);

// A minimal well-formed iRacing frame payload: one buffer slot holding a
// row of `row_length` bytes filled with `fill`, at tick `tick`.
std::vector<std::uint8_t> make_iracing_payload(std::int32_t tick, std::size_t row_length, std::uint8_t fill);
