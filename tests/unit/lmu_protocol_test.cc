// The Le Mans Ultimate recorder and replay against the game's protocol: the
// update event, the lock shared by every reader (i32 waiters at 0, i32 busy
// at 4) and the game version at 64. Offsets are written out here, so that a
// wrong layout constant shows.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "common/platform/platform.h"
#include "simulators/lmu/lmu_connector.h"
#include "simulators/lmu/lmu_emulator.h"
#include "simulators/lmu/lmu_lock.h"
#include "unit/console_capture.h"
#include "unit/named_memory_test_support.h"
#include "unit/scoped_name_prefix.h"

namespace vove {

namespace {

using namespace std::chrono_literals;
using memory_test::ClientView;
using memory_test::SimulatorMapping;

constexpr std::string_view data_name = "LMU_Data";
constexpr std::string_view data_event_name = "LMU_Data_Event";
constexpr std::string_view lock_name = "LMU_SharedMemoryLockData";
constexpr std::string_view lock_event_name = "LMU_SharedMemoryLockEvent";
constexpr std::uint32_t data_size = 324'824;
constexpr std::size_t game_version = 64;
constexpr std::size_t waiters = 0;
constexpr std::size_t busy = 4;

std::chrono::steady_clock::time_point in(std::chrono::milliseconds time) {
  return std::chrono::steady_clock::now() + time;
}

// The game's objects: the data (game version 7 unless told otherwise), the
// update event, the lock's words (both 0) and its event.
struct LmuGame {
  explicit LmuGame(std::uint32_t size = data_size, bool with_event = true, bool with_lock = true)
      : data(data_name, size) {
    data.put_u32(game_version, 7);
    if (with_event) event = platform::NamedEvent::create(data_event_name);
    if (with_lock) {
      lock.emplace(lock_name, 8);
      lock_event = platform::NamedEvent::create(lock_event_name);
    }
  }
  SimulatorMapping data;
  platform::NamedEvent event;
  std::optional<SimulatorMapping> lock;
  platform::NamedEvent lock_event;
};

}  // namespace

TEST(LmuLock, TakesAndGivesBackTheGamesBusyWordAndLeavesWaitersAsTheyWere) {
  const ScopedNamePrefix prefix;
  const LmuGame game;
  lmu::SharedLock first;
  lmu::SharedLock second;
  ASSERT_TRUE(first.open_existing());
  ASSERT_TRUE(second.open_existing());
  ASSERT_TRUE(first.lock(in(0ms)));
  EXPECT_EQ(game.lock->u32(busy), 1u);
  EXPECT_EQ(game.lock->u32(waiters), 0u);
  // Held: the other taker gives up by its deadline, counted as a waiter
  // only while it waited.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(second.lock(in(30ms)));
  EXPECT_LT(std::chrono::steady_clock::now() - start, memory_test::hang_bound);
  EXPECT_EQ(game.lock->u32(waiters), 0u);
  EXPECT_EQ(game.lock->u32(busy), 1u);
  first.unlock();
  EXPECT_EQ(game.lock->u32(busy), 0u);
  EXPECT_TRUE(second.lock(in(0ms)));
  second.unlock();

  // A release signals the game's lock event exactly when someone waits.
  ASSERT_TRUE(first.lock(in(0ms)));
  first.unlock();
  EXPECT_FALSE(game.lock_event.wait(0ms)) << "nobody waited";
  ASSERT_TRUE(first.lock(in(0ms)));
  game.lock->put_u32(waiters, 1);  // the game, waiting
  first.unlock();
  EXPECT_TRUE(game.lock_event.wait(0ms)) << "the waiting game is woken";
  game.lock->put_u32(waiters, 0);

  // A taker waiting on the event is woken by the release and takes busy.
  ASSERT_TRUE(first.lock(in(0ms)));
  std::atomic<bool> taken{false};
  std::thread waiter([&] { taken = second.lock(in(memory_test::hang_bound)); });
  while (game.lock->u32(waiters) == 0) std::this_thread::sleep_for(1ms);  // it is waiting
  first.unlock();
  waiter.join();
  EXPECT_TRUE(taken.load());
  EXPECT_EQ(game.lock->u32(busy), 1u) << "the woken taker holds busy itself";
  EXPECT_EQ(game.lock->u32(waiters), 0u);
  second.unlock();
  EXPECT_EQ(game.lock->u32(busy), 0u);
}

// Takers that hold the lock long enough to send the others to the event:
// never two inside at once, which a slow path that returned "locked"
// after a wake without taking busy would allow.
TEST(LmuLock, NeverLetsTwoTakersInAtOnce) {
  const ScopedNamePrefix prefix;
  const LmuGame game;
  std::atomic<int> inside{0};
  std::atomic<int> overlaps{0};
  std::atomic<int> entries{0};
  std::atomic<int> refusals{0};
  const auto taker = [&] {
    lmu::SharedLock lock;
    if (!lock.open_existing()) return;
    for (int i = 0; i < 40; ++i) {
      if (!lock.lock(in(memory_test::hang_bound))) {
        ++refusals;
        continue;
      }
      if (inside.fetch_add(1) != 0) ++overlaps;
      ++entries;
      std::this_thread::sleep_for(500us);
      inside.fetch_sub(1);
      lock.unlock();
    }
  };
  std::vector<std::thread> takers;
  for (int i = 0; i < 3; ++i) takers.emplace_back(taker);
  for (std::thread& thread : takers) thread.join();
  EXPECT_EQ(overlaps.load(), 0);
  EXPECT_EQ(refusals.load(), 0);
  EXPECT_EQ(entries.load(), 120);
  EXPECT_EQ(game.lock->u32(busy), 0u);
  EXPECT_EQ(game.lock->u32(waiters), 0u);
}

TEST(LmuRecorder, ConnectsOnlyToDataThatExistsAndNamesARunningGame) {
  const ScopedNamePrefix prefix;
  lmu::Connector connector;
  EXPECT_FALSE(connector.connect(1ms));
  {
    const SimulatorMapping too_short(data_name, 60);  // ends before the game version
    if (memory_test::kept_size(60) == 60) {
      EXPECT_FALSE(connector.connect(1ms));
    }
  }
  LmuGame game;
  game.data.put_u32(game_version, 0);
  EXPECT_FALSE(connector.connect(1ms)) << "game version 0: not running";
  game.data.put_u32(game_version, 7);
  EXPECT_TRUE(connector.connect(1ms));
  connector.disconnect();
}

TEST(LmuRecorder, RecordsTheWholeDataOncePerUpdateSignalledAndNothingWithoutOne) {
  const ScopedNamePrefix prefix;
  const LmuGame game;
  game.data.at(324'823)[0] = 0x5a;
  lmu::Connector connector;
  ASSERT_TRUE(connector.connect(1ms));
  EXPECT_TRUE(connector.read_frame(30ms).empty()) << "the event never fired";
  game.event.signal();
  const FramePayload frame = connector.read_frame(100ms);
  ASSERT_FALSE(frame.empty());
  const NamedObjectView data = memory_test::object_named(read_named_objects(frame), data_name);
  EXPECT_EQ(data.size, memory_test::kept_size(data_size));
  ASSERT_EQ(data.bytes.size(), memory_test::kept_size(data_size));
  EXPECT_EQ(coding::decode_u32(data.bytes.data() + game_version), 7u);
  EXPECT_EQ(data.bytes[324'823], 0x5a);
  EXPECT_TRUE(connector.read_frame(20ms).empty()) << "one signal, one frame";
  EXPECT_EQ(game.lock->u32(busy), 0u);
  EXPECT_EQ(game.lock->u32(waiters), 0u);
  EXPECT_FALSE(connector.has_stopped());

  game.data.put_u32(game_version, 0);
  game.event.signal();
  EXPECT_TRUE(connector.read_frame(50ms).empty());
  EXPECT_TRUE(connector.has_stopped()) << "game version 0";
}

TEST(LmuRecorder, ALockNeverGivenBackCostsTheFrameNotAHang) {
  const ScopedNamePrefix prefix;
  const LmuGame game;
  lmu::Connector connector;
  ASSERT_TRUE(connector.connect(1ms));
  game.lock->put_u32(busy, 1);  // a reader died holding it
  game.event.signal();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(connector.read_frame(40ms).empty());
  EXPECT_LT(std::chrono::steady_clock::now() - start, memory_test::hang_bound);
  EXPECT_EQ(game.lock->u32(busy), 1u) << "not ours to clear";
  EXPECT_EQ(game.lock->u32(waiters), 0u);
  EXPECT_FALSE(connector.has_stopped());
  game.lock->put_u32(busy, 0);
  game.event.signal();
  EXPECT_FALSE(connector.read_frame(100ms).empty());
}

// The game rewriting the data under the lock, stamps at both ends: no
// recorded frame mixes two writes.
TEST(LmuRecorder, NeverRecordsATornFrameWhileTheGameWritesUnderTheLock) {
  const ScopedNamePrefix prefix;
  const LmuGame game;
  lmu::Connector connector;
  ASSERT_TRUE(connector.connect(1ms));
  std::atomic<bool> done{false};
  std::thread writer([&] {
    lmu::SharedLock lock;
    if (!lock.open_existing()) return;
    std::uint32_t stamp = 0;
    while (!done.load()) {
      if (lock.lock(in(memory_test::hang_bound))) {
        ++stamp;
        game.data.put_u32(324'816, stamp);  // the far end first
        std::this_thread::sleep_for(200us);
        game.data.put_u32(128'468, stamp);
        lock.unlock();
        game.event.signal();
      }
      std::this_thread::sleep_for(300us);
    }
  });
  int frames = 0;
  int torn = 0;
  const auto end = std::chrono::steady_clock::now() + 300ms;
  while (std::chrono::steady_clock::now() < end) {
    const FramePayload frame = connector.read_frame(5ms);
    if (frame.empty()) continue;
    const NamedObjectView data = memory_test::object_named(read_named_objects(frame), data_name);
    if (coding::decode_u32(data.bytes.data() + 128'468) != coding::decode_u32(data.bytes.data() + 324'816)) ++torn;
    ++frames;
  }
  done = true;
  writer.join();
  EXPECT_GT(frames, 0);
  EXPECT_EQ(torn, 0) << "of " << frames;
}

// A Linux bridge publishes only the data, at a size of its own: polled,
// recorded at that size, news only when the bytes changed.
TEST(LmuRecorder, WithoutTheEventAndLockPollsForChangesAtTheCreatedSize) {
  const ScopedNamePrefix prefix;
  const LmuGame game(250'000, false, false);
  lmu::Connector connector;
  const ConsoleCapture console;
  ASSERT_TRUE(connector.connect(1ms));
  if (memory_test::kept_size(250'000) == 250'000) {
    EXPECT_EQ(console.out(), "LMU_Data is 250000 bytes, smaller than the layout's 324824: recorded at that size\n");
  }
  const FramePayload first = connector.read_frame(50ms);
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(memory_test::object_named(read_named_objects(first), data_name).size, memory_test::kept_size(250'000));
  EXPECT_TRUE(connector.read_frame(20ms).empty()) << "nothing changed";
  game.data.at(1'736)[0] = 3;
  EXPECT_FALSE(connector.read_frame(50ms).empty());
  game.data.put_u32(game_version, 0);
  EXPECT_TRUE(connector.read_frame(20ms).empty());
  EXPECT_TRUE(connector.has_stopped());
}

namespace {

// One recorded frame of LMU_Data at `size`, `mark` in its last byte.
std::vector<std::uint8_t> recorded_frame(std::uint8_t mark, std::uint32_t size = data_size) {
  std::vector<std::uint8_t> bytes(size, 0);
  coding::encode_u32(bytes.data() + game_version, 7);
  bytes[size - 1] = mark;
  return memory_test::payload_of({{std::string(data_name), size, bytes}});
}

// Counts the wakes of the update event, as a reader waiting on it sees them.
struct WakeCounter {
  WakeCounter()
      : event(platform::NamedEvent::open_existing(data_event_name)), thread([this] {
          while (!done.load())
            if (event.wait(10ms)) ++wakes;
        }) {}
  ~WakeCounter() {
    done = true;
    thread.join();
  }
  platform::NamedEvent event;
  std::atomic<bool> done{false};
  std::atomic<int> wakes{0};
  std::thread thread;
};

}  // namespace

TEST(LmuReplay, CreatesTheFourObjectsAndWritesEachFrameUnderTheLockThenSignalsOnce) {
  const ScopedNamePrefix prefix;
  lmu::Emulator emulator;
  // Recorded from a bridge smaller than the layout: readers still map it whole.
  const auto first = recorded_frame(0x11, 250'000);
  emulator.prepare(first);
  emulator.start();
  const ClientView data(data_name, data_size);  // throws when it cannot be mapped
  ASSERT_TRUE(data.region_size().has_value());
  EXPECT_GE(*data.region_size(), data_size);
  const ClientView lock(lock_name, 8);
  EXPECT_EQ(*lock.region_size(), memory_test::kept_size(8));
  EXPECT_TRUE(platform::NamedEvent::open_existing(lock_event_name).is_open());
  ASSERT_TRUE(platform::NamedEvent::open_existing(data_event_name).is_open());

  WakeCounter counter;
  constexpr int frames = 20;
  for (int i = 0; i < frames; ++i) {
    emulator.write_frame(recorded_frame(static_cast<std::uint8_t>(i + 1), 250'000));
    EXPECT_EQ(data.byte(249'999), i + 1);
    EXPECT_EQ(lock.u32(busy), 0u);
    // The wake taken before the next frame, so two signals of one frame
    // would show as two wakes.
    const auto give_up = in(memory_test::hang_bound);
    while (counter.wakes.load() <= i && std::chrono::steady_clock::now() < give_up) std::this_thread::sleep_for(1ms);
  }
  // A frame that holds no named objects is not written, nor announced.
  {
    const ConsoleCapture console;
    emulator.write_frame(memory_test::hostile_payloads(data_name).front());
  }
  std::this_thread::sleep_for(30ms);
  EXPECT_GE(counter.wakes.load(), frames - 1);
  EXPECT_LE(counter.wakes.load(), frames + 1);
  EXPECT_EQ(data.i32(game_version), 7);

  emulator.stop();
  EXPECT_EQ(data.i32(game_version), 0) << "a stopped game reads 0";
  EXPECT_EQ(lock.u32(busy), 0u);
  const auto give_up = in(memory_test::hang_bound);
  while (counter.wakes.load() <= frames && std::chrono::steady_clock::now() < give_up) std::this_thread::sleep_for(1ms);
  EXPECT_GE(counter.wakes.load(), frames) << "the stop announced";
}

TEST(LmuReplay, AReaderHoldingTheLockCostsFramesNotTheReplay) {
  const ScopedNamePrefix prefix;
  lmu::Emulator emulator;
  emulator.prepare(recorded_frame(0x11));
  emulator.start();
  emulator.write_frame(recorded_frame(0x11));
  const ClientView data(data_name, data_size);
  SimulatorMapping lock(lock_name, 8);  // opens the replay's
  lock.put_u32(busy, 1);
  const auto start = std::chrono::steady_clock::now();
  {
    const ConsoleCapture console;
    emulator.write_frame(recorded_frame(0x22));
    EXPECT_EQ(console.out(), "A frame is skipped: a reader held LMU_SharedMemoryLockData for over 100 ms\n");
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, memory_test::hang_bound);
  EXPECT_EQ(data.byte(data_size - 1), 0x11) << "not written past a held lock";
  EXPECT_EQ(lock.u32(waiters), 0u);
  lock.put_u32(busy, 0);
  emulator.write_frame(recorded_frame(0x33));
  EXPECT_EQ(data.byte(data_size - 1), 0x33);
  emulator.stop();
  EXPECT_EQ(data.i32(game_version), 0);
}

}  // namespace vove

namespace vove {

namespace {

constexpr std::string_view rf2_telemetry = "$rFactor2SMMP_Telemetry$";
constexpr std::string_view rf2_extended = "$rFactor2SMMP_Extended$";

}  // namespace

// The rF2 plugin running beside the game: its buffers go into the same
// frame, each by the plugin's protocol (Begin == End at 0 and 4 around the
// copy, only mBytesUpdatedHint's bytes after the first 8).
TEST(LmuRecorder, RecordsTheRf2PluginsBuffersInTheSameFrame) {
  const ScopedNamePrefix prefix;
  const LmuGame game;
  const SimulatorMapping telemetry(rf2_telemetry, 241'680);
  telemetry.put_u32(0, 5);
  telemetry.put_u32(4, 5);
  telemetry.put_u32(8, 100);  // in use: 8 + 100 bytes
  const SimulatorMapping extended(rf2_extended, 10'152);
  extended.put_text(8, "3.7.15.1");
  lmu::Connector connector;
  ASSERT_TRUE(connector.connect(1ms));
  game.event.signal();
  const FramePayload frame = connector.read_frame(100ms);
  ASSERT_FALSE(frame.empty());
  const auto objects = read_named_objects(frame);
  EXPECT_EQ(memory_test::object_named(objects, data_name).bytes.size(), memory_test::kept_size(data_size));
  const NamedObjectView recorded = memory_test::object_named(objects, rf2_telemetry);
  EXPECT_EQ(recorded.size, memory_test::kept_size(241'680));
  EXPECT_EQ(recorded.bytes.size(), 108u);
  EXPECT_EQ(memory_test::object_named(objects, rf2_extended).bytes.size(), memory_test::kept_size(10'152));

  // A plugin buffer mid-write is left out; the game's data is not held up.
  telemetry.put_u32(0, 6);
  game.event.signal();
  const FramePayload next = connector.read_frame(100ms);
  ASSERT_FALSE(next.empty());
  EXPECT_EQ(find_named_object(read_named_objects(next), rf2_telemetry), nullptr);
  EXPECT_NE(find_named_object(read_named_objects(next), data_name), nullptr);
}

TEST(LmuReplay, ReplaysTheRf2PluginsBuffersByThePluginsProtocol) {
  const ScopedNamePrefix prefix;
  std::vector<std::uint8_t> data(data_size, 0);
  coding::encode_u32(data.data() + game_version, 7);
  std::vector<std::uint8_t> buffer(2'000, 0);
  coding::encode_u32(buffer.data(), 40);
  coding::encode_u32(buffer.data() + 4, 40);
  buffer[1'999] = 0x6b;
  const auto frame =
      memory_test::payload_of({{std::string(data_name), data_size, data}, {std::string(rf2_telemetry), 2'000, buffer}});
  lmu::Emulator emulator;
  emulator.prepare(frame);
  emulator.start();
  emulator.write_frame(frame);
  const ClientView telemetry(rf2_telemetry, 241'680);  // the plugin's size, not the recorded one
  const ClientView replayed(data_name, data_size);
  EXPECT_EQ(telemetry.u32(0), telemetry.u32(4));
  EXPECT_NE(telemetry.u32(4), 0u);
  EXPECT_EQ(telemetry.byte(1'999), 0x6b);
  const std::uint32_t version = telemetry.u32(4);
  emulator.stop();
  EXPECT_EQ(telemetry.u32(0), telemetry.u32(4));
  EXPECT_GT(telemetry.u32(4), version) << "zeroed under a last version bump";
  EXPECT_TRUE(telemetry.all_zero(8, 241'680));
  EXPECT_EQ(replayed.i32(game_version), 0);
}

}  // namespace vove
