#include "dumper/iracing_connector.h"

#include <gtest/gtest.h>

#include <climits>
#include <stdexcept>

#include "dumper/iracing_client.h"
#include "formats/iracing_snapshot.h"
#include "unit/iracing_test_support.h"
#include "unit/scoped_name_prefix.h"

namespace {

class IracingConnector : public ::testing::Test {
 protected:
  ~IracingConnector() override { iRacing::close_shared_memory(); }

  // Publishes the layout; connecting needs the tick to move on while it waits.
  bool connect(const iRacing::MemoryHeader& header = iracing_test::sample_header()) {
    simulator_.publish_layout(header);
    return iracing_test::while_ticking(
        [this] {
          simulator_.publish_tick(++tick_);
          simulator_.signal();
        },
        [this] { return connector_.connect(10000); });
  }
  FramePayload next_payload() {
    simulator_.publish_tick(++tick_);
    return connector_.read_frame(0);
  }
  iRacing::Snapshot next_frame() { return iRacing::parse_snapshot(next_payload()); }

  ScopedNamePrefix prefix_;
  iracing_test::Telemetry simulator_;
  iRacing::Connector connector_;
  std::int32_t tick_ = 0;
};

}  // namespace

TEST_F(IracingConnector, FrameIsTheNewestRowWithTheHeaderItWasChosenBy) {
  ASSERT_TRUE(connect());
  const iRacing::Snapshot frame = next_frame();
  EXPECT_EQ(frame.header, simulator_.header());
  EXPECT_EQ(iracing_test::newest_tick(frame.header), tick_);
  EXPECT_EQ(frame.row, iracing_test::sample_row(tick_));
  ASSERT_EQ(frame.variable_headers.size(), 3u);
  EXPECT_EQ(frame.variable_headers[2], iracing_test::sample_entry(2));
  EXPECT_TRUE(connector_.read_frame(0).empty());  // no newer row
}

// Every connection's first frame carries the text, whatever the counter
// says; later frames only when the counter changed.
TEST_F(IracingConnector, SessionTextTravelsFirstAndWhenItChanges) {
  auto header = iracing_test::sample_header();
  header.session_info_update = 0;
  ASSERT_TRUE(connect(header));
  EXPECT_EQ(next_frame().session_info, iracing_test::session_text);
  EXPECT_EQ(next_frame().session_info, "");

  simulator_.write_text(header.session_info_offset, "new");
  simulator_.header().session_info_update = 2;
  EXPECT_EQ(next_frame().session_info, "new");
  EXPECT_EQ(next_frame().session_info, "");

  connector_.disconnect();
  header.session_info_update = 2;
  ASSERT_TRUE(connect(header));
  EXPECT_EQ(next_frame().session_info, iracing_test::session_text);
}

TEST_F(IracingConnector, EmptyRowsAndHostileCountsGiveNoFrame) {
  auto header = iracing_test::sample_header();
  header.buffer_length = 0;
  ASSERT_TRUE(connect(header));
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(next_payload().empty());

  simulator_.header().buffer_length = 64;
  simulator_.header().variable_count = INT_MAX;  // entries past the view
  EXPECT_TRUE(next_payload().empty());
  simulator_.header().variable_count = 3;
  EXPECT_EQ(next_frame().variable_headers.size(), 3u);
  simulator_.header().variable_count = -1;
  EXPECT_THROW(next_payload(), std::length_error);
}
