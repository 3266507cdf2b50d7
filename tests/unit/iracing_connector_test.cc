#include "dumper/iracing_connector.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <stdexcept>

#include "dumper/iracing_client.h"
#include "formats/iracing_snapshot.h"
#include "unit/iracing_test_support.h"

namespace {

using iracing_test::FakeSimulator;

class IracingConnector : public ::testing::Test {
 protected:
  IracingConnector() {
    iRacing::close_shared_memory();
    simulator_.publish_layout(iracing_test::sample_header());
  }
  ~IracingConnector() override { iRacing::close_shared_memory(); }

  // Connecting needs the tick to move on while it waits.
  bool connect() {
    return iracing_test::while_ticking(
        [this] {
          simulator_.publish_tick(++tick_);
          simulator_.signal();
        },
        [this] { return connector_.connect(10000); });
  }

  iRacing::Snapshot next_frame() {
    simulator_.publish_tick(++tick_);
    const FramePayload payload = connector_.read_frame(0);
    EXPECT_FALSE(payload.empty());
    return iRacing::parse_snapshot(payload);
  }

  iracing_test::ScopedNamePrefix prefix_;
  FakeSimulator simulator_;
  iRacing::Connector connector_;
  std::int32_t tick_ = 0;
};

}  // namespace

TEST_F(IracingConnector, NamesItsSource) {
  const SourceId id = connector_.source_id();
  EXPECT_EQ(std::memcmp(id.data(), "irac", 4), 0);
}

TEST(IracingConnectorAbsent, ConnectFailsWithoutASimulator) {
  iracing_test::ScopedNamePrefix prefix;
  iRacing::Connector connector;
  EXPECT_FALSE(connector.connect(0));
  EXPECT_TRUE(connector.read_frame(0).empty());
}

TEST_F(IracingConnector, FrameIsTheNewestRowWithTheHeaderItWasChosenBy) {
  ASSERT_TRUE(connect());
  const iRacing::Snapshot frame = next_frame();
  EXPECT_EQ(frame.header, simulator_.header());
  const auto& newest =
      frame.header.buffer_slots[static_cast<std::size_t>(iRacing::newest_slot(frame.header))];
  EXPECT_EQ(newest.tick_count, tick_);
  EXPECT_EQ(frame.row, iracing_test::sample_row(tick_));
  ASSERT_EQ(frame.variable_headers.size(), 3u);
  EXPECT_EQ(frame.variable_headers[2], iracing_test::sample_entry(2));
  EXPECT_TRUE(connector_.read_frame(0).empty());  // no newer row
}

TEST_F(IracingConnector, SessionTextTravelsFirstAndWhenItChanges) {
  ASSERT_TRUE(connect());
  EXPECT_EQ(next_frame().session_info, iracing_test::session_text);
  EXPECT_EQ(next_frame().session_info, "");

  simulator_.write_text(static_cast<std::size_t>(simulator_.header().session_info_offset), "new");
  simulator_.header().session_info_update = 2;
  EXPECT_EQ(next_frame().session_info, "new");
  EXPECT_EQ(next_frame().session_info, "");
}

// Every dump file starts with a frame that carries the session text.
TEST_F(IracingConnector, SessionTextTravelsAgainAfterAReconnect) {
  ASSERT_TRUE(connect());
  EXPECT_EQ(next_frame().session_info, iracing_test::session_text);
  connector_.disconnect();
  ASSERT_TRUE(connect());
  EXPECT_EQ(next_frame().session_info, iracing_test::session_text);
}

TEST_F(IracingConnector, SessionTextTravelsEvenWhileTheCounterIsZero) {
  simulator_.header().session_info_update = 0;
  ASSERT_TRUE(connect());
  EXPECT_EQ(next_frame().session_info, iracing_test::session_text);
}

TEST_F(IracingConnector, FollowsAChangedRowLength) {
  ASSERT_TRUE(connect());
  simulator_.header().buffer_length = 200;
  const iRacing::Snapshot frame = next_frame();
  EXPECT_EQ(frame.row, iracing_test::sample_row(tick_, 200));
  EXPECT_EQ(frame.header.buffer_length, 200);
}

TEST_F(IracingConnector, RowsOfZeroBytesGiveEmptyFrames) {
  simulator_.header().buffer_length = 0;
  ASSERT_TRUE(connect());
  for (int i = 0; i < 3; ++i) {
    simulator_.publish_tick(++tick_);
    EXPECT_TRUE(connector_.read_frame(0).empty());
  }
}

TEST_F(IracingConnector, NegativeVariableCountIsALengthError) {
  ASSERT_TRUE(connect());
  simulator_.header().variable_count = -1;
  simulator_.publish_tick(++tick_);
  EXPECT_THROW(connector_.read_frame(0), std::length_error);
}

TEST_F(IracingConnector, EntriesOutsideTheViewGiveAnEmptyFrame) {
  ASSERT_TRUE(connect());
  simulator_.header().variable_count = INT_MAX;
  simulator_.publish_tick(++tick_);
  EXPECT_TRUE(connector_.read_frame(0).empty());
  // A sane header again records normally.
  simulator_.header().variable_count = 3;
  EXPECT_EQ(next_frame().variable_headers.size(), 3u);
}
