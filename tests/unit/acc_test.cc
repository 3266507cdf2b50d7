// The ACC page formats, the readiness test, and the connector and the
// emulator on real named pages.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <stdexcept>
#include <string_view>

#include "common/byte_coding.h"
#include "dumper/acc_connector.h"
#include "emulator/acc_emulator.h"
#include "formats/acc_pages.h"
#include "formats/acc_readiness.h"
#include "unit/scoped_name_prefix.h"

namespace {

std::vector<std::uint8_t> random_bytes(std::uint32_t seed, std::size_t count) {
  std::mt19937 random(seed);
  std::vector<std::uint8_t> bytes(count);
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
  return bytes;
}

// Random images that pass the readiness test.
std::vector<std::uint8_t> live_payload(std::uint32_t seed) {
  auto payload = random_bytes(seed, ACC::payload_size);
  coding::encode_i32(payload.data() + ACC::sim_status_offset, 2);
  payload[200] = 1;  // the two readiness strings differ
  payload[266] = 2;
  return ACC::to_payload(ACC::from_payload(payload));
}

bool page_exists(const ACC::PageDescription& page) {
  return platform::SharedMemory::open_existing(page.mapping_name, platform::Access::read).is_open();
}

}  // namespace

// Whatever a dump file holds, only the three images are kept: re-encoding
// gives the first 3700 bytes with the gaps zeroed, or the default set.
TEST(AccPayload, KeepsTheImagesOrGivesTheDefaultSet) {
  std::vector<std::uint8_t> fallback(3700, 0);
  coding::encode_f32(fallback.data() + 2700 + 456, -273.0f);
  coding::encode_f32(fallback.data() + 2700 + 460, -273.0f);
  for (const std::uint32_t size : {0u, 1u, 3699u, 3700u, 3701u, 9000u}) {
    const auto payload = random_bytes(size, size);
    auto expected = fallback;
    if (size >= 3700) {
      expected.assign(payload.begin(), payload.begin() + 3700);
      std::fill(expected.begin() + 1588, expected.begin() + 1700, 0);
      std::fill(expected.begin() + 2500, expected.begin() + 2700, 0);
      std::fill(expected.begin() + 3456, expected.end(), 0);
    }
    EXPECT_EQ(ACC::to_payload(ACC::from_payload(payload)), expected) << size;
  }
}

TEST(AccReadiness, NeedsAStatusAndDifferentStrings) {
  struct Case {
    std::int32_t status;
    std::u16string_view first, second;
    bool ready;
  };
  for (const Case& c : {Case{2, u"", u"", false},  // nobody wrote the page
                       Case{0, u"1:02", u"", false}, Case{2, u"1:02", u"1:02", false}, Case{2, u"1:02", u"", true},
                       Case{-1, u"1:02", u"1:03", true}, Case{2, u"1:02", u"1:02x", true},
                       Case{1, u"\u0141", u"\u0041", true}}) {  // units, not bytes, are compared
    std::vector<std::uint8_t> graphics(ACC::graphics_page.image_size, 0);
    coding::encode_i32(graphics.data() + ACC::sim_status_offset, c.status);
    const auto put = [&](std::size_t offset, std::u16string_view text) {
      for (const char16_t unit : text) {
        graphics[offset++] = static_cast<std::uint8_t>(unit & 0xff);
        graphics[offset++] = static_cast<std::uint8_t>(unit >> 8);
      }
    };
    put(ACC::readiness_first_offset, c.first);
    put(ACC::readiness_second_offset, c.second);
    EXPECT_EQ(ACC::is_simulator_ready(graphics), c.ready) << c.status << " " << c.first.size();
  }
}

// Strings without terminators are compared up to byte 756 and no further
// (the sanitizer build catches a read past the end of the shorter buffers).
TEST(AccReadiness, NeverReadsPastByte756) {
  std::vector<std::uint8_t> graphics(ACC::graphics_page.image_size, 0x41);
  graphics[756] = 0x42;
  EXPECT_FALSE(ACC::is_simulator_ready(graphics));
  std::vector<std::uint8_t> limited(graphics.begin(), graphics.begin() + 756);
  EXPECT_FALSE(ACC::is_simulator_ready(limited));
  limited[754] = 0x42;  // the last unit wholly below 756 still counts
  EXPECT_TRUE(ACC::is_simulator_ready(limited));
  EXPECT_FALSE(ACC::is_simulator_ready({}));
  EXPECT_FALSE(ACC::is_simulator_ready(std::vector<std::uint8_t>(7, 0xff)));
}

TEST(AccConnector, NoSimulatorReturnsFalseAndLeavesNoName) {
  ScopedNamePrefix prefix;
  ACC::Connector connector;  // still alive: the failed attempt holds nothing
  EXPECT_FALSE(connector.connect(0));
  EXPECT_TRUE(connector.read_frame(0).empty());
  for (const auto& page : {ACC::graphics_page, ACC::physics_page, ACC::static_page})
    EXPECT_FALSE(page_exists(page)) << page.mapping_name;
}

TEST(AccEmulator, ConnectorReadsBackWhatItWrites) {
  ScopedNamePrefix prefix;
  ACC::Emulator emulator;
  emulator.start();
  emulator.write_frame(live_payload(1));
  ACC::Connector connector;
  ASSERT_TRUE(connector.connect(0));
  EXPECT_EQ(connector.read_frame(0), live_payload(1));
  emulator.write_frame(live_payload(2));
  EXPECT_EQ(connector.read_frame(0), live_payload(2));
}

// A reader still holding the graphics page sees the simulator go off; a
// second stop, or a write after it, touches nothing.
TEST(AccEmulator, StopMarksTheSimulatorOffOnce) {
  ScopedNamePrefix prefix;
  ACC::Emulator emulator;
  emulator.start();
  const auto payload = live_payload(3);
  emulator.write_frame(payload);
  const auto page = platform::SharedMemory::open_existing(ACC::graphics_page.mapping_name, platform::Access::write);
  const auto view = page.map(platform::Access::write, ACC::graphics_page.image_size);
  ASSERT_TRUE(view);
  emulator.stop();
  EXPECT_EQ(coding::decode_i32(view.data() + ACC::sim_status_offset), 0);
  EXPECT_FALSE(page_exists(ACC::physics_page));
  EXPECT_FALSE(page_exists(ACC::static_page));

  coding::encode_i32(view.data() + ACC::sim_status_offset, 7);
  emulator.stop();
  emulator.write_frame(payload);
  EXPECT_EQ(coding::decode_i32(view.data() + ACC::sim_status_offset), 7);
}

// Someone else's graphics page of 1588 bytes cannot carry a 5000-byte view.
TEST(AccEmulator, ExistingShortPageFailsToMapAndHoldsNothing) {
  ScopedNamePrefix prefix;
  ACC::PageMapping foreign;
  ASSERT_EQ(ACC::map_page(foreign, ACC::graphics_page.mapping_name, 1588, platform::Access::write, 1588),
            ACC::MapResult::held);
  coding::encode_i32(foreign.data() + ACC::sim_status_offset, 5);
  ACC::Emulator emulator;
  try {
    emulator.start();
    ADD_FAILURE() << "start succeeded";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "Failed to map view");
  }
  EXPECT_FALSE(page_exists(ACC::physics_page));
  EXPECT_FALSE(page_exists(ACC::static_page));
  emulator.stop();  // nothing held: the foreign page keeps its status
  EXPECT_EQ(coding::decode_i32(foreign.data() + ACC::sim_status_offset), 5);
}
