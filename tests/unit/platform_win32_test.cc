// What the Win32 backend does where Windows differs from the POSIX backend:
// object sizes are whole pages, the test prefix goes after the namespace,
// and an event opened for waiting is only waited on. Built on Windows only.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <string>

#include "common/platform/platform.h"

namespace {

using platform::Access;
using platform::NamedEvent;
using platform::SharedMemory;

constexpr std::size_t page_size = 4096;

std::string unique_tail(const std::string& what) {
  static const std::string run = [] {
    std::random_device device;
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    return std::to_string(device()) + "_" + std::to_string(now % 1'000'000'007);
  }();
  static int next = 0;
  return "vovetest_" + run + "_" + std::to_string(next++) + "_" + what;
}

// Sets VOVE_NAME_PREFIX for one test; putenv keeps the string itself.
class ScopedPrefix {
 public:
  explicit ScopedPrefix(const std::string& prefix) : assignment_("VOVE_NAME_PREFIX=" + prefix) {
    ::putenv(assignment_.data());
  }
  ScopedPrefix(const ScopedPrefix&) = delete;
  ScopedPrefix& operator=(const ScopedPrefix&) = delete;
  ~ScopedPrefix() {
    static char cleared[] = "VOVE_NAME_PREFIX=";  // an empty prefix is no prefix
    ::putenv(cleared);
  }

 private:
  std::string assignment_;
};

TEST(Win32SharedMemory, ObjectsAreWholePagesLong) {
  const SharedMemory region = SharedMemory::create_or_open("Local\\" + unique_tail("page"), 800);
  ASSERT_TRUE(region);
  const platform::MappedView whole = region.map(Access::write, 0);
  ASSERT_TRUE(whole);
  ASSERT_EQ(whole.size(), page_size);
  whole.data()[page_size - 1] = std::byte{7};  // mapped and writable up to the page's end
  EXPECT_TRUE(region.map(Access::read, page_size));
  EXPECT_FALSE(region.map(Access::read, page_size + 1));
}

TEST(Win32SharedMemory, ViewsOutliveTheHandle) {
  SharedMemory region = SharedMemory::create_or_open("Local\\" + unique_tail("kept"), 64);
  ASSERT_TRUE(region);
  const platform::MappedView view = region.map(Access::write, 64);
  ASSERT_TRUE(view);
  region.close();
  view.data()[63] = std::byte{1};
  EXPECT_EQ(view.data()[63], std::byte{1});
}

TEST(Win32Names, ThePrefixGoesAfterTheNamespace) {
  const std::string prefix = unique_tail("p");
  SharedMemory region;
  NamedEvent event;
  {
    ScopedPrefix scoped(prefix);
    region = SharedMemory::create_or_open("Local\\region", 64);
    event = NamedEvent::create("Local\\event");
    ASSERT_TRUE(region);
    ASSERT_TRUE(event);
  }
  EXPECT_TRUE(SharedMemory::open_existing("Local\\" + prefix + "region", Access::read));
  EXPECT_TRUE(NamedEvent::open_existing("Local\\" + prefix + "event"));
  EXPECT_FALSE(SharedMemory::open_existing("Local\\region", Access::read));
}

TEST(Win32Names, RejectsNamesThatNameNoObject) {
  const std::string with_nul = "Local\\" + unique_tail("a") + std::string(1, '\0') + "b";
  for (const std::string& name : {std::string(), std::string("Local\\"), with_nul}) {
    EXPECT_FALSE(SharedMemory::create_or_open(name, 64)) << name;
    EXPECT_FALSE(NamedEvent::create(name)) << name;
  }
}

TEST(Win32Events, AnEventOpenedForWaitingOnlyWaits) {
  const std::string name = "Local\\" + unique_tail("event");
  const NamedEvent creator = NamedEvent::create(name);
  const NamedEvent waiter = NamedEvent::open_existing(name);
  ASSERT_TRUE(creator);
  ASSERT_TRUE(waiter);
  waiter.signal();  // a consumer's handle has no right to signal
  EXPECT_FALSE(creator.wait(0));
  creator.signal();
  EXPECT_TRUE(waiter.wait(0));
}

}  // namespace
