// The plan of live memory every publisher shares: where the parts go for
// the stand-in's variables and for a long session text, and what the
// header says of them.
#include "formats/iracing_memory_plan.h"

#include <gtest/gtest.h>

namespace vove {

namespace {

using iracing::LiveMemoryPlan;

TEST(IracingMemoryPlan, PartsFollowOneAnotherOnPageBoundaries) {
  // 195 headers end at 144 + 195 * 144 = 28224, so the text starts at 28672.
  const LiveMemoryPlan plan = iracing::plan_live_memory(195, iracing::live_session_area, 5216);
  EXPECT_EQ(plan.variable_count, 195);
  EXPECT_EQ(plan.variable_header_offset, 144);
  EXPECT_EQ(plan.session_info_offset, 28672);
  EXPECT_EQ(plan.session_info_capacity, 128 * 1024);
  EXPECT_EQ(plan.buffer_length, 5216);
  const std::int32_t rows = 28672 + 128 * 1024;
  EXPECT_EQ(plan.buffer_offsets[0], rows);
  EXPECT_EQ(plan.buffer_offsets[1], rows + 8192);  // 5216 bytes take two pages
  EXPECT_EQ(plan.buffer_offsets[2], rows + 16384);
  EXPECT_EQ(plan.end, rows + 16384 + 5216);
}

TEST(IracingMemoryPlan, ALongTextGetsWholePagesWithRoomForItsZero) {
  EXPECT_EQ(iracing::session_area_for(0), 128 * 1024);
  EXPECT_EQ(iracing::session_area_for(128 * 1024 - 1), 128 * 1024);
  EXPECT_EQ(iracing::session_area_for(128 * 1024), 128 * 1024 + 4096);
  const LiveMemoryPlan plan = iracing::plan_live_memory(0, iracing::session_area_for(200'000), 100);
  EXPECT_EQ(plan.session_info_offset, 4096);
  EXPECT_EQ(plan.session_info_capacity, 200'704);  // 49 pages
  EXPECT_EQ(plan.buffer_offsets[0], 4096 + 200'704);
}

TEST(IracingMemoryPlan, TheHeaderTakesThePartsAndKeepsTheRest) {
  const LiveMemoryPlan plan = iracing::plan_live_memory(3, iracing::live_session_area, 64);
  iracing::MemoryHeader header;
  header.version = 2;
  header.tick_rate = 60;
  header.buffer_slots[1].tick_count = 7;
  iracing::place_parts(plan, header);
  EXPECT_EQ(header.version, 2);
  EXPECT_EQ(header.tick_rate, 60);
  EXPECT_EQ(header.variable_count, 3);
  EXPECT_EQ(header.variable_header_offset, 144);
  EXPECT_EQ(header.session_info_offset, 4096);
  EXPECT_EQ(header.session_info_length, 128 * 1024);
  EXPECT_EQ(header.buffer_count, 3);
  EXPECT_EQ(header.buffer_length, 64);
  for (std::size_t slot = 0; slot < 3; ++slot)
    EXPECT_EQ(header.buffer_slots[slot].buffer_offset, plan.buffer_offsets[slot]);
  EXPECT_EQ(header.buffer_slots[1].tick_count, 7);
  EXPECT_EQ(header.buffer_slots[3].buffer_offset, 0);
}

}  // namespace

}  // namespace vove
