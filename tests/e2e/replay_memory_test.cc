// A damaged file costs the replay memory in proportion to what it holds,
// never to the sizes it declares.
#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "formats/dump_format.h"

using namespace std::chrono_literals;

namespace {

// One record of 1 MiB: a zlib stream of incompressible bytes, cut before its
// end, declared as the largest frame a record of its size may hold (about
// 1 GiB). It inflates to about 1 MiB and then fails.
std::string corrupt_record_of_a_mebibyte() {
  std::vector<std::uint8_t> payload(1u << 20);
  std::mt19937 random(7);
  for (auto& byte : payload) byte = static_cast<std::uint8_t>(random());
  uLongf length = compressBound(static_cast<uLong>(payload.size()));
  std::vector<std::uint8_t> stream(length);
  EXPECT_EQ(compress2(stream.data(), &length, payload.data(), static_cast<uLong>(payload.size()), Z_DEFAULT_COMPRESSION),
            Z_OK);
  stream.resize(length - 64);
  const auto size = static_cast<std::uint32_t>(stream.size());
  const FrameRecord declared{size, size * 1032};
  EXPECT_TRUE(is_plausible_record(declared));
  const auto sizes = encode_frame_record(declared);
  return std::string(sizes.begin(), sizes.end()) + std::string(stream.begin(), stream.end());
}

}  // namespace

TEST(ReplayMemory, ACorruptRecordDeclaringAGigabyteCostsAboutWhatTheFileHolds) {
  if (programs_run_under_runner()) GTEST_SKIP() << "the peak is that of the runner, not of the program";
  E2eSandbox sandbox("replay_memory");
  const auto path = sandbox.directory() / "corrupt.bin";
  {
    const auto header = encode_dump_header(DumpHeader{30, make_source_id("accz")});
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(header.data()), static_cast<std::streamsize>(header.size()));
    out << corrupt_record_of_a_mebibyte();
  }
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
