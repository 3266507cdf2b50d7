#include "emulator/iracing_emulator.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#include "common/byte_coding.h"
#include "dumper/iracing_client.h"
#include "dumper/iracing_connector.h"
#include "formats/iracing_snapshot.h"
#include "unit/console_capture.h"
#include "unit/iracing_test_support.h"

namespace {

using iRacing::MemoryHeader;
using iRacing::Snapshot;

// Frames as a three-slot simulator records them: each tick in the slot
// after the previous one.
class FrameMaker {
 public:
  FrameMaker() : header_(iracing_test::sample_header()) {}

  Snapshot next(std::string text = "") {
    const int slot = (iRacing::newest_slot(header_) + 1) % 3;
    header_.buffer_slots[static_cast<std::size_t>(slot)].tick_count = ++tick_;
    Snapshot snapshot;
    snapshot.header = header_;
    for (int i = 0; i < header_.variable_count; ++i)
      snapshot.variable_headers.push_back(iracing_test::sample_entry(i + tick_));
    snapshot.session_info = std::move(text);
    snapshot.row = iracing_test::sample_row(tick_);
    return snapshot;
  }

  MemoryHeader& header() { return header_; }
  std::int32_t tick() const { return tick_; }

 private:
  MemoryHeader header_;
  std::int32_t tick_ = 0;
};

// What a telemetry consumer sees of the emulator's mapping.
class Reader {
 public:
  Reader()
      : memory_(platform::SharedMemory::open_existing(iRacing::memory_map_name,
                                                      platform::Access::read)),
        view_(memory_.map(platform::Access::read, 0)) {}

  bool ready() const { return view_.is_mapped(); }
  std::vector<std::uint8_t> read(std::int64_t offset, std::size_t count) const {
    std::vector<std::uint8_t> bytes(count);
    std::memcpy(bytes.data(), view_.data() + offset, count);
    return bytes;
  }
  MemoryHeader header() const {
    iRacing::MemoryHeaderBytes bytes;
    std::memcpy(bytes.data(), view_.data(), bytes.size());
    return iRacing::decode_memory_header(bytes);
  }
  std::vector<std::uint8_t> row_of(const MemoryHeader& header, int slot) const {
    return read(header.buffer_slots[static_cast<std::size_t>(slot)].buffer_offset,
                static_cast<std::size_t>(header.buffer_length));
  }

 private:
  platform::SharedMemory memory_;
  platform::MappedView view_;
};

class IracingEmulator : public ::testing::Test {
 protected:
  void start() {
    emulator_.start();
    reader_ = std::make_unique<Reader>();
    ASSERT_TRUE(reader_->ready());
  }
  void write(const Snapshot& snapshot) {
    emulator_.write_frame(iRacing::serialise_snapshot(snapshot));
  }

  iracing_test::ScopedNamePrefix prefix_;
  iRacing::Emulator emulator_;
  std::unique_ptr<Reader> reader_;
  FrameMaker frames_;
};

bool exists(std::string_view name) {
  return platform::SharedMemory::open_existing(name, platform::Access::read).is_open();
}

}  // namespace

TEST_F(IracingEmulator, NamesItsSource) {
  const SourceId id = iRacing::Emulator::source_id();
  EXPECT_EQ(std::memcmp(id.data(), "irac", 4), 0);
}

TEST_F(IracingEmulator, CreatesTheObjectsAndReleasesThemOnce) {
  emulator_.stop();  // never started: nothing to release
  emulator_.start();
  EXPECT_TRUE(exists(iRacing::memory_map_name));
  EXPECT_TRUE(platform::NamedEvent::open_existing(iRacing::data_valid_event_name));
  emulator_.stop();
  emulator_.stop();
  EXPECT_FALSE(exists(iRacing::memory_map_name));
  EXPECT_FALSE(platform::NamedEvent::open_existing(iRacing::data_valid_event_name));
  emulator_.write_frame(iRacing::serialise_snapshot(frames_.next()));  // stopped: ignored
}

TEST(IracingEmulatorStart, ReportsAMappingThatCannotBeCreated) {
  // Longer than any object name the platform accepts.
  iracing_test::ScopedNamePrefix prefix(std::string(300, 'n'));
  iRacing::Emulator emulator;
  try {
    emulator.start();
    FAIL() << "start succeeded";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "Failed to create file mapping");
  }
}

TEST_F(IracingEmulator, EachRowLandsInItsFramesNewestSlot) {
  start();
  for (int frame = 0; frame < 7; ++frame) {
    write(frames_.next());
    const MemoryHeader header = reader_->header();
    ASSERT_EQ(header, frames_.header());
    for (int slot = 0; slot < 3; ++slot) {
      const std::int32_t tick = header.buffer_slots[static_cast<std::size_t>(slot)].tick_count;
      if (tick > 0) {
        EXPECT_EQ(reader_->row_of(header, slot), iracing_test::sample_row(tick)) << slot;
      }
    }
    const auto entry = iracing_test::sample_entry(frames_.tick() + 1).bytes;
    EXPECT_EQ(reader_->read(header.variable_header_offset + 144, 144),
              std::vector<std::uint8_t>(entry.begin(), entry.end()));
  }
}

