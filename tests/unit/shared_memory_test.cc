// The platform layer's named regions and events as every backend must
// provide them; only platform.h is used, so these run on each platform.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "common/platform/platform.h"

namespace {

using platform::Access;
using platform::NamedEvent;
using platform::SharedMemory;

// Names are machine-wide: each one is unique to this run and this call.
std::string unique_name(const std::string& what) {
  static const std::string run = [] {
    std::random_device device;
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    return std::to_string(device()) + "_" + std::to_string(now % 1'000'000'007);
  }();
  static int next = 0;
  return "Local\\vovetest_" + run + "_" + std::to_string(next++) + "_" + what;
}

bool all_zero(const platform::MappedView& view) {
  for (std::size_t i = 0; i < view.size(); ++i) {
    if (view.data()[i] != std::byte{0}) return false;
  }
  return true;
}

TEST(SharedMemory, CreatesAZeroFilledRegion) {
  const std::string name = unique_name("region");
  const SharedMemory region = SharedMemory::create_or_open(name, 5000);
  ASSERT_TRUE(region);
  const platform::MappedView view = region.map(Access::write, 5000);
  ASSERT_TRUE(view);
  EXPECT_EQ(view.size(), 5000u);
  EXPECT_EQ(view.access(), Access::write);
  EXPECT_TRUE(all_zero(view));
}

TEST(SharedMemory, CreatingAnExistingNameOpensItUnchanged) {
  const std::string name = unique_name("region");
  const SharedMemory first = SharedMemory::create_or_open(name, 5000);
  ASSERT_TRUE(first);
  const platform::MappedView first_view = first.map(Access::write, 0);
  ASSERT_TRUE(first_view);
  first_view.data()[4999] = std::byte{0x5a};

  const SharedMemory second = SharedMemory::create_or_open(name, 800);
  ASSERT_TRUE(second);
  const platform::MappedView whole = second.map(Access::write, 5000);
  ASSERT_TRUE(whole) << "the existing region keeps its size";
  EXPECT_EQ(whole.data()[4999], std::byte{0x5a});
}

TEST(SharedMemory, OpeningAMissingNameFails) {
  EXPECT_FALSE(SharedMemory::open_existing(unique_name("absent"), Access::read));
  EXPECT_FALSE(SharedMemory::open_existing(unique_name("absent"), Access::write));
}

TEST(SharedMemory, ViewsStayWithinTheRegion) {
  const SharedMemory region = SharedMemory::create_or_open(unique_name("region"), 800);
  ASSERT_TRUE(region);
  EXPECT_FALSE(region.map(Access::write, 801));
  EXPECT_FALSE(region.map(Access::read, 5000));
  const platform::MappedView part = region.map(Access::read, 100);
  ASSERT_TRUE(part);
  EXPECT_EQ(part.size(), 100u);
  const platform::MappedView whole = region.map(Access::read, 0);
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole.size(), 800u);
}

TEST(SharedMemory, WritesAreSeenThroughAnotherHandle) {
  const std::string name = unique_name("region");
  const SharedMemory writer = SharedMemory::create_or_open(name, 1588);
  ASSERT_TRUE(writer);
  const platform::MappedView written = writer.map(Access::write, 0);
  ASSERT_TRUE(written);

  const SharedMemory reader = SharedMemory::open_existing(name, Access::read);
  ASSERT_TRUE(reader);
  const platform::MappedView read = reader.map(Access::read, 0);
  ASSERT_TRUE(read);
  EXPECT_EQ(read.size(), 1588u);
  EXPECT_EQ(read.access(), Access::read);

  written.data()[0] = std::byte{1};
  written.data()[1587] = std::byte{2};
  EXPECT_EQ(read.data()[0], std::byte{1});
  EXPECT_EQ(read.data()[1587], std::byte{2});
}

TEST(SharedMemory, AHandleOpenedForReadingMapsOnlyForReading) {
  const std::string name = unique_name("region");
  const SharedMemory owner = SharedMemory::create_or_open(name, 756);
  ASSERT_TRUE(owner);
  const SharedMemory reader = SharedMemory::open_existing(name, Access::read);
  ASSERT_TRUE(reader);
  EXPECT_FALSE(reader.map(Access::write, 0));
  EXPECT_TRUE(reader.map(Access::read, 0));

  const SharedMemory writer = SharedMemory::open_existing(name, Access::write);
  ASSERT_TRUE(writer);
  EXPECT_TRUE(writer.map(Access::write, 756));
}

TEST(SharedMemory, ReleasingTheLastHandleRemovesTheName) {
  const std::string name = unique_name("region");
  SharedMemory region = SharedMemory::create_or_open(name, 64);
  ASSERT_TRUE(region);
  region.close();
  EXPECT_FALSE(region);
  EXPECT_FALSE(SharedMemory::open_existing(name, Access::read));
}

TEST(SharedMemory, MoveAssignmentReleasesTheOldRegion) {
  const std::string old_name = unique_name("old");
  const std::string new_name = unique_name("new");
  SharedMemory region = SharedMemory::create_or_open(old_name, 64);
  ASSERT_TRUE(region);
  region = SharedMemory::create_or_open(new_name, 64);
  EXPECT_TRUE(region);
  EXPECT_FALSE(SharedMemory::open_existing(old_name, Access::read));
  EXPECT_TRUE(SharedMemory::open_existing(new_name, Access::read));

  SharedMemory moved(std::move(region));
  EXPECT_FALSE(region);
  EXPECT_TRUE(moved);
}

TEST(MappedView, UnmapsOnceAndMovesItsView) {
  const SharedMemory region = SharedMemory::create_or_open(unique_name("region"), 64);
  ASSERT_TRUE(region);
  platform::MappedView view = region.map(Access::write, 0);
  ASSERT_TRUE(view);
  platform::MappedView other = std::move(view);
  EXPECT_FALSE(view);
  ASSERT_TRUE(other);
  other.data()[63] = std::byte{7};
  other.unmap();
  other.unmap();
  EXPECT_FALSE(other);
  EXPECT_EQ(other.size(), 0u);
}

TEST(NamedEvent, OpeningAMissingNameFails) {
  EXPECT_FALSE(NamedEvent::open_existing(unique_name("absent")));
}

TEST(NamedEvent, AWaitWithoutASignalTimesOut) {
  const NamedEvent event = NamedEvent::create(unique_name("event"));
  ASSERT_TRUE(event);
  EXPECT_FALSE(event.wait(0));
  EXPECT_FALSE(event.wait(10));
}

TEST(NamedEvent, ASignalWakesOneWaitAcrossHandles) {
  const std::string name = unique_name("event");
  const NamedEvent creator = NamedEvent::create(name);
  ASSERT_TRUE(creator);
  const NamedEvent waiter = NamedEvent::open_existing(name);
  ASSERT_TRUE(waiter);

  creator.signal();
  creator.signal();  // auto-reset: still one wake-up
  EXPECT_TRUE(waiter.wait(1000));
  EXPECT_FALSE(waiter.wait(0));

  creator.signal();
  EXPECT_TRUE(waiter.wait(0));
}

TEST(NamedEvent, CreatingAnExistingNameOpensIt) {
  const std::string name = unique_name("event");
  const NamedEvent first = NamedEvent::create(name);
  const NamedEvent second = NamedEvent::create(name);
  ASSERT_TRUE(first);
  ASSERT_TRUE(second);
  second.signal();
  EXPECT_TRUE(first.wait(0));
}

TEST(NamedEvent, ReleasingTheCreatorRemovesTheName) {
  const std::string name = unique_name("event");
  NamedEvent event = NamedEvent::create(name);
  ASSERT_TRUE(event);
  event = NamedEvent();
  EXPECT_FALSE(NamedEvent::open_existing(name));
}

TEST(CreateNewFile, NeverOverwritesAnEarlierFile) {
  namespace fs = std::filesystem;
  const fs::path directory =
      fs::temp_directory_path() / unique_name("files").substr(std::string("Local\\").size());
  fs::create_directories(directory);
  const std::string path = (directory / "dump.bin").string();

  EXPECT_EQ(platform::create_new_file(path), platform::CreateFileResult::created);
  EXPECT_TRUE(fs::exists(path));
  EXPECT_EQ(fs::file_size(path), 0u);
  { std::ofstream(path, std::ios::binary) << "recorded"; }
  EXPECT_EQ(platform::create_new_file(path), platform::CreateFileResult::exists);
  EXPECT_EQ(fs::file_size(path), 8u);
  EXPECT_EQ(platform::create_new_file((directory / "missing" / "dump.bin").string()),
            platform::CreateFileResult::failed);

  fs::remove_all(directory);
}

}  // namespace
