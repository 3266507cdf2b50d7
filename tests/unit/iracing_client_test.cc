#include "dumper/iracing_client.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "unit/iracing_test_support.h"

namespace {

using iracing_test::FakeSimulator;
using iracing_test::sample_row;

class IracingClient : public ::testing::Test {
 protected:
  IracingClient() { iRacing::close_shared_memory(); }
  ~IracingClient() override { iRacing::close_shared_memory(); }

  bool poll() { return iRacing::poll_new_data(row_.data(), row_.size()); }

  iracing_test::ScopedNamePrefix prefix_;
  std::vector<std::uint8_t> row_ = std::vector<std::uint8_t>(64);
};

// A simulator with its layout published, every slot at tick 0.
class IracingClientAttached : public IracingClient {
 protected:
  IracingClientAttached() { simulator_.publish_layout(iracing_test::sample_header()); }

  FakeSimulator simulator_;
};

}  // namespace

TEST_F(IracingClient, EverythingIsEmptyWhileTheSimulatorIsAbsent) {
  EXPECT_FALSE(iRacing::open_shared_memory());
  EXPECT_FALSE(poll());
  EXPECT_FALSE(iRacing::wait_for_new_data(0, row_.data(), row_.size()));
  EXPECT_FALSE(iRacing::current_header());
  EXPECT_FALSE(iRacing::session_info_text());
  EXPECT_FALSE(iRacing::variable_header_at(0));
  EXPECT_EQ(iRacing::view_size(), 0u);
}

TEST_F(IracingClient, OpenResumesAtTheFirstMissingObject) {
  FakeSimulator without_event(iracing_test::region_size, /*with_event=*/false);
  EXPECT_FALSE(iRacing::open_shared_memory());
  EXPECT_FALSE(iRacing::current_header());
  auto event = platform::NamedEvent::create(iRacing::data_valid_event_name);
  EXPECT_TRUE(iRacing::open_shared_memory());
  EXPECT_EQ(iRacing::view_size(), iracing_test::region_size);
}

// Where a region can be smaller than the header (views are not rounded up to
// whole pages), it is not taken for telemetry.
TEST_F(IracingClient, NeverAttachesToAViewSmallerThanTheHeader) {
  FakeSimulator tiny(64);
  ASSERT_TRUE(tiny.ready());
  if (iRacing::open_shared_memory()) {
    EXPECT_GE(iRacing::view_size(), iRacing::memory_header_size);
  } else {
    EXPECT_FALSE(iRacing::current_header());
  }
}

TEST_F(IracingClientAttached, FirstPollOnlyRecordsThenNewerTicksDeliver) {
  simulator_.publish_tick(10);
  EXPECT_FALSE(poll());
  simulator_.publish_tick(11);
  iRacing::MemoryHeader seen;
  EXPECT_TRUE(iRacing::poll_new_data(row_.data(), row_.size(), &seen));
  EXPECT_EQ(row_, sample_row(11));
  EXPECT_EQ(seen, simulator_.header());
  EXPECT_EQ(seen.buffer_slots[static_cast<std::size_t>(iRacing::newest_slot(seen))].tick_count, 11);
  EXPECT_FALSE(poll());  // nothing newer
}

TEST_F(IracingClientAttached, ClearedConnectedBitResetsTheTick) {
  simulator_.publish_tick(1);
  ASSERT_FALSE(poll());
  simulator_.header().status = 0;
  simulator_.publish_tick(2);
  EXPECT_FALSE(poll());
  simulator_.header().status = iRacing::status_connected;
  simulator_.publish_tick(3);
  EXPECT_FALSE(poll());  // only records again
  simulator_.publish_tick(4);
  EXPECT_TRUE(poll());
}

TEST_F(IracingClientAttached, RestartWithALowerTickSkipsOnePoll) {
  simulator_.publish_tick(100);
  ASSERT_FALSE(poll());
  simulator_.publish_tick(101);
  ASSERT_TRUE(poll());
  auto restarted = iracing_test::sample_header();
  simulator_.publish_layout(restarted);
  simulator_.publish_tick(5);
  EXPECT_FALSE(poll());
  simulator_.publish_tick(6);
  EXPECT_TRUE(poll());
  EXPECT_EQ(row_, sample_row(6));
}

TEST_F(IracingClientAttached, EqualTicksTakeTheLowerSlot) {
  simulator_.publish_tick(1);
  ASSERT_FALSE(poll());
  auto& header = simulator_.header();
  simulator_.write(static_cast<std::size_t>(header.buffer_slots[0].buffer_offset), sample_row(70));
  simulator_.write(static_cast<std::size_t>(header.buffer_slots[1].buffer_offset), sample_row(71));
  header.buffer_slots[0].tick_count = 7;
  header.buffer_slots[1].tick_count = 7;
  simulator_.write_header(header);
  EXPECT_TRUE(poll());
  EXPECT_EQ(row_, sample_row(70));
}

TEST_F(IracingClientAttached, NullDestinationReportsAndAdvances) {
  simulator_.publish_tick(1);
  ASSERT_FALSE(iRacing::poll_new_data(nullptr, 0));
  simulator_.publish_tick(2);
  EXPECT_TRUE(iRacing::poll_new_data(nullptr, 0));
  EXPECT_FALSE(poll());
}

