// Where the Win32 backend differs: objects are whole pages and views
// outlive the handle.
#include <gtest/gtest.h>

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
