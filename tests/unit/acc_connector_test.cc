#include "dumper/acc_connector.h"

#include <gtest/gtest.h>

#include <cstring>

#include "common/byte_coding.h"
#include "formats/acc_pages.h"
#include "unit/acc_test_support.h"

namespace {

class AccConnector : public ::testing::Test {
 protected:
  // Publishes `pages` the way the simulator does, in pages of `size` bytes.
  void publish(const ACC::PageSet& pages, std::uint32_t size) {
    graphics_ = acc_test::publish_page(ACC::graphics_page, size);
    physics_ = acc_test::publish_page(ACC::physics_page, size);
    static_ = acc_test::publish_page(ACC::static_page, size);
    ASSERT_TRUE(graphics_.is_mapped() && physics_.is_mapped() && static_.is_mapped());
    std::memcpy(graphics_.data(), pages.graphics.data(), pages.graphics.size());
    std::memcpy(physics_.data(), pages.physics.data(), pages.physics.size());
    std::memcpy(static_.data(), pages.static_image.data(), pages.static_image.size());
  }

  acc_test::ScopedNamePrefix prefix_;
  ACC::PageMapping graphics_, physics_, static_;
  ACC::Connector connector_;
};

}  // namespace

// Without a simulator, connect creates three blank pages, finds them not
// ready and gives them back, so the names vanish again.
TEST_F(AccConnector, NoSimulatorLeavesNoPagesBehind) {
  EXPECT_FALSE(connector_.connect(1000));
  EXPECT_FALSE(connector_.connect(0));
  EXPECT_FALSE(acc_test::page_exists(ACC::graphics_page));
  EXPECT_FALSE(acc_test::page_exists(ACC::physics_page));
  EXPECT_FALSE(acc_test::page_exists(ACC::static_page));
  EXPECT_TRUE(connector_.read_frame(0).empty());
}

TEST_F(AccConnector, ReadsTheLivePagesAsOnePayload) {
  const ACC::PageSet pages = acc_test::live_page_set(21);
  publish(pages, 5000);
  ASSERT_TRUE(connector_.connect(1000));
  const FramePayload first = connector_.read_frame(200);
  EXPECT_EQ(first, ACC::to_payload(pages));
  // No change marker: an unchanged page set is read again, not skipped.
  EXPECT_EQ(connector_.read_frame(16), first);

  // Later writes show up in the next frame.
  coding::encode_i32(physics_.data() + 10, 0x01020304);
  const FramePayload second = connector_.read_frame(16);
  EXPECT_EQ(coding::decode_i32(second.data() + 1700 + 10), 0x01020304);

  connector_.disconnect();
  EXPECT_TRUE(connector_.read_frame(0).empty());
}

TEST_F(AccConnector, NotReadyWhenTheStatusIsZero) {
  ACC::PageSet pages = acc_test::live_page_set(22);
  coding::encode_i32(pages.graphics.data() + ACC::sim_status_offset, 0);
  publish(pages, 5000);
  EXPECT_FALSE(connector_.connect(0));

  // Once the simulator reports a status, a later poll attaches.
  coding::encode_i32(graphics_.data() + ACC::sim_status_offset, 2);
  EXPECT_TRUE(connector_.connect(0));
}

// Pages exactly as large as their images are enough; the connector's own
// hold on them ends with disconnect, the simulator's does not.
TEST_F(AccConnector, AttachesToPagesOfTheImageSizes) {
  const ACC::PageSet pages = acc_test::live_page_set(23);
  graphics_ = acc_test::publish_page(ACC::graphics_page, 1588);
  physics_ = acc_test::publish_page(ACC::physics_page, 800);
  static_ = acc_test::publish_page(ACC::static_page, 756);
  ASSERT_TRUE(graphics_.is_mapped() && physics_.is_mapped() && static_.is_mapped());
  std::memcpy(graphics_.data(), pages.graphics.data(), pages.graphics.size());
  ASSERT_TRUE(connector_.connect(0));
  connector_.disconnect();
  EXPECT_TRUE(acc_test::page_exists(ACC::graphics_page));
}

// A page shorter than its image cannot be read whole: not attached.
TEST_F(AccConnector, PageShorterThanItsImageIsNotAttached) {
  publish(acc_test::live_page_set(24), 5000);
  static_.release();
  static_ = acc_test::publish_page(ACC::static_page, 100);
  ASSERT_TRUE(static_.is_mapped());
  EXPECT_FALSE(connector_.connect(0));
  EXPECT_TRUE(connector_.read_frame(0).empty());
}
