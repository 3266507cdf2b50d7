// What a hostile shared-memory header may cost the recorder: the header is
// another program's word, and its lengths must not turn into memory.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <string>
#include <thread>

#include "e2e_support.h"
#include "tests/unit/iracing_test_support.h"

namespace vove {

using namespace std::chrono_literals;

TEST(DumperMemory, HugeRowLengthInATinyRegionCostsNoMemory) {
  if (programs_run_under_runner()) GTEST_SKIP() << "the peak is that of the runner, not of the program";
  E2eSandbox sandbox("dumper_huge_row_length");

  // A region that holds nothing but the header, which claims 2 GiB rows.
  iracing_test::Telemetry simulator(static_cast<std::uint32_t>(iracing::memory_header_size));
  iracing::MemoryHeader header{.status = iracing::status_connected, .buffer_count = 1, .buffer_length = 0x7fffffff};
  // In place before the recorder looks: every poll must see the huge length.
  simulator.write_header(header);

  // Without sanitizers the address space is limited too, so a regression
  // fails fast instead of taking gigabytes from a shared machine.
  auto dumper = start_with_limits(sandbox, "dumper", built_with_address_sanitizer ? "" : "-v 1048576", {"--fps", "30"});
  ASSERT_TRUE(dumper->wait_for_output("Waiting for the connection\n", 20s)) << dumper->standard_output();

  // Ticks move on, so every connection attempt gets as far as the row.
  const auto until = std::chrono::steady_clock::now() + 3500ms;
  for (std::int32_t tick = 1; std::chrono::steady_clock::now() < until; ++tick) {
    header.buffer_slots[0].tick_count = tick;
    simulator.write_header(header);
    simulator.signal();
    std::this_thread::sleep_for(5ms);
  }
  dumper->send_signal(SIGINT);
  const auto status = dumper->wait_for_exit(20s);
  ASSERT_TRUE(status.has_value());
  ASSERT_TRUE(dumper->peak_resident_kib().has_value());
  EXPECT_LT(*dumper->peak_resident_kib(), 256 * 1024) << "peak resident KiB";
  EXPECT_EQ(status->code, 0);
  EXPECT_EQ(dumper->standard_output(),
            std::string("Frames per second: 30\nWaiting for the connection\n") + interrupt_line + dumper_closing_lines);
  EXPECT_TRUE(sandbox.dump_files().empty());
}

}  // namespace vove
