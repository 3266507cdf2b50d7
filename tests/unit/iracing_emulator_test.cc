#include "emulator/iracing_emulator.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <stdexcept>
#include <string>

#include "formats/iracing_snapshot.h"
#include "unit/console_capture.h"
#include "unit/iracing_test_support.h"
#include "unit/scoped_name_prefix.h"

namespace {

using iRacing::Snapshot;

// A started emulator, its mapping opened as a telemetry reader opens it, and
// frames as a three-slot simulator records them.
class IracingEmulator : public ::testing::Test {
 protected:
  IracingEmulator() {
    emulator_.start();
    reader_.emplace();
  }
  void write(const Snapshot& snapshot) { emulator_.write_frame(iRacing::serialise_snapshot(snapshot)); }
  std::string text_at(std::int64_t offset, std::size_t count) const {
    const auto bytes = reader_->read(offset, count);
    return std::string(bytes.begin(), bytes.end());
  }
  // Each tick in the slot after the last one's.
  Snapshot next(std::string text = "") {
    header_.buffer_slots[static_cast<std::size_t>((iRacing::newest_slot(header_) + 1) % 3)].tick_count = ++tick_;
    Snapshot snapshot{header_, {}, std::move(text), iracing_test::sample_row(tick_)};
    for (int i = 0; i < header_.variable_count; ++i) snapshot.variable_headers.push_back(iracing_test::sample_entry(i + tick_));
    return snapshot;
  }

  ScopedNamePrefix prefix_;
  iRacing::Emulator emulator_;
  std::optional<iracing_test::Telemetry> reader_;
  iRacing::MemoryHeader header_ = iracing_test::sample_header();
  std::int32_t tick_ = 0;
};

}  // namespace

TEST(IracingEmulatorStart, ReportsWhatFailed) {
  ScopedNamePrefix prefix(std::string(300, 'n'));  // longer than any name the platform accepts
  iRacing::Emulator emulator;
  try {
    emulator.start();
    ADD_FAILURE() << "start succeeded";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "Failed to create file mapping");
  }
}

// Earlier rows stay in their slots, as a reader of an older slot expects.
TEST_F(IracingEmulator, EachRowLandsInItsFramesNewestSlot) {
  for (int frame = 0; frame < 7; ++frame) {
    write(next());
    ASSERT_EQ(reader_->read_header(), header_);
    for (const auto& slot : header_.buffer_slots) {
      if (slot.tick_count == 0) continue;  // no row yet
      EXPECT_EQ(reader_->read(slot.buffer_offset, 64), iracing_test::sample_row(slot.tick_count));
    }
  }
}

// A shorter text replacing a longer one ends with its terminator.
TEST_F(IracingEmulator, ShorterSessionTextIsTerminated) {
  write(next("0123456789"));
  write(next("ab"));
  EXPECT_EQ(text_at(1024, 4), std::string("ab\0" "3", 4));
}

// Where a part overlaps the header, the header's bytes are what remains.
TEST_F(IracingEmulator, HeaderIsWrittenLast) {
  header_.session_info_offset = 0;
  header_.session_info_length = 0;
  Snapshot frame = next(std::string(200, 'x'));
  frame.header.buffer_slots[0] = {1000, 40, {}};
  write(frame);
  EXPECT_EQ(reader_->read_header(), frame.header);
  EXPECT_EQ(text_at(112, 88), std::string(88, 'x'));
}

TEST_F(IracingEmulator, FramesOutsideTheMappingAreSkippedAndReportedOnce) {
  write(next());
  const iRacing::MemoryHeader before = reader_->read_header();
  const auto end = static_cast<std::int32_t>(iRacing::mapping_size);
  ConsoleCapture console;
  const auto skipped = [&](auto change) {
    Snapshot frame = next("text");
    change(frame.header);
    write(frame);
    EXPECT_EQ(reader_->read_header(), before);
  };
  for (const std::int32_t offset : {-1, INT_MIN, INT_MAX, end - 3}) {
    skipped([&](iRacing::MemoryHeader& h) { for (auto& slot : h.buffer_slots) slot.buffer_offset = offset; });
    skipped([&](iRacing::MemoryHeader& h) { h.variable_header_offset = offset; });
    skipped([&](iRacing::MemoryHeader& h) { h.session_info_offset = offset; });
  }
  EXPECT_EQ(console.out(),
            "Skipped a frame whose data row does not fit the shared memory; later such frames are skipped silently\n"
            "Skipped a frame whose variable headers do not fit the shared memory; later such frames are skipped "
            "silently\nSkipped a frame whose session text does not fit the shared memory; later such frames are "
            "skipped silently\n");

  Snapshot frame = next("end");  // parts that end exactly at the mapping's end are written
  frame.header.session_info_offset = end - 3;
  frame.header.buffer_slots[0] = {1000, end - 64, {}};
  write(frame);
  EXPECT_EQ(reader_->read_header(), frame.header);
  EXPECT_EQ(reader_->read(end - 64, 64), frame.row);
}
