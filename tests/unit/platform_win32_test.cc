// Where the Win32 backend differs: objects are whole pages, views
// outlive the handle, and a fine timer must be asked for.
#include <gtest/gtest.h>

#include <utility>

#include "common/platform/fine_timer_resolution.h"
#include "common/platform/platform.h"
#include "scoped_name_prefix.h"

TEST(Win32Platform, ObjectsAreWholePagesAndOutliveTheirHandle) {
  const ScopedNamePrefix prefix;
  platform::SharedMemory region = platform::SharedMemory::create_or_open("Local\\R", 800);
  const platform::MappedView whole = region.map(platform::Access::write, 0);
  ASSERT_TRUE(whole);
  ASSERT_EQ(whole.size(), 4096u);
  EXPECT_FALSE(region.map(platform::Access::read, 4097));
  region.close();
  whole.data()[4095] = std::byte{7};  // still mapped and writable after the close
}

TEST(Win32Platform, TheFineTimerIsHeldOnceUntilReleased) {
  platform::FineTimerResolution first;
  ASSERT_TRUE(first.is_held()) << "timeBeginPeriod(1) refused";
  platform::FineTimerResolution second = std::move(first);
  EXPECT_FALSE(first.is_held()) << "a moved-from guard would end the period a second time";
  EXPECT_TRUE(second.is_held());
  second = platform::FineTimerResolution();
  EXPECT_TRUE(second.is_held());
  second.release();
  EXPECT_FALSE(second.is_held());
  second.release();  // releasing twice ends the period once
}
