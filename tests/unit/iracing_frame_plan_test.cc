// The iRacing producer's frame worked out without any shared memory: the
// tick counts a loop continues with, the first image of a range, frames
// refused whole, and the order in which a plan reaches the memory, seen
// through a target that records each step.
#include "simulators/iracing/iracing_frame_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "unit/iracing_test_support.h"

namespace vove {

namespace {

using iracing::FirstImage;
using iracing::FramePlan;
using iracing::MemoryHeader;
using iracing::Snapshot;
using iracing::TickContinuation;

constexpr std::size_t mapping = iracing_test::region_size;

// Frames as a three-slot simulator records them: each tick in the slot
// after the last one's.
struct Recording {
  MemoryHeader header = iracing_test::sample_header();
  std::int32_t tick = 0;

  Snapshot next(std::string text = "") {
    header.buffer_slots[static_cast<std::size_t>((iracing::newest_slot(header) + 1) % 3)].tick_count = ++tick;
    Snapshot snapshot{header, {}, std::move(text), iracing_test::sample_row(tick)};
    for (int i = 0; i < header.variable_count; ++i) snapshot.variable_headers.push_back(iracing_test::sample_entry(i));
    return snapshot;
  }
};

// Plans a pass over `frames`, carrying the continuation from one to the next.
std::vector<MemoryHeader> plan_pass(const std::vector<Snapshot>& frames, TickContinuation& continuation,
                                    const FirstImage& first_image = {}) {
  std::vector<MemoryHeader> headers;
  for (std::size_t k = 0; k < frames.size(); ++k) {
    const FramePlan plan = iracing::plan_frame(frames[k], mapping, k == 0, first_image, continuation);
    EXPECT_EQ(plan.problem, iracing::FrameProblem::none);
    headers.push_back(plan.header);
    continuation = plan.after;
  }
  return headers;
}

TEST(IracingFramePlan, TicksKeepRisingAcrossEveryRestart) {
  Recording recording;
  std::vector<Snapshot> pass;
  for (int i = 0; i < 4; ++i) pass.push_back(recording.next(i == 0 ? "text" : ""));
  pass[3].header.session_info_update = 2;

  TickContinuation continuation;
  const std::vector<MemoryHeader> first = plan_pass(pass, continuation);
  EXPECT_EQ(first.back(), pass.back().header);  // the first pass as recorded
  EXPECT_EQ(continuation.highest_tick, 4);
  EXPECT_EQ(continuation.last_update, 2);

  // Recorded slots 0, 1, 0 at the pass's first frame; 4 was the highest tick
  // published and 2 the last update: all move on by 4 - 0 + 1 and 2 - 1 + 1.
  for (int loop = 1; loop <= 3; ++loop) {
    const std::int32_t highest_before = static_cast<std::int32_t>(continuation.highest_tick);
    const std::vector<MemoryHeader> again = plan_pass(pass, continuation);
    for (std::size_t k = 0; k < again.size(); ++k) {
      for (int slot = 0; slot < 3; ++slot) {
        EXPECT_EQ(again[k].buffer_slots[static_cast<std::size_t>(slot)].tick_count,
                  pass[k].header.buffer_slots[static_cast<std::size_t>(slot)].tick_count + 5 * loop)
            << loop << ' ' << k << ' ' << slot;
        EXPECT_GT(again[k].buffer_slots[static_cast<std::size_t>(slot)].tick_count, highest_before);
      }
      EXPECT_EQ(again[k].session_info_update, pass[k].header.session_info_update + 2 * loop) << k;
    }
  }
}

TEST(IracingFramePlan, TheFirstFrameOfAPassCarriesTheFirstImage) {
  Recording recording;
  std::vector<Snapshot> frames;
  for (int i = 0; i < 8; ++i) frames.push_back(recording.next(i == 1 ? "text in force" : ""));
  FirstImage image;
  for (int i = 6; i >= 0 && image.take(frames[static_cast<std::size_t>(i)]); --i) {
  }
  const FramePlan plan = iracing::plan_frame(frames[7], mapping, true, image, {});
  EXPECT_EQ(plan.text, "text in force");
  // Ticks 6 and 7 of the earlier frames in slots 0 and 1, then the frame's
  // own row, tick 8, in slot 2.
  ASSERT_EQ(plan.rows.size(), 3u);
  const std::int32_t ticks[] = {6, 7, 8};
  for (std::size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(plan.rows[k].offset, 8192 + 4096 * static_cast<std::int32_t>(k)) << k;
    EXPECT_EQ(std::vector<std::uint8_t>(plan.rows[k].bytes.begin(), plan.rows[k].bytes.end()),
              iracing_test::sample_row(ticks[k]))
        << k;
  }

  // Later frames of the pass write their own row and text only.
  const FramePlan later = iracing::plan_frame(frames[7], mapping, false, image, plan.after);
  EXPECT_EQ(later.rows.size(), 1u);
  EXPECT_TRUE(later.text.empty());
}

// Each step a publish takes, in order.
struct RecordingTarget final : iracing::FrameTarget {
  MemoryHeader live;
  std::vector<std::string> steps;

  MemoryHeader live_header() override { return live; }
  void write(std::size_t offset, std::span<const std::uint8_t> bytes) override {
    steps.push_back("write " + std::to_string(offset) + " " + std::to_string(bytes.size()));
  }
  void write_zeros(std::size_t offset, std::size_t length) override {
    steps.push_back("zeros " + std::to_string(offset) + " " + std::to_string(length));
  }
  void release_fence() override { steps.push_back("fence"); }
  void signal_data_valid() override { steps.push_back("signal"); }
};

TEST(IracingFramePlan, APublishWithdrawsTheRewrittenSlotAndWritesTheHeaderLast) {
  Recording recording;
  recording.next();
  const Snapshot frame = recording.next("text");  // tick 2, in slot 2
  const FramePlan plan = iracing::plan_frame(frame, mapping, false, {}, {});
  RecordingTarget target;
  target.live = iracing_test::sample_header();  // every slot published, slot 2's row at 16384
  iracing::publish_frame(plan, target);
  EXPECT_EQ(target.steps, (std::vector<std::string>{
                              "write 1024 4",     // the text
                              "zeros 1028 1020",  // the rest of its area
                              "write 4096 144",   // three variable headers
                              "write 4240 144",
                              "write 4384 144",
                              "write 80 4",  // slot 2's tick withdrawn
                              "fence",
                              "write 16384 64",  // the row
                              "fence",
                              "write 0 112",  // the header
                              "signal",
                          }));
}

TEST(IracingFramePlan, AFrameOutsideTheMappingIsRefusedWhole) {
  Recording recording;
  Snapshot frame = recording.next("text");
  frame.header.session_info_offset = static_cast<std::int32_t>(mapping) - 2;
  const TickContinuation before{true, 40, 3, 0, 0};
  const FramePlan plan = iracing::plan_frame(frame, mapping, true, {}, before);
  EXPECT_EQ(plan.problem, iracing::FrameProblem::session_text_outside);
  EXPECT_EQ(plan.after.highest_tick, 40);  // nothing published, nothing to continue above
  RecordingTarget target;
  iracing::publish_frame(plan, target);
  EXPECT_TRUE(target.steps.empty());
}

}  // namespace

}  // namespace vove
