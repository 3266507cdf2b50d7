// The platform layer as every backend must provide it; only platform.h is
// used, so these run on each platform. Windows makes objects whole 4096-byte
// pages, so exact sizes and limits are checked on page multiples only.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/platform/platform.h"
#include "scoped_name_prefix.h"

namespace {

using namespace platform;

constexpr std::size_t region_size = 8192;

class PlatformLayer : public ::testing::Test {
 protected:
  ScopedNamePrefix prefix_;  // names are machine-wide
};

TEST_F(PlatformLayer, ARegionIsCreatedZeroFilledAndThenOpenedAsItIs) {
  const SharedMemory creator = SharedMemory::create_or_open("Local\\R", region_size);
  const MappedView written = creator.map(Access::write, 0);
  ASSERT_TRUE(written);
  ASSERT_EQ(written.size(), region_size);
  EXPECT_TRUE(std::all_of(written.data(), written.data() + region_size,
                          [](std::byte b) { return b == std::byte{}; }));
  written.data()[region_size - 1] = std::byte{0x5a};

  // Whatever size a later creator asks for, it gets the region unchanged.
  for (const std::uint32_t asked : {100u, 3 * 4096u}) {
    const SharedMemory opener = SharedMemory::create_or_open("Local\\R", asked);
    const MappedView whole = opener.map(Access::read, 0);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole.size(), region_size);
    EXPECT_EQ(whole.data()[region_size - 1], std::byte{0x5a});
    EXPECT_FALSE(opener.map(Access::read, region_size + 1));
    EXPECT_EQ(opener.map(Access::read, 100).size(), 100u);
  }
}

TEST_F(PlatformLayer, HandlesMapOnlyWhatTheyWereOpenedForAndTheNameGoesWithThem) {
  EXPECT_FALSE(SharedMemory::open_existing("Local\\R", Access::read));
  SharedMemory creator = SharedMemory::create_or_open("Local\\R", 4096);
  ASSERT_TRUE(creator);
  {
    const SharedMemory reader = SharedMemory::open_existing("Local\\R", Access::read);
    const SharedMemory writer = SharedMemory::open_existing("Local\\R", Access::write);
    ASSERT_TRUE(reader && writer);
    EXPECT_FALSE(reader.map(Access::write, 0));
    const MappedView seen = reader.map(Access::read, 0);
    MappedView written = writer.map(Access::write, 0);
    ASSERT_TRUE(seen && written);
    written.data()[7] = std::byte{9};
    EXPECT_EQ(seen.data()[7], std::byte{9});

    MappedView moved = std::move(written);  // unmapped once, by its last owner
    EXPECT_FALSE(written);
    moved.unmap();
    moved.unmap();
    EXPECT_FALSE(moved);
  }
  creator = SharedMemory::create_or_open("Local\\S", 4096);  // releases the old region first
  EXPECT_FALSE(SharedMemory::open_existing("Local\\R", Access::read));
  creator.close();
  EXPECT_FALSE(SharedMemory::open_existing("Local\\S", Access::read));
}

TEST_F(PlatformLayer, AnEventWakesOneWaitPerSignal) {
  EXPECT_FALSE(NamedEvent::open_existing("Local\\E"));
  NamedEvent creator = NamedEvent::create("Local\\E");
  NamedEvent waiter = NamedEvent::open_existing("Local\\E");
  ASSERT_TRUE(creator && waiter);
  EXPECT_FALSE(waiter.wait(10));
  creator.signal();
  creator.signal();  // auto-reset: a burst is one wake-up
  EXPECT_TRUE(waiter.wait(1000));
  EXPECT_FALSE(waiter.wait(0));
  NamedEvent::create("Local\\E").signal();  // creating an existing name opens it
  EXPECT_TRUE(waiter.wait(0));

  waiter.close();
  creator = NamedEvent();
  EXPECT_FALSE(NamedEvent::open_existing("Local\\E"));
}

TEST_F(PlatformLayer, CreateNewFileNeverOverwritesAnEarlierFile) {
  namespace fs = std::filesystem;
  const fs::path directory = fs::temp_directory_path() / prefix_.prefix();
  fs::create_directories(directory);
  const std::string path = (directory / "dump.bin").string();
  EXPECT_EQ(create_new_file(path), CreateFileResult::created);
  std::ofstream(path, std::ios::binary) << "recorded";
  EXPECT_EQ(create_new_file(path), CreateFileResult::exists);
  EXPECT_EQ(fs::file_size(path), 8u);
  EXPECT_EQ(create_new_file((directory / "missing" / "dump.bin").string()),
            CreateFileResult::failed);
  fs::remove_all(directory);
}

}  // namespace
