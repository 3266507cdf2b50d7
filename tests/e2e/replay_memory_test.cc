// A damaged file costs the replay memory in proportion to what it holds,
// never to the sizes it declares.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "../unit/dump_test_support.h"
#include "e2e_support.h"
#include "formats/dump_format.h"

namespace vove {

using namespace std::chrono_literals;

namespace {

// One record of 1 MiB: a zlib stream of incompressible bytes, cut before its
// end, declared as the largest frame a record of its size may hold (about
// 1 GiB). It inflates to about 1 MiB and then fails.
std::string corrupt_record_of_a_mebibyte() {
  dump_test::Bytes stream = dump_test::compress2_default(dump_test::noise(1u << 20, 7));
  stream.resize(stream.size() - 64);
  const auto size = static_cast<std::uint32_t>(stream.size());
  EXPECT_TRUE(is_plausible_record(FrameRecord{size, size * 1032}));
  return dump_test::raw_record(size, size * 1032, std::string(stream.begin(), stream.end()));
}

}  // namespace

TEST(ReplayMemory, ACorruptRecordDeclaringAGigabyteCostsAboutWhatTheFileHolds) {
  if (programs_run_under_runner()) GTEST_SKIP() << "the peak is that of the runner, not of the program";
  E2eSandbox sandbox("replay_memory");
  const auto path = sandbox.directory() / "corrupt.bin";
  std::ofstream(path, std::ios::binary) << dump_test::header(30, "accz") << corrupt_record_of_a_mebibyte();
  auto emulator = sandbox.start("emulator", {"--input-file", path.string()}, "emulator");
  const auto status = emulator->wait_for_exit(60s);
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(status->code, 0);
  EXPECT_NE(emulator->standard_output().find("An error occurred: Failed to decompress data. File is corrupted?\n"),
            std::string::npos)
      << emulator->standard_output();
  // A few MiB of data and buffers beside the program itself (larger under
  // the sanitizers); the declared gigabyte would show as 1048576 KiB.
  ASSERT_TRUE(emulator->peak_resident_kib().has_value());
  EXPECT_LT(*emulator->peak_resident_kib(), 256L * 1024) << "KiB resident at the peak";
}

}  // namespace vove
