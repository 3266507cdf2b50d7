// When the system refuses, the user reads why: every console line the
// programs always printed stays as it was, and one line after it gives the
// operating system's reason and the object's name. (The page too short for
// the replay and the unknown source id are checked with the other replay
// errors.)
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "common/platform/platform.h"
#include "e2e_support.h"
#include "formats/iracing_layout.h"

namespace vove {

using namespace std::chrono_literals;

namespace {

// Runs `program` as a user who does not own the objects this test process
// creates: as nobody when the test runs as root (who may open anything),
// else as this user with the objects' modes taken away.
std::unique_ptr<ChildProcess> start_as_stranger(const E2eSandbox& sandbox, const std::string& program,
                                                const std::vector<std::string>& arguments,
                                                const std::vector<std::string>& objects) {
  std::vector<std::string> argv;
  if (::geteuid() == 0) {
    argv = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
  } else {
    for (const std::string& object : objects)
      std::filesystem::permissions("/dev/shm/" + object, std::filesystem::perms::none);
  }
  argv.push_back(program_path(program));
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return sandbox.start_command(argv, program);
}

std::string output_at_end(ChildProcess& process) {
  const auto status = process.wait_for_exit(60s);
  EXPECT_TRUE(status && status->exited && status->code == 0) << process.standard_error();
  return process.standard_output();
}

}  // namespace

// Another user's telemetry, mode 0600: the replay cannot take it over and
// the recorder cannot read it, and both say so instead of failing blind.
TEST(SystemRefusals, ObjectsOfAnotherUserAreReportedWithTheSystemsReason) {
  if (programs_run_under_runner()) GTEST_SKIP() << "POSIX permissions";
  E2eSandbox sandbox("objects_of_another_user");
  std::filesystem::permissions(sandbox.directory(),
                               std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                   std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                                   std::filesystem::perms::others_exec);
  const auto mapping = platform::SharedMemory::create_or_open(iracing::memory_map_name, 4096);
  const auto event = platform::NamedEvent::create(iracing::data_valid_event_name);
  ASSERT_TRUE(mapping && event);
  const std::string region = sandbox.name_prefix() + "IRSDKMemMapFileName";
  const std::vector<std::string> objects{region, "sem." + sandbox.name_prefix() + "IRSDKDataValidEvent"};
  const std::string reason = "Permission denied (shared memory /dev/shm/" + region + ")\n";

  const auto dump = sandbox.directory() / "iracing.bin";
  write_dump(dump, 30, iracing::iracing_source_id, {make_iracing_payload(1, 64, 7)});
  auto emulator = start_as_stranger(sandbox, "emulator", {"--input-file", dump.string()}, objects);
  EXPECT_EQ(output_at_end(*emulator),
            "Using emulator: irac\nAn error occurred: Failed to create file mapping\n"
            "Reason: " +
                reason + emulator_closing_lines);

  auto dumper = start_as_stranger(sandbox, "dumper", {"--fps", "30"}, objects);
  ASSERT_TRUE(dumper->wait_for_output("Cannot attach", 20s)) << dumper->standard_output();
  std::this_thread::sleep_for(1500ms);  // polled again: said once
  dumper->send_signal(SIGINT);
  EXPECT_EQ(output_at_end(*dumper), std::string("Frames per second: 30\nWaiting for the connection\n") +
                                        "Cannot attach to irac: " + reason + interrupt_line + dumper_closing_lines);
}

// A recording the user may not read: the old line, then why and which file.
TEST(SystemRefusals, AnUnreadableRecordingIsReportedWithTheSystemsReason) {
  if (programs_run_under_runner()) GTEST_SKIP() << "POSIX permissions";
  E2eSandbox sandbox("unreadable_recording");
  std::filesystem::permissions(sandbox.directory(), std::filesystem::perms::owner_all |
                                                        std::filesystem::perms::others_read |
                                                        std::filesystem::perms::others_exec);
  const auto dump = sandbox.directory() / "private.bin";
  write_dump(dump, 30, iracing::iracing_source_id, {make_iracing_payload(1, 64, 7)});
  std::filesystem::permissions(dump, std::filesystem::perms::none);
  auto emulator = start_as_stranger(sandbox, "emulator", {"--input-file", dump.string()}, {});
  EXPECT_EQ(output_at_end(*emulator), "An error occurred: Invalid file format.\nReason: Permission denied (file " +
                                          dump.string() + ")\n" + emulator_closing_lines);
}

}  // namespace vove
