// What the end-to-end tests share: where the programs are, how they are
// started (natively, or through a runner such as Wine), a private working
// directory and name prefix per test, and reading dump files back.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "child_process.h"
#include "common/source_id.h"
#include "formats/iracing_snapshot.h"

namespace vove {

// The address sanitizer reserves terabytes of address space: no address
// space limit then, and a larger peak.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool built_with_address_sanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool built_with_address_sanitizer = true;
#else
inline constexpr bool built_with_address_sanitizer = false;
#endif
#else
inline constexpr bool built_with_address_sanitizer = false;
#endif

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

// The id an iRacing recording's header carries, spelled out.
inline const SourceId iracing_id = make_source_id("irac");

// Writes a dump file from payloads (for feeding the emulator).
void write_dump(const std::filesystem::path& path, std::uint32_t fps, const SourceId& source_id,
                const std::vector<std::vector<std::uint8_t>>& frames);

// Runs `program` to its end and returns (exit code, stdout, stderr).
struct RunResult {
  ExitStatus status;
  std::string output;
  std::string error;
};
RunResult run_to_end(const E2eSandbox& sandbox, const std::string& program, const std::vector<std::string>& arguments,
                     const std::string& label);

// Runs dumptool to its end.
RunResult run_dumptool(const E2eSandbox& sandbox, const std::vector<std::string>& arguments);

// Starts `program` under the shell's ulimit with `limits` ("-f 128": a file
// size limit in 512-byte blocks, a stand-in for a full disk; "-v KiB": an
// address space limit; empty: none). The shell ignores SIGXFSZ, so that a
// write past the limit fails instead of ending the program. POSIX only.
std::unique_ptr<ChildProcess> start_with_limits(const E2eSandbox& sandbox, const std::string& program,
                                                const std::string& limits, const std::vector<std::string>& arguments);

// Names in the sandbox other than `expected` and the console logs: files
// left over.
std::vector<std::string> other_files(const E2eSandbox& sandbox, const std::vector<std::string>& expected);

// Starts the stand-in and waits until it publishes; throws when it does not.
std::unique_ptr<ChildProcess> start_standin(const E2eSandbox& sandbox, const std::vector<std::string>& arguments,
                                            const std::string& label = "standin");

// Records the stand-in (started with `standin_arguments`) for
// `length` at `fps` into `subdirectory`, and returns the files made.
std::vector<std::filesystem::path> record_standin_files(const E2eSandbox& sandbox,
                                                        const std::vector<std::string>& standin_arguments, int fps,
                                                        std::chrono::milliseconds length,
                                                        const std::string& subdirectory = "");

// The same, expecting one file, and returns it.
std::filesystem::path record_standin(const E2eSandbox& sandbox, const std::vector<std::string>& standin_arguments,
                                     int fps, std::chrono::milliseconds length, const std::string& subdirectory = "");

// Replays `recording` to its end while a second dumper records the replay
// in `subdirectory`, and returns that recording.
DumpContents record_replay(const E2eSandbox& sandbox, const std::filesystem::path& recording, int fps,
                           const std::string& subdirectory = "replay");

// What the replay prints when it starts.
std::string replay_start_lines(const std::string& id, int fps);

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
// `count` of them, ticks 1 to `count`, rows of 4096 bytes filled with the
// tick plus `fill_offset`.
std::vector<std::vector<std::uint8_t>> iracing_payloads(int count, std::uint8_t fill_offset);

// An iRacing frame as recorded, with the tick of its newest slot.
struct IracingFrame {
  std::int32_t tick = 0;
  iracing::Snapshot snapshot;
};
std::vector<IracingFrame> iracing_frames(const DumpContents& dump);
using iracing::newest_tick;

// The session text in force at frame `index`: the last one carried up to it.
std::string text_in_force(const std::vector<IracingFrame>& frames, std::size_t index);

// Checks that every frame of `replayed` is the frame of `recorded` with its
// tick, the ticks rising (a tick repeats only right after itself, for a
// deadline without a new frame): header, variable headers
// and row byte for byte, and a session text it carries the one in force
// there. The recorder of a replay joins at its next once-a-second poll, so
// only the stretch both cover can be compared: returns how many recorded
// frames lie within it.
std::size_t expect_replayed_as_recorded(const std::vector<IracingFrame>& recorded,
                                        const std::vector<IracingFrame>& replayed);

}  // namespace vove
