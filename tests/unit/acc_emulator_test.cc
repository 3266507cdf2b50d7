#include "emulator/acc_emulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

#include "common/byte_coding.h"
#include "dumper/acc_connector.h"
#include "formats/acc_pages.h"
#include "unit/acc_test_support.h"

namespace {

class AccEmulator : public ::testing::Test {
 protected:
  acc_test::ScopedNamePrefix prefix_;
  ACC::Emulator emulator_;
};

bool zero_from(const acc_test::OpenedPage& page, std::size_t begin) {
  const std::vector<std::uint8_t> bytes = acc_test::bytes_of(page.view.data(), page.view.size());
  return std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(begin), bytes.end(),
                     [](std::uint8_t b) { return b == 0; });
}

std::string start_error(ACC::Emulator& emulator) {
  try {
    emulator.start();
  } catch (const std::runtime_error& error) {
    return error.what();
  }
  return "";
}

}  // namespace

// Recorder and replay must agree on the id, the dump file's only link.
TEST_F(AccEmulator, SharesTheSourceIdWithTheConnector) {
  const SourceId id = ACC::Emulator::source_id();
  EXPECT_EQ(std::memcmp(id.data(), "accz", 4), 0);
  EXPECT_EQ(ACC::Connector().source_id(), id);
}

// What the recorder's connector records, the emulator publishes so that the
// connector reads back the same payload.
TEST_F(AccEmulator, ConnectorReadsBackTheWrittenPayload) {
  emulator_.start();
  const FramePayload payload = ACC::to_payload(acc_test::live_page_set(31));
  emulator_.write_frame(payload);

  ACC::Connector connector;
  ASSERT_TRUE(connector.connect(0));
  EXPECT_EQ(connector.read_frame(0), payload);
}

TEST_F(AccEmulator, WritesOnlyTheImagesIntoPagesOf5000Bytes) {
  emulator_.start();
  emulator_.write_frame(std::vector<std::uint8_t>(3700, 0xff));  // the gaps are not page data

  const auto graphics = acc_test::open_page(ACC::graphics_page, 5000);
  const auto physics = acc_test::open_page(ACC::physics_page, 5000);
  const auto statics = acc_test::open_page(ACC::static_page, 5000);
  ASSERT_TRUE(graphics.view && physics.view && statics.view);
  EXPECT_EQ(graphics.view.data()[1587], std::byte{0xff});
  EXPECT_EQ(physics.view.data()[799], std::byte{0xff});
  EXPECT_EQ(statics.view.data()[755], std::byte{0xff});
  EXPECT_TRUE(zero_from(graphics, 1588));
  EXPECT_TRUE(zero_from(physics, 800));
  EXPECT_TRUE(zero_from(statics, 756));
}

TEST_F(AccEmulator, ShortPayloadWritesTheDefaultPageSet) {
  emulator_.start();
  emulator_.write_frame(ACC::to_payload(acc_test::live_page_set(32)));
  emulator_.write_frame(std::vector<std::uint8_t>(3699, 0x55));

  const ACC::PageSet expected = ACC::default_page_set();
  const auto graphics = acc_test::open_page(ACC::graphics_page, 1588);
  const auto statics = acc_test::open_page(ACC::static_page, 756);
  ASSERT_TRUE(graphics.view && statics.view);
  EXPECT_EQ(coding::decode_i32(graphics.view.data() + ACC::sim_status_offset), 0);
  EXPECT_TRUE(std::equal(expected.graphics.begin(), expected.graphics.end(),
                         acc_test::bytes_of(graphics.view.data(), 1588).begin()));
  EXPECT_TRUE(std::equal(expected.static_image.begin(), expected.static_image.end(),
                         acc_test::bytes_of(statics.view.data(), 756).begin()));
}

// A consumer that still holds the graphics page sees the simulator go off;
// a second stop finds nothing held and touches nothing.
TEST_F(AccEmulator, StopMarksTheSimulatorOffOnceAndReleases) {
  emulator_.start();
  const ACC::PageSet pages = acc_test::live_page_set(33);
  emulator_.write_frame(ACC::to_payload(pages));
  const auto reader = acc_test::open_page(ACC::graphics_page, 1588, platform::Access::write);
  ASSERT_TRUE(reader.view);

  emulator_.stop();
  EXPECT_EQ(coding::decode_i32(reader.view.data() + ACC::sim_status_offset), 0);
  const auto rest = acc_test::bytes_of(reader.view.data() + 8, 1588 - 8);
  EXPECT_TRUE(std::equal(rest.begin(), rest.end(), pages.graphics.begin() + 8));
  EXPECT_FALSE(acc_test::page_exists(ACC::physics_page));
  EXPECT_FALSE(acc_test::page_exists(ACC::static_page));

  coding::encode_i32(reader.view.data() + ACC::sim_status_offset, 7);
  emulator_.stop();
  EXPECT_EQ(coding::decode_i32(reader.view.data() + ACC::sim_status_offset), 7);
  emulator_.write_frame(ACC::to_payload(pages));  // not started: ignored
  EXPECT_EQ(coding::decode_i32(reader.view.data() + ACC::sim_status_offset), 7);
}

TEST_F(AccEmulator, DestroyingReleasesThePages) {
  {
    ACC::Emulator emulator;
    emulator.start();
    EXPECT_TRUE(acc_test::page_exists(ACC::graphics_page));
  }
  EXPECT_FALSE(acc_test::page_exists(ACC::graphics_page));
  EXPECT_FALSE(acc_test::page_exists(ACC::physics_page));
  EXPECT_FALSE(acc_test::page_exists(ACC::static_page));
}

// Someone else's graphics page of 1588 bytes cannot carry a 5000-byte view.
TEST_F(AccEmulator, ExistingShortPageFailsToMapAndHoldsNothing) {
  ACC::PageMapping foreign = acc_test::publish_page(ACC::graphics_page, 1588);
  ASSERT_TRUE(foreign.is_mapped());
  coding::encode_i32(foreign.data() + ACC::sim_status_offset, 5);

  EXPECT_EQ(start_error(emulator_), "Failed to map view");
  EXPECT_FALSE(acc_test::page_exists(ACC::physics_page));
  EXPECT_FALSE(acc_test::page_exists(ACC::static_page));
  emulator_.stop();  // nothing held: the foreign page keeps its status
  EXPECT_EQ(coding::decode_i32(foreign.data() + ACC::sim_status_offset), 5);
}
