// Creation failures of the ACC pages, provoked through what stands at their
// names in /dev/shm.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/platform/platform.h"
#include "formats/acc_pages.h"
#include "simulators/acc/acc_emulator.h"
#include "unit/error_message.h"
#include "unit/scoped_name_prefix.h"

namespace vove {

// A directory where the static page belongs cannot be opened as a page, nor
// can a foreign physics page too short for the view be mapped: either way
// the pages made before are given back at once, and nothing stays held.
TEST(AccEmulatorPosix, PageThatCannotBeCreatedOrMappedReleasesTheOthers) {
  ScopedNamePrefix prefix;
  const std::string base = "/dev/shm/" + prefix.prefix();
  ASSERT_TRUE(std::filesystem::create_directory(base + "acpmf_static"));
  acc::Emulator emulator;
  EXPECT_EQ(message_of([&] { emulator.start(); }), "Failed to create file mapping");
  EXPECT_FALSE(std::filesystem::exists(base + "acpmf_graphics"));
  EXPECT_FALSE(std::filesystem::exists(base + "acpmf_physics"));
  emulator.write_frame(acc::to_payload(acc::default_page_set()));  // not started: ignored
  std::filesystem::remove(base + "acpmf_static");

  const auto foreign = platform::SharedMemory::create_or_open(acc::physics_page.mapping_name, 800);
  ASSERT_TRUE(foreign);
  EXPECT_EQ(message_of([&] { emulator.start(); }), "Failed to map view");
  EXPECT_FALSE(std::filesystem::exists(base + "acpmf_graphics"));
  EXPECT_FALSE(std::filesystem::exists(base + "acpmf_static"));
}

}  // namespace vove
