// Creation failures of the ACC pages, provoked through what stands at their
// names in /dev/shm.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "emulator/acc_emulator.h"
#include "formats/acc_pages.h"
#include "unit/acc_test_support.h"

// A directory where the static page belongs cannot be opened as a page: the
// two pages made before it are given back, and nothing stays held.
TEST(AccEmulatorPosix, PageThatCannotBeCreatedReleasesTheOthers) {
  acc_test::ScopedNamePrefix prefix;
  const std::filesystem::path blocker = "/dev/shm/" + prefix.prefix() + "acpmf_static";
  ASSERT_TRUE(std::filesystem::create_directory(blocker));

  ACC::Emulator emulator;
  try {
    emulator.start();
    ADD_FAILURE() << "start succeeded";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "Failed to create file mapping");
  }
  EXPECT_FALSE(acc_test::page_exists(ACC::graphics_page));
  EXPECT_FALSE(acc_test::page_exists(ACC::physics_page));
  EXPECT_FALSE(std::filesystem::exists("/dev/shm/" + prefix.prefix() + "acpmf_graphics"));
  emulator.write_frame(ACC::to_payload(acc_test::live_page_set(41)));  // not started: ignored
  std::filesystem::remove(blocker);
}
