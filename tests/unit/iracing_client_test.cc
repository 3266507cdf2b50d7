#include "dumper/iracing_client.h"

#include <gtest/gtest.h>

#include <climits>
#include <utility>

#include "unit/iracing_test_support.h"
#include "unit/scoped_name_prefix.h"

namespace {

// A simulator with its layout published, every slot at tick 0.
class IracingClient : public ::testing::Test {
 protected:
  IracingClient() { simulator_.publish_layout(iracing_test::sample_header()); }
  ~IracingClient() override { iRacing::close_shared_memory(); }

  bool poll() { return iRacing::poll_new_data(row_.data(), row_.size()); }

  ScopedNamePrefix prefix_;
  iracing_test::Telemetry simulator_;
  std::vector<std::uint8_t> row_ = std::vector<std::uint8_t>(64);
};

}  // namespace

// A region too small for the header (where views are not rounded up to
// whole pages) is not taken for telemetry.
TEST(IracingClientDetached, NeverAttachesToARegionSmallerThanTheHeader) {
  ScopedNamePrefix prefix;
  iracing_test::Telemetry tiny(64);
  EXPECT_TRUE(!iRacing::open_shared_memory() || iRacing::view_size() >= iRacing::memory_header_size);
  iRacing::close_shared_memory();
}

TEST_F(IracingClient, FirstPollOnlyRecordsThenANewerTickDeliversWithItsHeader) {
  simulator_.publish_tick(10);
  EXPECT_FALSE(poll());
  simulator_.publish_tick(11);
  iRacing::MemoryHeader seen;
  EXPECT_TRUE(iRacing::poll_new_data(row_.data(), row_.size(), &seen));
  EXPECT_EQ(row_, iracing_test::sample_row(11));
  EXPECT_EQ(seen, simulator_.header());
  EXPECT_EQ(iracing_test::newest_tick(seen), 11);
  EXPECT_FALSE(poll());  // nothing newer
}

TEST_F(IracingClient, ClearedConnectedBitOrALowerTickStartsOver) {
  simulator_.publish_tick(100);
  ASSERT_FALSE(poll());
  simulator_.header().status = 0;
  simulator_.publish_tick(101);
  EXPECT_FALSE(poll());
  simulator_.header().status = iRacing::status_connected;
  simulator_.publish_tick(102);
  EXPECT_FALSE(poll());  // only records again
  simulator_.publish_tick(103);
  EXPECT_TRUE(poll());

  simulator_.publish_layout(iracing_test::sample_header());  // the simulator restarted
  simulator_.publish_tick(5);
  EXPECT_FALSE(poll());
  simulator_.publish_tick(6);
  EXPECT_TRUE(poll());
  EXPECT_EQ(row_, iracing_test::sample_row(6));
}

TEST_F(IracingClient, NullDestinationAdvancesAndAShortOneLosesNothing) {
  simulator_.publish_tick(1);
  ASSERT_FALSE(iRacing::poll_new_data(nullptr, 0));
  simulator_.publish_tick(2);
  EXPECT_TRUE(iRacing::poll_new_data(nullptr, 0));
  EXPECT_FALSE(poll());

  simulator_.publish_tick(3);
  std::vector<std::uint8_t> small(63, 0xee);
  EXPECT_FALSE(iRacing::poll_new_data(small.data(), small.size()));
  EXPECT_EQ(small, std::vector<std::uint8_t>(63, 0xee));
  EXPECT_TRUE(poll());  // the row is still new
  EXPECT_EQ(row_, iracing_test::sample_row(3));
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
      [&] { return iRacing::wait_for_new_data(10000, row_.data(), row_.size()); }));
}

// A header that points anywhere never makes the client read outside its
// view (the sanitizer build turns any such read into a failure).
TEST_F(IracingClient, HostileHeaderNeverReadsOutsideTheView) {
  const auto size = static_cast<std::int32_t>(iracing_test::region_size);
  simulator_.publish_tick(1);
  ASSERT_FALSE(poll());
  std::vector<std::uint8_t> huge(1 << 20);
  auto header = simulator_.header();
  const std::pair<std::int32_t, std::int32_t> rows[] = {  // offset, length
      {size - 63, 64}, {-1, 64}, {INT_MIN, 64}, {INT_MAX, 64}, {64, -1}, {64, INT_MIN}, {1, INT_MAX}, {size, 1},
      {size - 100, 200}};
  for (const auto& [offset, length] : rows) {
    header.buffer_length = length;
    for (auto& slot : header.buffer_slots) slot = {slot.tick_count + 1, offset, {}};
    simulator_.write_header(header);
    EXPECT_FALSE(iRacing::poll_new_data(huge.data(), huge.size())) << offset << " " << length;
  }

  header.buffer_length = 64;
  header.buffer_slots[0] = {1000, size - 64, {}};  // ends exactly at the view's end
  header.buffer_count = 100;
  header.variable_count = INT_MAX;
  header.variable_header_offset = size - 200;  // entry 0 fits, entry 1 runs past
  header.session_info_offset = size - 3;
  simulator_.write_header(header);
  const std::uint8_t text[] = {'a', 'b', 'c'};  // no room for a terminator
  simulator_.write(size - 3, text);
  EXPECT_TRUE(poll());
  EXPECT_TRUE(iRacing::variable_header_at(0));
  EXPECT_FALSE(iRacing::variable_header_at(1));
  EXPECT_EQ(iRacing::session_info_text(), "abc");
  for (const std::int32_t offset : {-1, INT_MIN, size, INT_MAX}) {
    header.session_info_offset = header.variable_header_offset = offset;
    simulator_.write_header(header);
    EXPECT_FALSE(iRacing::session_info_text()) << offset;
    EXPECT_FALSE(iRacing::variable_header_at(0)) << offset;
  }
  iRacing::close_shared_memory();  // nothing is read from a view given back
  EXPECT_FALSE(iRacing::session_info_text());
  EXPECT_FALSE(iRacing::variable_header_at(0));
}