TEST_F(IracingClientAttached, RowLongerThanTheDestinationIsNotCopiedNorLost) {
  simulator_.publish_tick(1);
  ASSERT_FALSE(poll());
  simulator_.publish_tick(2);
  std::vector<std::uint8_t> small(63, 0xee);
  EXPECT_FALSE(iRacing::poll_new_data(small.data(), small.size()));
  EXPECT_EQ(small, std::vector<std::uint8_t>(63, 0xee));
  EXPECT_TRUE(poll());  // the row is still new
  EXPECT_EQ(row_, sample_row(2));
}

TEST_F(IracingClientAttached, WaitReturnsANewRow) {
  simulator_.publish_tick(1);
  ASSERT_FALSE(iRacing::wait_for_new_data(0, row_.data(), row_.size()));
  simulator_.publish_tick(2);
  simulator_.signal();
  EXPECT_TRUE(iRacing::wait_for_new_data(0, row_.data(), row_.size()));
  EXPECT_FALSE(iRacing::wait_for_new_data(0, row_.data(), row_.size()));
}

// The event stays signalled while nobody waits; such a leftover must not cut
// the wait short before the simulator's next tick.
TEST_F(IracingClientAttached, AWakeUpLeftFromAnEarlierTickDoesNotEndTheWait) {
  simulator_.publish_tick(1);
  ASSERT_FALSE(poll());
  simulator_.signal();
  int calls = 0;
  std::int32_t tick = 1;
  const bool delivered = iracing_test::while_ticking(
      [&] {
        if (++calls < 20) return;  // let the wait begin first
        simulator_.publish_tick(++tick);
        simulator_.signal();
      },
      [&] { return iRacing::wait_for_new_data(10000, row_.data(), row_.size()); });
  EXPECT_TRUE(delivered);
}

TEST_F(IracingClientAttached, VariableHeadersWithinTheCountOnly) {
  ASSERT_TRUE(iRacing::open_shared_memory());
  EXPECT_FALSE(iRacing::variable_header_at(-1));
  EXPECT_FALSE(iRacing::variable_header_at(3));
  EXPECT_FALSE(iRacing::variable_header_at(INT_MIN));
  ASSERT_TRUE(iRacing::variable_header_at(0));
  EXPECT_EQ(*iRacing::variable_header_at(2), iracing_test::sample_entry(2));
}

TEST_F(IracingClientAttached, SessionTextEndsAtItsZeroByte) {
  ASSERT_TRUE(iRacing::open_shared_memory());
  EXPECT_EQ(iRacing::session_info_text(), iracing_test::session_text);
}

TEST_F(IracingClientAttached, DetachesOnClose) {
  ASSERT_TRUE(iRacing::open_shared_memory());
  iRacing::close_shared_memory();
  EXPECT_FALSE(iRacing::current_header());
  EXPECT_FALSE(iRacing::session_info_text());
  EXPECT_FALSE(iRacing::variable_header_at(0));
  iRacing::close_shared_memory();  // safe in any state
}

// A header that points anywhere must never make the client read outside
// its view (the sanitizer build turns any such read into a failure).
TEST_F(IracingClientAttached, HostileHeaderNeverReadsOutsideTheView) {
  const auto size = static_cast<std::int32_t>(iracing_test::region_size);
  simulator_.publish_tick(1);
  ASSERT_FALSE(poll());
  std::vector<std::uint8_t> huge(1 << 20);
  struct Case {
    std::int32_t buffer_offset;
    std::int32_t buffer_length;
  };
  std::int32_t tick = 2;
  for (const Case c :
       {Case{size - 63, 64}, Case{-1, 64}, Case{INT_MIN, 64}, Case{INT_MAX, 64}, Case{64, -1},
        Case{64, INT_MIN}, Case{1, INT_MAX}, Case{size, 1}, Case{size - 100, 200}}) {
    auto header = simulator_.header();
    header.buffer_length = c.buffer_length;
    for (auto& slot : header.buffer_slots) {
      slot.buffer_offset = c.buffer_offset;
      slot.tick_count = tick;
    }
    simulator_.write_header(header);
    EXPECT_FALSE(iRacing::poll_new_data(huge.data(), huge.size()))
        << c.buffer_offset << " " << c.buffer_length;
    ++tick;
  }

  // A row that ends exactly at the view's end is fine.
  auto header = simulator_.header();
  header.buffer_slots[0].buffer_offset = size - 64;
  header.buffer_slots[0].tick_count = tick;
  header.buffer_count = 100;  // only four slots exist
  simulator_.write_header(header);
  EXPECT_TRUE(poll());

  header.variable_header_offset = size - 200;  // entry 0 fits, entry 1 runs past
  header.variable_count = INT_MAX;
  header.session_info_offset = size - 3;
  simulator_.write_header(header);
  simulator_.write(static_cast<std::size_t>(size - 3), std::vector<std::uint8_t>{'a', 'b', 'c'});
  EXPECT_TRUE(iRacing::variable_header_at(0));
  EXPECT_FALSE(iRacing::variable_header_at(1));
  EXPECT_FALSE(iRacing::variable_header_at(INT_MAX - 1));
  EXPECT_EQ(iRacing::session_info_text(), "abc");  // cut at the view's end

  for (std::int32_t offset : {-1, INT_MIN, size, INT_MAX}) {
    header.session_info_offset = offset;
    header.variable_header_offset = offset;
    simulator_.write_header(header);
    EXPECT_FALSE(iRacing::session_info_text()) << offset;
    EXPECT_FALSE(iRacing::variable_header_at(0)) << offset;
  }
}
