#include "formats/acc_readiness.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "common/byte_coding.h"
#include "formats/acc_pages.h"

namespace {

std::vector<std::uint8_t> graphics_with(std::int32_t sim_status, std::u16string_view first,
                                        std::u16string_view second) {
  std::vector<std::uint8_t> graphics(ACC::graphics_page.image_size, 0);
  coding::encode_i32(graphics.data() + ACC::sim_status_offset, sim_status);
  for (std::size_t i = 0; i < first.size(); ++i) {
    graphics[ACC::readiness_first_offset + 2 * i] = static_cast<std::uint8_t>(first[i] & 0xff);
    graphics[ACC::readiness_first_offset + 2 * i + 1] = static_cast<std::uint8_t>(first[i] >> 8);
  }
  for (std::size_t i = 0; i < second.size(); ++i) {
    graphics[ACC::readiness_second_offset + 2 * i] = static_cast<std::uint8_t>(second[i] & 0xff);
    graphics[ACC::readiness_second_offset + 2 * i + 1] = static_cast<std::uint8_t>(second[i] >> 8);
  }
  return graphics;
}

}  // namespace

TEST(AccReadiness, NeedsARunningStatusAndDifferentStrings) {
  EXPECT_FALSE(ACC::is_simulator_ready(graphics_with(0, u"", u"")));      // nobody wrote the page
  EXPECT_FALSE(ACC::is_simulator_ready(graphics_with(2, u"", u"")));      // both empty: equal
  EXPECT_FALSE(ACC::is_simulator_ready(graphics_with(0, u"1:02", u"")));  // simulator off
  EXPECT_FALSE(ACC::is_simulator_ready(graphics_with(2, u"1:02", u"1:02")));
  EXPECT_TRUE(ACC::is_simulator_ready(graphics_with(2, u"1:02", u"")));
  EXPECT_TRUE(ACC::is_simulator_ready(graphics_with(-1, u"1:02", u"1:03")));
  EXPECT_TRUE(ACC::is_simulator_ready(graphics_with(2, u"1:02", u"1:02x")));  // one ends earlier
}

// Units differ in their high byte only: compared as 16-bit units, not bytes.
TEST(AccReadiness, ComparesWholeUnits) {
  EXPECT_TRUE(ACC::is_simulator_ready(graphics_with(1, u"\u0141", u"\u0041")));
  EXPECT_FALSE(ACC::is_simulator_ready(graphics_with(1, u"\u0141", u"\u0141")));
}

// Strings without terminators: the test stops at byte 756 and calls them
// equal when no difference came before; anything later is never read (the
// buffer ends there, which the sanitizer build would catch).
TEST(AccReadiness, NeverReadsPastByte756) {
  std::vector<std::uint8_t> graphics(ACC::readiness_read_limit, 0x41);
  coding::encode_i32(graphics.data() + ACC::sim_status_offset, 1);
  EXPECT_FALSE(ACC::is_simulator_ready(graphics));

  // A difference in the last unit that lies wholly below 756 still counts.
  graphics[754] = 0x42;
  EXPECT_TRUE(ACC::is_simulator_ready(graphics));

  // In a full image, bytes from 756 on make no difference.
  std::vector<std::uint8_t> full(ACC::graphics_page.image_size, 0x41);
  coding::encode_i32(full.data() + ACC::sim_status_offset, 1);
  full[756] = 0x42;
  full[757] = 0x43;
  EXPECT_FALSE(ACC::is_simulator_ready(full));
}

TEST(AccReadiness, ShortOrRandomImagesAreSafe) {
  EXPECT_FALSE(ACC::is_simulator_ready({}));
  EXPECT_FALSE(ACC::is_simulator_ready(std::vector<std::uint8_t>(7, 0xff)));
  std::mt19937 random(11);
  for (int round = 0; round < 300; ++round) {
    std::vector<std::uint8_t> graphics(random() % (ACC::graphics_page.image_size + 1));
    for (auto& byte : graphics) byte = static_cast<std::uint8_t>(random() % 3);  // many zero units
    (void)ACC::is_simulator_ready(graphics);
  }
}
