#include "simulators/iracing/iracing_client.h"

#include <gtest/gtest.h>

#include <climits>
#include <type_traits>
#include <utility>

#include "unit/iracing_test_support.h"
#include "unit/scoped_name_prefix.h"

namespace vove {

namespace {

// A simulator with its layout published, every slot at tick 0.
class IracingClient : public ::testing::Test {
 protected:
  IracingClient() { simulator_.publish_layout(iracing_test::sample_header()); }

  bool poll() { return client_.poll_new_data(row_.data(), row_.size()); }

  ScopedNamePrefix prefix_;
  iracing_test::Telemetry simulator_;
  iracing::Client client_;
  std::vector<std::uint8_t> row_ = std::vector<std::uint8_t>(64);
};

}  // namespace

// The first poll of a connection, and the first after the simulator
// restarted with lower ticks, only records where it stands.
TEST_F(IracingClient, FirstPollOnlyRecordsAndARestartStartsOver) {
  for (const std::int32_t tick : {10, 5}) {
    simulator_.publish_layout(iracing_test::sample_header());
    simulator_.publish_tick(tick);
    EXPECT_FALSE(poll()) << tick;
    simulator_.publish_tick(tick + 1);
    iracing::MemoryHeader seen;
    EXPECT_TRUE(client_.poll_new_data(row_.data(), row_.size(), &seen)) << tick;
    EXPECT_EQ(row_, iracing_test::sample_row(tick + 1));
    EXPECT_EQ(seen, simulator_.header());
    EXPECT_FALSE(poll());  // nothing newer
  }
}

// Rows published while the simulator's header says it is not connected are
// not data: none is delivered, and when the bit comes back the client starts
// afresh, as after an open (the first poll only records where it stands),
// even though the ticks went on rising meanwhile.
TEST_F(IracingClient, RowsWithoutTheConnectedBitAreNotDataAndItsReturnStartsOver) {
  simulator_.publish_tick(1);
  ASSERT_FALSE(poll());
  simulator_.publish_tick(2);
  ASSERT_TRUE(poll());

  simulator_.header().status = 0;
  for (const std::int32_t tick : {3, 4}) {
    simulator_.publish_tick(tick);
    EXPECT_FALSE(poll()) << "a row of tick " << tick << " published while not connected";
  }
  simulator_.header().status = iracing::status_connected;
  simulator_.publish_tick(5);
  EXPECT_FALSE(poll()) << "the first poll after the bit came back";
  simulator_.publish_tick(6);
  ASSERT_TRUE(poll());
  EXPECT_EQ(row_, iracing_test::sample_row(6));
}

// The event stays signalled while nobody waits; such a leftover must not cut
// the wait short before the simulator's next tick.
TEST_F(IracingClient, AWakeUpLeftFromAnEarlierTickDoesNotEndTheWait) {
  simulator_.publish_tick(1);
  ASSERT_FALSE(poll());
  simulator_.signal();
  int calls = 0;
  EXPECT_TRUE(iracing_test::while_ticking(
      [&] {
        if (++calls < 20) return;  // let the wait begin first
        simulator_.publish_tick(calls);
        simulator_.signal();
      },
      [&] { return client_.wait_for_new_data(std::chrono::milliseconds{10000}, row_.data(), row_.size()); }));
}

// A header that points anywhere never makes the client read outside its
// view (the sanitizer build turns any such read into a failure).
TEST_F(IracingClient, HostileHeaderNeverReadsOutsideTheView) {
  const auto size = static_cast<std::int32_t>(iracing_test::region_size);
  simulator_.publish_tick(1);
  ASSERT_FALSE(poll());
  std::vector<std::uint8_t> huge(1 << 20);
  auto header = simulator_.header();
  const std::pair<std::int32_t, std::int32_t> rows[] = {
      // offset, length
      {size - 63, 64}, {-1, 64}, {INT_MIN, 64}, {INT_MAX, 64}, {64, -1}, {64, INT_MIN}, {1, INT_MAX}, {size, 1}};
  for (const auto& [offset, length] : rows) {
    header.buffer_length = length;
    for (auto& slot : header.buffer_slots) slot = {slot.tick_count + 1, offset, {}};
    simulator_.write_header(header);
    EXPECT_FALSE(client_.poll_new_data(huge.data(), huge.size())) << offset << " " << length;
  }
  header.variable_count = INT_MAX;
  header.variable_header_offset = size - 200;  // entry 0 fits, entry 1 runs past
  header.session_info_offset = size - 3;
  simulator_.write_header(header);
  const std::uint8_t text[] = {'a', 'b', 'c'};  // no room for a terminator
  simulator_.write(size - 3, text);
  EXPECT_TRUE(client_.variable_header_at(0));
  EXPECT_FALSE(client_.variable_header_at(1));
  EXPECT_EQ(client_.session_info_text(), "abc");
  for (const std::int32_t offset : {-1, INT_MIN, size, INT_MAX}) {
    header.session_info_offset = header.variable_header_offset = offset;
    simulator_.write_header(header);
    EXPECT_FALSE(client_.session_info_text()) << offset;
    EXPECT_FALSE(client_.variable_header_at(0)) << offset;
  }
}

// The client is its attachment: moving it hands over the handles and the
// last tick delivered, and the one moved from is detached.
TEST_F(IracingClient, AMovedClientTakesItsAttachmentAlong) {
  static_assert(!std::is_copy_constructible_v<iracing::Client> &&
                std::is_nothrow_move_constructible_v<iracing::Client>);
  simulator_.publish_tick(1);
  ASSERT_FALSE(poll());
  simulator_.publish_tick(2);
  iracing::Client moved(std::move(client_));
  EXPECT_EQ(client_.view_size(), 0u);
  EXPECT_FALSE(client_.current_header());
  EXPECT_TRUE(moved.poll_new_data(row_.data(), row_.size()));  // tick 1 was recorded before the move
  EXPECT_EQ(row_, iracing_test::sample_row(2));
  client_ = std::move(moved);
  EXPECT_EQ(moved.view_size(), 0u);
  EXPECT_FALSE(poll());  // nothing newer than tick 2
}

}  // namespace vove
