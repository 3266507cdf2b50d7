#include "simulators/iracing/iracing_connector.h"

#include <gtest/gtest.h>

#include <optional>

#include "formats/iracing_snapshot.h"
#include "simulators/iracing/iracing_client.h"
#include "unit/iracing_test_support.h"
#include "unit/scoped_name_prefix.h"

namespace vove {

namespace {

class IracingConnector : public ::testing::Test {
 protected:
  // Publishes the layout; connecting needs the tick to move on while it waits.
  bool connect(const iracing::MemoryHeader& header) {
    simulator_.publish_layout(header);
    return iracing_test::while_ticking(
        [this] {
          simulator_.publish_tick(++tick_);
          simulator_.signal();
        },
        [this] { return connector_.connect(std::chrono::milliseconds{10000}); });
  }
  iracing::Snapshot next_frame() {
    simulator_.publish_tick(++tick_);
    return iracing::parse_snapshot(connector_.read_frame(std::chrono::milliseconds{0}));
  }

  ScopedNamePrefix prefix_;
  iracing_test::Telemetry simulator_;
  iracing::Connector connector_;
  std::int32_t tick_ = 0;
};

}  // namespace

// A repeat of a frame that carried the session text goes without it, so a
// replay does not take the text for changed; other frames repeat as they are.
TEST_F(IracingConnector, ARepeatOfAFrameWithTheTextLeavesTheTextOut) {
  ASSERT_TRUE(connect(iracing_test::sample_header()));
  simulator_.publish_tick(++tick_);
  const auto first = connector_.read_frame(std::chrono::milliseconds{0});
  iracing::Snapshot expected = iracing::parse_snapshot(first);
  ASSERT_EQ(expected.session_info, iracing_test::session_text);
  expected.session_info.clear();
  EXPECT_EQ(connector_.repeat_of(first), iracing::serialise_snapshot(expected));
  simulator_.publish_tick(++tick_);
  EXPECT_TRUE(connector_.repeat_of(connector_.read_frame(std::chrono::milliseconds{0})).empty());
}

// A frame is the newest row with the header it was chosen by. Every
// connection's first frame carries the text, whatever the counter says;
// later frames only when the counter changed.
TEST_F(IracingConnector, FramesAreSelfConsistentAndTextStartsEachConnection) {
  auto header = iracing_test::sample_header();
  header.session_info_update = 0;
  for (int connection = 0; connection < 2; ++connection) {
    ASSERT_TRUE(connect(header));
    const iracing::Snapshot frame = next_frame();
    EXPECT_EQ(frame.header, simulator_.header());
    EXPECT_EQ(frame.row, iracing_test::sample_row(tick_));
    ASSERT_EQ(frame.variable_headers.size(), 3u);
    EXPECT_EQ(frame.variable_headers[2], iracing_test::sample_entry(2));
    EXPECT_EQ(frame.session_info, iracing_test::session_text);
    EXPECT_EQ(next_frame().session_info, "");
    EXPECT_TRUE(connector_.read_frame(std::chrono::milliseconds{0}).empty());  // no newer row
    connector_.disconnect();
  }
}

// The smallest layouts there are, a one-byte row (a single flag) and no
// variables at all, are recorded like any other.
TEST_F(IracingConnector, RecordsTheSmallestLayouts) {
  auto header = iracing_test::sample_header();
  header.buffer_length = 1;
  ASSERT_TRUE(connect(header));
  const iracing::Snapshot frame = next_frame();
  EXPECT_EQ(frame.row, iracing_test::sample_row(tick_, 1));
  connector_.disconnect();

  header = iracing_test::sample_header();
  header.variable_count = 0;
  ASSERT_TRUE(connect(header));
  const iracing::Snapshot bare = next_frame();
  EXPECT_TRUE(bare.variable_headers.empty());
  EXPECT_EQ(bare.row, iracing_test::sample_row(tick_));
}

// A connect that fails lets go of the memory, so a simulator that ends and
// starts again, with new objects under the same names, is found.
TEST(IracingConnectorRestart, AFailedConnectLetsGoSoARestartedSimulatorIsFound) {
  const ScopedNamePrefix prefix;
  iracing::Connector connector;
  std::optional<iracing_test::Telemetry> simulator(std::in_place);
  simulator->publish_layout(iracing_test::sample_header());
  EXPECT_FALSE(connector.connect(std::chrono::milliseconds{0}));  // there, but no tick moves
  simulator.reset();
  simulator.emplace();
  simulator->publish_layout(iracing_test::sample_header());
  std::int32_t tick = 0;
  EXPECT_TRUE(iracing_test::while_ticking(
      [&] {
        simulator->publish_tick(++tick);
        simulator->signal();
      },
      [&] { return connector.connect(std::chrono::milliseconds{2000}); }));
}

}  // namespace vove
