#include "simulators/iracing/iracing_emulator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "formats/iracing_snapshot.h"
#include "unit/console_capture.h"
#include "unit/error_message.h"
#include "unit/iracing_test_support.h"
#include "unit/scoped_name_prefix.h"

namespace vove {

namespace {

using iracing::Snapshot;

// A started emulator, its mapping opened as a telemetry reader opens it, and
// frames as a three-slot simulator records them.
class IracingEmulator : public ::testing::Test {
 protected:
  IracingEmulator() {
    emulator_.start();
    reader_.emplace();
  }
  void write(const Snapshot& snapshot) { emulator_.write_frame(iracing::serialise_snapshot(snapshot)); }
  std::string text_at(std::int64_t offset, std::size_t count) const {
    const auto bytes = reader_->read(offset, count);
    return std::string(bytes.begin(), bytes.end());
  }
  // Each tick in the slot after the last one's.
  Snapshot next(std::string text = "") {
    header_.buffer_slots[static_cast<std::size_t>((iracing::newest_slot(header_) + 1) % 3)].tick_count = ++tick_;
    Snapshot snapshot{header_, {}, std::move(text), iracing_test::sample_row(tick_)};
    for (int i = 0; i < header_.variable_count; ++i)
      snapshot.variable_headers.push_back(iracing_test::sample_entry(i + tick_));
    return snapshot;
  }

