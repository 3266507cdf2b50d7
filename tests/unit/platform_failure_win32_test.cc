// Why a Win32 platform call failed, and on which object: the system's own
// message text and the name as handed to Windows.
#include <gtest/gtest.h>

#include <string>
#include <system_error>

#include "common/platform/platform.h"
#include "scoped_name_prefix.h"

namespace vove {

TEST(PlatformFailureWin32, EmptyHandlesSayWhyAndName) {
  const ScopedNamePrefix prefix;
  const auto absent = platform::SharedMemory::open_existing("Local\\absent", platform::Access::read);
  ASSERT_FALSE(absent);
  EXPECT_FALSE(absent.failure().reason.empty());
  EXPECT_EQ(absent.failure().reason.back() == '\n', false) << "no line end of the system's";
  EXPECT_EQ(absent.failure().object, "shared memory Local\\" + prefix.prefix() + "absent");
  EXPECT_EQ(absent.failure().code.category(), std::system_category()) << "GetLastError()'s code";
  EXPECT_TRUE(absent.failure().missing());

  const auto no_event = platform::NamedEvent::open_existing("Local\\absent");
  ASSERT_FALSE(no_event);
  EXPECT_EQ(no_event.failure().object, "event Local\\" + prefix.prefix() + "absent");

  platform::SharedMemory region = platform::SharedMemory::create_or_open("Local\\R", 800);
  ASSERT_TRUE(region);
  EXPECT_TRUE(region.failure().empty());
  const platform::MappedView too_long = region.map(platform::Access::read, 8193);
  ASSERT_FALSE(too_long);
  EXPECT_FALSE(too_long.failure().reason.empty());
  EXPECT_EQ(too_long.failure().object, "shared memory Local\\" + prefix.prefix() + "R");
  EXPECT_TRUE(too_long.failure().code) << "the code travels with the words";
  EXPECT_FALSE(too_long.failure().missing());
}

}  // namespace vove