TEST_F(IracingEmulator, SessionTextStaysUntilReplacedAndIsTerminated) {
  start();
  const std::int64_t offset = frames_.header().session_info_offset;
  write(frames_.next());
  EXPECT_EQ(reader_->read(offset, 16), std::vector<std::uint8_t>(16, 0));  // no text yet

  write(frames_.next("a longer text"));
  write(frames_.next());
  const auto longer = reader_->read(offset, 14);
  EXPECT_EQ(std::string(longer.begin(), longer.end()), std::string("a longer text\0", 14));

  write(frames_.next("short"));
  const auto shorter = reader_->read(offset, 14);
  EXPECT_EQ(std::string(shorter.begin(), shorter.begin() + 6), std::string("short\0", 6));
}

TEST_F(IracingEmulator, NoTerminatorBeyondTheTextsArea) {
  start();
  frames_.header().session_info_length = 5;
  const std::int64_t offset = frames_.header().session_info_offset;
  write(frames_.next("0123456789"));
  write(frames_.next("abcde"));  // fills its area exactly
  const auto text = reader_->read(offset, 10);
  EXPECT_EQ(std::string(text.begin(), text.end()), "abcde56789");
}

// The header is written after the other parts: where a part overlaps the
// header, the header's bytes are what remains.
TEST_F(IracingEmulator, HeaderIsWrittenLast) {
  start();
  frames_.header().session_info_offset = 0;
  frames_.header().session_info_length = 0;
  Snapshot frame = frames_.next(std::string(200, 'x'));
  frame.header.buffer_slots[0].buffer_offset = 40;
  frame.header.buffer_slots[0].tick_count = 1000;
  write(frame);
  EXPECT_EQ(reader_->header(), frame.header);
  EXPECT_EQ(reader_->read(112, 88), std::vector<std::uint8_t>(88, 'x'));  // text after the header
}

TEST_F(IracingEmulator, FramesOutsideTheMappingAreSkippedAndReportedOnce) {
  start();
  write(frames_.next());
  const MemoryHeader before = reader_->header();
  ConsoleCapture console;

  const auto out_of_range = [&](auto change) {
    Snapshot frame = frames_.next("text");
    change(frame.header);
    write(frame);
    EXPECT_EQ(reader_->header(), before);
  };
  for (std::int32_t offset :
       {-1, INT_MIN, INT_MAX, static_cast<std::int32_t>(iRacing::mapping_size) - 3}) {
    out_of_range([&](MemoryHeader& header) {
      for (auto& slot : header.buffer_slots) slot.buffer_offset = offset;
    });
    out_of_range([&](MemoryHeader& header) { header.variable_header_offset = offset; });
    out_of_range([&](MemoryHeader& header) { header.session_info_offset = offset; });
  }
  EXPECT_EQ(
      console.out(),
      "Skipped a frame whose data row does not fit the shared memory; later such frames are "
      "skipped silently\n"
      "Skipped a frame whose variable headers do not fit the shared memory; later such frames "
      "are skipped silently\n"
      "Skipped a frame whose session text does not fit the shared memory; later such frames "
      "are skipped silently\n");
}

TEST_F(IracingEmulator, PartsEndingAtTheMappingsEndAreWritten) {
  start();
  Snapshot frame = frames_.next("end");
  frame.header.session_info_offset = static_cast<std::int32_t>(iRacing::mapping_size) - 3;
  frame.header.session_info_length = 100;  // the terminator has no room in the view
  frame.header.buffer_slots[0].buffer_offset =
      static_cast<std::int32_t>(iRacing::mapping_size) - 64;
  frame.header.buffer_slots[0].tick_count = 1000;
  write(frame);
  EXPECT_EQ(reader_->header(), frame.header);
  EXPECT_EQ(reader_->row_of(frame.header, 0), frame.row);
}

TEST_F(IracingEmulator, MalformedPayloadsThrow) {
  start();
  auto payload = iRacing::serialise_snapshot(frames_.next());
  payload.pop_back();
  EXPECT_THROW(emulator_.write_frame(payload), std::invalid_argument);
  EXPECT_THROW(emulator_.write_frame({}), std::invalid_argument);
  Snapshot negative = frames_.next();
  negative.header.variable_count = 0;
  negative.variable_headers.clear();
  payload = iRacing::serialise_snapshot(negative);
  coding::encode_i32(payload.data() + 24, -1);
  EXPECT_THROW(emulator_.write_frame(payload), std::length_error);
}

// What the recorder reads from the emulator is what was recorded.
TEST_F(IracingEmulator, ConnectorReadsBackThePayloads) {
  iRacing::close_shared_memory();
  start();
  iRacing::Connector connector;
  write(frames_.next());  // connected, so the first poll records a tick
  // The emulator never signals the event: the rows are found when the wait's
  // time is up.
  const bool connected = iracing_test::while_ticking([this] { write(frames_.next()); },
                                                     [&] { return connector.connect(50); });
  ASSERT_TRUE(connected);

  // The first frame of a connection carries the session text.
  std::vector<std::vector<std::uint8_t>> payloads = {
      iRacing::serialise_snapshot(frames_.next("session one"))};
  for (int i = 0; i < 4; ++i) payloads.push_back(iRacing::serialise_snapshot(frames_.next()));
  payloads.push_back(iRacing::serialise_snapshot([&] {
    frames_.header().session_info_update = 7;
    return frames_.next("session two");
  }()));
  for (const auto& payload : payloads) {
    emulator_.write_frame(payload);
    EXPECT_EQ(connector.read_frame(0), payload);
  }
  connector.disconnect();
}