  ScopedNamePrefix prefix_;
  iracing::Emulator emulator_;
  std::optional<iracing_test::Telemetry> reader_;
  iracing::MemoryHeader header_ = iracing_test::sample_header();
  std::int32_t tick_ = 0;
};

}  // namespace

TEST(IracingEmulatorStart, ReportsWhatFailed) {
  ScopedNamePrefix prefix(std::string(300, 'n'));  // longer than any name the platform accepts
  iracing::Emulator emulator;
  EXPECT_EQ(message_of([&] { emulator.start(); }), "Failed to create file mapping");
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

// Clients search the whole declared area (1024 bytes here), so a shorter
// text leaves nothing of a longer one behind it; the area's end is kept.
TEST_F(IracingEmulator, ShorterSessionTextLeavesNothingOfTheLongerOne) {
  reader_->write(1024 + 1024, std::vector<std::uint8_t>{'!'});
  write(next(std::string(1000, 'x')));
  write(next("ab"));
  EXPECT_EQ(text_at(1024, 1025), "ab" + std::string(1022, '\0') + "!");
  header_.session_info_length = 2;  // no room after the text: nothing zeroed
  write(next("cd"));
  EXPECT_EQ(text_at(1024, 3), std::string("cd\0", 3));
}

// Several clients waiting on the data-valid event at once, as several
// overlays do, each waiting as the simulator's own client does (on the event
// with a time-out, then a look at the header's tick): every one is woken
// for (nearly) every frame, and none is woken over and over for one frame.
TEST_F(IracingEmulator, EveryWaitingClientWakesForEveryFrame) {
  constexpr int frames = 60;
  for (const int clients : {2, 5}) {
    SCOPED_TRACE(std::to_string(clients) + " clients");
    std::atomic<int> waiting{0};
    std::atomic<int> in_wait{0};
    std::atomic<bool> done{false};
    std::vector<int> woken(static_cast<std::size_t>(clients));
    std::vector<int> wakes(static_cast<std::size_t>(clients));
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
      threads.emplace_back([&, c] {
        const auto event = platform::NamedEvent::open_existing(iracing::data_valid_event_name);
        const auto newest_tick = [this] {
          const iracing::MemoryHeader header = reader_->read_header();
          return header.buffer_slots[static_cast<std::size_t>(iracing::newest_slot(header))].tick_count;
        };
        std::int32_t last = newest_tick();
        waiting.fetch_add(1);
        while (!done.load()) {
          in_wait.fetch_add(1);
          const bool signalled = event.wait(std::chrono::milliseconds{100});
          in_wait.fetch_sub(1);
          if (!signalled) continue;
          ++wakes[static_cast<std::size_t>(c)];
          const std::int32_t tick = newest_tick();
          if (tick != last) ++woken[static_cast<std::size_t>(c)];
          last = tick;
        }
      });
    }
    while (waiting.load() < clients) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    for (int frame = 0; frame < frames; ++frame) {
      // Every client back in its wait first (bounded: a client that missed
      // the frame before is back after its time-out), so a busy machine
      // that was slow to run a client does not count against the signal.
      const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
      while (in_wait.load() < clients && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      write(next());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    done.store(true);
    for (auto& thread : threads) thread.join();
    for (int c = 0; c < clients; ++c) {
      // Not quite all on POSIX under load: a waiter that gets no processor
      // within a few milliseconds misses a wake (a loaded two-core machine
      // running the suite in parallel gave 80%). One post per frame gave
      // each of two clients about half, each of five about a fifth.
      const int percent = platform::every_waiter_wake_is_certain ? 95 : 67;
      EXPECT_GE(woken[static_cast<std::size_t>(c)], frames * percent / 100) << "client " << c;
      EXPECT_LE(wakes[static_cast<std::size_t>(c)], frames * platform::waiters_woken_on_posix) << "client " << c;
    }
  }
}

// A client still holding the mapping sees the simulator stop; every other
// field keeps the last frame's value.
TEST_F(IracingEmulator, StopClearsTheConnectedBit) {
  header_.status = iracing::status_connected | 0x10;
  write(next());
  iracing::MemoryHeader expected = reader_->read_header();
  emulator_.stop();
  expected.status = 0x10;
  EXPECT_EQ(reader_->read_header(), expected);
  emulator_.stop();  // nothing left to release or write
}

// Looping: the first frame again must not take the clients back in time.
TEST_F(IracingEmulator, ARestartContinuesTicksAndRaisesTheSessionUpdate) {
  std::vector<Snapshot> pass;
  for (int i = 0; i < 4; ++i) pass.push_back(next(i == 0 ? "first text" : ""));
  pass[2].header.session_info_update = 2;
  pass[2].session_info = "second";
  pass[3].header.session_info_update = 2;
  emulator_.begin_pass();
  for (const Snapshot& frame : pass) write(frame);
  const iracing::MemoryHeader end_of_first = reader_->read_header();
  EXPECT_EQ(end_of_first, pass[3].header);  // the first pass is written as recorded

  emulator_.begin_pass();
  write(pass[0]);
  const iracing::MemoryHeader restarted = reader_->read_header();
  // Ticks 3, 4, 2 ended the pass; the restart's slots hold 0, 1, 0 as
  // recorded, now 5 higher: every slot rises.
  for (int i = 0; i < 3; ++i) {
    EXPECT_GT(restarted.buffer_slots[static_cast<std::size_t>(i)].tick_count,
              end_of_first.buffer_slots[static_cast<std::size_t>(i)].tick_count)
        << i;
  }
  EXPECT_EQ(restarted.buffer_slots[1].tick_count, 1 + 5);
  EXPECT_EQ(restarted.session_info_update, 3);
  EXPECT_EQ(text_at(1024, 11), std::string("first text\0", 11));
  write(pass[1]);
  EXPECT_EQ(reader_->read_header().buffer_slots[2].tick_count, 2 + 5);
  write(pass[2]);
  EXPECT_EQ(reader_->read_header().session_info_update, 4);
}

// The pass may end with its highest tick in any slot, the first included.
TEST_F(IracingEmulator, ARestartRisesAboveAHighestTickInTheFirstSlot) {
  std::vector<Snapshot> pass;
  for (int i = 0; i < 3; ++i) pass.push_back(next());
  emulator_.begin_pass();
  for (const Snapshot& frame : pass) write(frame);
  ASSERT_EQ(reader_->read_header().buffer_slots[0].tick_count, 3);  // ticks 3, 1, 2
  emulator_.begin_pass();
  write(pass[0]);
  const iracing::MemoryHeader restarted = reader_->read_header();
  for (int i = 0; i < 3; ++i) EXPECT_GT(restarted.buffer_slots[static_cast<std::size_t>(i)].tick_count, 3) << i;
}

// The shortest row there is, one byte, is written like any other, and
// refused like any other when it lies outside the mapping.
TEST_F(IracingEmulator, AOneByteRowIsWrittenOrRefusedLikeAnyOther) {
  header_.buffer_length = 1;
  Snapshot frame = next();
  frame.row = iracing_test::sample_row(tick_, 1);
  write(frame);
  const auto& newest = frame.header.buffer_slots[static_cast<std::size_t>(iracing::newest_slot(frame.header))];
  EXPECT_EQ(reader_->read(newest.buffer_offset, 1), frame.row);

  ConsoleCapture console;
  Snapshot outside = next();
  outside.row = iracing_test::sample_row(tick_, 1);
  for (auto& slot : outside.header.buffer_slots) slot.buffer_offset = static_cast<std::int32_t>(iracing::mapping_size);
  write(outside);
  EXPECT_EQ(reader_->read_header(), frame.header);
  EXPECT_NE(console.out().find("data row does not fit"), std::string::npos) << console.out();
}

// Started in the middle (--from): the slots the first frame does not write
// hold the earlier frames' rows, and the text in force is written with it.
TEST_F(IracingEmulator, TheFirstImageOfARangeIsComplete) {
  std::vector<Snapshot> frames;
  for (int i = 0; i < 8; ++i) frames.push_back(next(i == 1 ? "text in force" : ""));
  for (int i = 6; i >= 0; --i) {
    const bool wants_more =
        emulator_.take_earlier_frame(iracing::serialise_snapshot(frames[static_cast<std::size_t>(i)]));
    EXPECT_EQ(wants_more, i > 1) << i;  // three slots by frame 4, the text at frame 1
    if (!wants_more) break;
  }
  emulator_.begin_pass();
  write(frames[7]);
  EXPECT_EQ(reader_->read_header(), frames[7].header);
  for (const auto& slot : frames[7].header.buffer_slots) {
    if (slot.tick_count == 0) continue;
    EXPECT_EQ(reader_->read(slot.buffer_offset, 64), iracing_test::sample_row(slot.tick_count)) << slot.tick_count;
  }
  EXPECT_EQ(text_at(1024, 14), std::string("text in force\0", 14));
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
  const iracing::MemoryHeader before = reader_->read_header();
  const auto end = static_cast<std::int32_t>(iracing::mapping_size);
  ConsoleCapture console;
  const auto skipped = [&](auto change) {
    Snapshot frame = next("text");
    change(frame.header);
    write(frame);
    EXPECT_EQ(reader_->read_header(), before);
  };
  for (const std::int32_t offset : {-1, INT_MIN, INT_MAX, end - 3}) {
    skipped([&](iracing::MemoryHeader& h) {
      for (auto& slot : h.buffer_slots) slot.buffer_offset = offset;
    });
    skipped([&](iracing::MemoryHeader& h) { h.variable_header_offset = offset; });
    skipped([&](iracing::MemoryHeader& h) { h.session_info_offset = offset; });
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

// A client copies the newest row and keeps it if the slot still holds the
// tick it read; it takes only ticks above the last it took. Frames recorded three ticks apart (10 or 20 frames per
// second of a three-slot simulator) land in the slot a client may be
// copying, as do all frames of a one-slot header: such a copy must fail its
// check rather than pass with a row of the next frame under the older tick.
TEST_F(IracingEmulator, AClientsCheckedCopyIsNeverARowOfAnotherFrame) {
  constexpr std::int32_t row_length = 64 * 1024;
  for (const int slots : {1, 3}) {
    SCOPED_TRACE(std::to_string(slots) + " slots");
    iracing::MemoryHeader header = header_;
    header.buffer_count = slots;
    header.buffer_length = row_length;
    header.variable_count = 0;
    for (int i = 0; i < 4; ++i) header.buffer_slots[static_cast<std::size_t>(i)] = {0, 16384 + row_length * i, {}};

    std::atomic<bool> writing = true;
    std::atomic<int> checked_copies = 0;
    std::atomic<int> rows_of_another_frame = 0;
    std::jthread client([&] {
      std::vector<std::uint8_t> row(row_length);
      std::int32_t last_tick = 0;
      std::minstd_rand random(12345);
      std::uniform_int_distribution<int> delays(0, 300);
      while (writing.load()) {
        const iracing::MemoryHeader seen = reader_->read_header();
        const int slot = iracing::newest_slot(seen);
        const std::int32_t tick = seen.buffer_slots[static_cast<std::size_t>(slot)].tick_count;
        if (tick < last_tick) last_tick = tick;  // taken for a restart, as iRacing's own client does
        if (tick <= last_tick || seen.buffer_length != row_length) continue;
        // Held up for a while between reading the tick and copying, as a
        // client may be by other work, so that copies meet rewrites.
        const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(delays(random));
        while (std::chrono::steady_clock::now() < until) {
        }
        std::atomic_thread_fence(std::memory_order_acquire);
        row = reader_->read(seen.buffer_slots[static_cast<std::size_t>(slot)].buffer_offset, row_length);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (reader_->read_header().buffer_slots[static_cast<std::size_t>(slot)].tick_count != tick) continue;
        last_tick = tick;
        ++checked_copies;
        if (row != iracing_test::sample_row(tick, row_length)) ++rows_of_another_frame;
      }
    });
    // Every tick a multiple of three: always the first slot.
    for (std::int32_t tick = 100000 * slots; tick < 100000 * slots + 3 * 3000; tick += 3) {
      header.buffer_slots[0].tick_count = tick;
      emulator_.write_frame(iracing::serialise_snapshot({header, {}, "", iracing_test::sample_row(tick, row_length)}));
    }
    writing = false;
    client.join();
    EXPECT_GT(checked_copies.load(), 0);
    EXPECT_EQ(rows_of_another_frame.load(), 0) << "of " << checked_copies.load() << " checked copies";
  }
}

}  // namespace vove
