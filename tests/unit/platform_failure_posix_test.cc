// Why a POSIX platform call failed, and on which object: the words the
// recorder and the replay show the user after their own error line.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>

#include <unistd.h>

#include "common/platform/platform.h"
#include "unit/scoped_name_prefix.h"

namespace vove {

using platform::Access;
using platform::NamedEvent;
using platform::SharedMemory;

TEST(PlatformFailurePosix, EmptyHandlesSayWhyAndName) {
  ScopedNamePrefix prefix;
  const std::string region_object = "shared memory /dev/shm/" + prefix.prefix() + "absent";

  const SharedMemory absent = SharedMemory::open_existing("Local\\absent", Access::read);
  ASSERT_FALSE(absent);
  EXPECT_EQ(absent.failure().reason, std::strerror(ENOENT));
  EXPECT_EQ(absent.failure().object, region_object);
  EXPECT_EQ(absent.failure().code, std::error_code(ENOENT, std::generic_category()));
  EXPECT_TRUE(absent.failure().missing());

  const NamedEvent no_event = NamedEvent::open_existing("Local\\absent");
  ASSERT_FALSE(no_event);
  EXPECT_EQ(no_event.failure().reason, std::strerror(ENOENT));
  EXPECT_EQ(no_event.failure().object, "event /dev/shm/sem." + prefix.prefix() + "absent");

  const SharedMemory too_long = SharedMemory::create_or_open("Local\\" + std::string(300, 'n'), 64);
  ASSERT_FALSE(too_long);
  EXPECT_EQ(too_long.failure().reason, std::strerror(ENAMETOOLONG));
  EXPECT_EQ(too_long.failure().code, std::error_code(ENAMETOOLONG, std::generic_category()));
  EXPECT_FALSE(too_long.failure().missing());
  const NamedEvent bad_name = NamedEvent::create("Local\\a/b");
  ASSERT_FALSE(bad_name);
  EXPECT_EQ(bad_name.failure().reason, std::strerror(EINVAL));
}

TEST(PlatformFailurePosix, ViewsSayWhyTheyCouldNotBeMapped) {
  ScopedNamePrefix prefix;
  const SharedMemory region = SharedMemory::create_or_open("Local\\short", 100);
  ASSERT_TRUE(region);
  EXPECT_TRUE(region.failure().empty());
  const std::string object = "shared memory /dev/shm/" + prefix.prefix() + "short";

  platform::MappedView too_long = region.map(Access::write, 5000);
  ASSERT_FALSE(too_long);
  EXPECT_EQ(too_long.failure().reason, "the region holds 100 bytes, fewer than the 5000 asked for");
  EXPECT_EQ(too_long.failure().object, object);

  const SharedMemory reading = SharedMemory::open_existing("Local\\short", Access::read);
  const platform::MappedView for_writing = reading.map(Access::write, 0);
  ASSERT_FALSE(for_writing);
  EXPECT_EQ(for_writing.failure().reason, "the region was opened for reading only");

  const platform::MappedView whole = region.map(Access::read, 0);
  ASSERT_TRUE(whole);
  EXPECT_TRUE(whole.failure().empty());
  const platform::MappedView moved = std::move(too_long);
  EXPECT_EQ(moved.failure().object, object) << "the reason travels with the handle";
}

// Whether a source is merely not there (the recorder waits without a word)
// follows from the system's code alone, whichever way the code was made.
TEST(PlatformFailurePosix, MissingFollowsFromTheCode) {
  platform::Failure failure;
  EXPECT_FALSE(failure.missing()) << "no code, nothing missing";
  failure.code = std::error_code(ENOENT, std::generic_category());
  EXPECT_TRUE(failure.missing());
  failure.code = std::error_code(ENOENT, std::system_category());
  EXPECT_TRUE(failure.missing());
  failure.code = std::error_code(EACCES, std::generic_category());
  EXPECT_FALSE(failure.missing());

  const std::filesystem::path nowhere =
      std::filesystem::temp_directory_path() / ("vove_failure_" + std::to_string(::getpid())) / "no" / "file";
  platform::Failure file;
  ASSERT_EQ(platform::create_new_file(nowhere.string(), &file), platform::CreateFileResult::failed);
  EXPECT_EQ(file.code, std::error_code(ENOENT, std::generic_category()));
  EXPECT_TRUE(file.missing());
  EXPECT_EQ(file.reason, std::strerror(ENOENT));
  EXPECT_EQ(file.object, "file " + nowhere.string());
}

}  // namespace vove
