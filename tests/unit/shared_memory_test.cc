// The platform layer as every backend must provide it; sizes are whole
// 4096-byte pages, as Windows makes them.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>

#include "common/platform/platform.h"
#include "scoped_name_prefix.h"

namespace vove {

namespace {

using namespace platform;

constexpr std::size_t region_size = 8192;

TEST(PlatformLayer, ARegionIsCreatedZeroFilledAndThenOpenedAsItIs) {
  const ScopedNamePrefix prefix;  // names are machine-wide
  EXPECT_FALSE(SharedMemory::open_existing("Local\\R", Access::read));
  const SharedMemory creator = SharedMemory::create_or_open("Local\\R", region_size);
  const MappedView written = creator.map(Access::write, 0);
  ASSERT_TRUE(written);
  ASSERT_EQ(written.size(), region_size);
  EXPECT_TRUE(std::all_of(written.data(), written.data() + region_size, [](std::byte b) { return b == std::byte{}; }));
  written.data()[region_size - 1] = std::byte{0x5a};

  // Whatever size a later creator asks for, it gets the region unchanged.
  for (const std::uint32_t asked : {100u, 3 * 4096u}) {
    const SharedMemory opener = SharedMemory::create_or_open("Local\\R", asked);
    const MappedView whole = opener.map(Access::read, 0);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole.size(), region_size);
    EXPECT_EQ(whole.data()[region_size - 1], std::byte{0x5a});
    EXPECT_FALSE(opener.map(Access::read, region_size + 1));
  }
}

// A recorder records a region at the size the system says its creator
// made it: exactly on POSIX and Windows; Wine keeps only whole pages (see
// the Win32 backend's own test).
TEST(PlatformLayer, ARegionTellsTheSizeItsCreatorMadeIt) {
  const ScopedNamePrefix prefix;
  EXPECT_FALSE(SharedMemory().size());
  const SharedMemory creator = SharedMemory::create_or_open("Local\\S", 10'152);
  const SharedMemory reader = SharedMemory::open_existing("Local\\S", Access::read);
  ASSERT_TRUE(reader);
  for (const SharedMemory* region : {&creator, &reader}) {
    ASSERT_TRUE(region->size());
    EXPECT_GE(*region->size(), 10'152u);
    EXPECT_LE(*region->size(), 12'288u);
    EXPECT_EQ(region->size(), creator.size());
  }
}

TEST(PlatformLayer, AnEventWaitTimesOutUntilSignalled) {
  const ScopedNamePrefix prefix;
  EXPECT_FALSE(NamedEvent::open_existing("Local\\E"));
  const NamedEvent creator = NamedEvent::create("Local\\E");
  const NamedEvent waiter = NamedEvent::open_existing("Local\\E");
  ASSERT_TRUE(creator && waiter);
  // A wait lasts its whole timeout; load can only make it longer.
  const auto before = std::chrono::steady_clock::now();
  EXPECT_FALSE(waiter.wait(std::chrono::milliseconds{120}));
  EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(100));
  creator.signal();
  EXPECT_TRUE(waiter.wait(std::chrono::milliseconds{1000}));
  EXPECT_FALSE(waiter.wait(std::chrono::milliseconds{0})) << "auto-reset";
}

}  // namespace

}  // namespace vove
