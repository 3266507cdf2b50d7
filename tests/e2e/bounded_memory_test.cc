// What a hostile shared-memory header may cost the recorder: the header is
// another program's word, and its lengths must not turn into memory.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include "e2e_support.h"
#include "tests/unit/iracing_test_support.h"

using namespace std::chrono_literals;

namespace {

// The most memory the process has had resident so far, in KiB.
std::optional<long> peak_resident_kib(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return std::nullopt;
}

}  // namespace

TEST(DumperMemory, HugeRowLengthInATinyRegionCostsNoMemory) {
  if (programs_run_under_runner()) GTEST_SKIP() << "reads the recorder's peak memory from /proc";
  E2eSandbox sandbox("dumper_huge_row_length");

  // A region that holds nothing but the header, which claims 2 GiB rows.
  iracing_test::Telemetry simulator(static_cast<std::uint32_t>(iRacing::memory_header_size));
  iRacing::MemoryHeader header{.status = iRacing::status_connected, .buffer_count = 1,
                               .buffer_length = 0x7fffffff};
  // In place before the recorder looks: every poll must see the huge length.
  simulator.write_header(header);

  // Without sanitizers the address space is limited too, so a regression
  // fails fast instead of taking gigabytes from a shared machine.
  const std::string limit = built_with_address_sanitizer ? "" : "ulimit -v 1048576 && ";
  auto dumper = sandbox.start_command(
      {"/bin/sh", "-c", limit + "exec \"$0\" --fps 30", program_path("dumper")}, "dumper");
  ASSERT_TRUE(dumper->wait_for_output("Waiting for the connection\n", 20s)) << dumper->standard_output();

  // Ticks move on, so every connection attempt gets as far as the row.
  const auto until = std::chrono::steady_clock::now() + 3500ms;
  for (std::int32_t tick = 1; std::chrono::steady_clock::now() < until; ++tick) {
    header.buffer_slots[0].tick_count = tick;
    simulator.write_header(header);
    simulator.signal();
    std::this_thread::sleep_for(5ms);
  }
  const std::optional<long> peak = peak_resident_kib(dumper->pid());
  dumper->send_signal(SIGINT);
  const auto status = dumper->wait_for_exit(20s);

  ASSERT_TRUE(peak.has_value()) << "the recorder ended early:\n" << dumper->standard_output();
  EXPECT_LT(*peak, 256 * 1024) << "peak resident KiB";
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(status->code, 0);
  EXPECT_EQ(dumper->standard_output(), std::string("Frames per second: 30\nWaiting for the connection\n") +
                                           interrupt_line + dumper_closing_lines);
  EXPECT_TRUE(sandbox.dump_files().empty());
}
