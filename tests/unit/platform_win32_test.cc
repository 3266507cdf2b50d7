// What the Win32 backend does where Windows differs from the POSIX backend:
// object sizes are whole pages, views outlive the handle, the test prefix
// goes after the namespace, and an event opened for waiting only waits.
#include <gtest/gtest.h>

#include <string>

#include "common/platform/platform.h"
#include "scoped_name_prefix.h"

namespace {

using namespace platform;

TEST(Win32Platform, ObjectsAreWholePagesAndOutliveTheirHandle) {
  const ScopedNamePrefix prefix;
  SharedMemory region = SharedMemory::create_or_open("Local\\R", 800);
  const MappedView whole = region.map(Access::write, 0);
  ASSERT_TRUE(whole);
  ASSERT_EQ(whole.size(), 4096u);
  EXPECT_TRUE(region.map(Access::read, 4096));
  EXPECT_FALSE(region.map(Access::read, 4097));
  region.close();
  whole.data()[4095] = std::byte{7};  // mapped and writable up to the page's end, after the close
}

TEST(Win32Platform, ThePrefixGoesAfterTheNamespaceAndNamesMustNameAnObject) {
  std::string prefix;
  SharedMemory region;
  {
    const ScopedNamePrefix scoped;
    prefix = scoped.prefix();
    region = SharedMemory::create_or_open("Local\\R", 64);
    for (const std::string& name : {std::string(), std::string("Local\\"), std::string("Local\\a\0b", 9)}) {
      EXPECT_FALSE(SharedMemory::create_or_open(name, 64)) << name;
      EXPECT_FALSE(NamedEvent::create(name)) << name;
    }
  }
  EXPECT_TRUE(SharedMemory::open_existing("Local\\" + prefix + "R", Access::read));
  EXPECT_FALSE(SharedMemory::open_existing("Local\\R", Access::read));
}

TEST(Win32Platform, AnEventOpenedForWaitingOnlyWaits) {
  const ScopedNamePrefix prefix;
  const NamedEvent creator = NamedEvent::create("Local\\E");
  const NamedEvent waiter = NamedEvent::open_existing("Local\\E");
  ASSERT_TRUE(creator && waiter);
  waiter.signal();  // a consumer's handle has no right to signal
  EXPECT_FALSE(creator.wait(0));
  creator.signal();
  EXPECT_TRUE(waiter.wait(0));
}

}  // namespace
