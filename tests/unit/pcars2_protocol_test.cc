// The $pcars2$ recorder and replay against the game's sequence protocol:
// mSequenceNumber odd while the game writes, even when it is done.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "simulators/pcars2/pcars2_connector.h"
#include "simulators/pcars2/pcars2_emulator.h"
#include "unit/named_memory_test_support.h"
#include "unit/scoped_name_prefix.h"

namespace vove {

namespace {

using memory_test::ClientView;
using memory_test::SimulatorMapping;

constexpr std::string_view pcars2_name = "$pcars2$";
constexpr std::size_t version_at = 0;     // mVersion
constexpr std::size_t game_state_at = 8;  // mGameState: 0 exited, 2 playing
constexpr std::size_t sequence_at = 7'320;

// The game's mapping, AMS2 layout 14, in a session, between writes.
struct Pcars2Game {
  explicit Pcars2Game(std::uint32_t version = 14, std::uint32_t size = 20'700) : mapping(pcars2_name, size) {
    mapping.put_u32(version_at, version);
    mapping.put_u32(game_state_at, 2);
    mapping.put_u32(sequence_at, 2);
  }
  SimulatorMapping mapping;
};

std::vector<std::uint8_t> recorded(std::uint32_t game_state, std::uint32_t sequence, std::uint8_t mark,
                                   std::uint32_t size = 20'700, std::uint32_t version = 14) {
  std::vector<std::uint8_t> bytes(size, 0);
  coding::encode_u32(bytes.data() + version_at, version);
  coding::encode_u32(bytes.data() + game_state_at, game_state);
  coding::encode_u32(bytes.data() + sequence_at, sequence);
  bytes[20] = mark;
  bytes[size - 1] = mark;
  return memory_test::payload_of({{std::string(pcars2_name), size, bytes}});
}

}  // namespace

TEST(Pcars2Recorder, ConnectsOnlyToAKnownLayoutOfARunningGame) {
  const ScopedNamePrefix prefix;
  pcars2::Connector connector;
  EXPECT_FALSE(connector.connect(std::chrono::milliseconds{1}));
  const Pcars2Game game;
  for (const std::uint32_t version : {9u, 13u, 14u}) {
    game.mapping.put_u32(version_at, version);
    EXPECT_TRUE(connector.connect(std::chrono::milliseconds{1})) << version;
    connector.disconnect();
  }
  for (const std::uint32_t version : {0u, 7u, 8u, 15u}) {
    game.mapping.put_u32(version_at, version);
    EXPECT_FALSE(connector.connect(std::chrono::milliseconds{1})) << version;
  }
  game.mapping.put_u32(version_at, 14);
  game.mapping.put_u32(game_state_at, 0);
  EXPECT_FALSE(connector.connect(std::chrono::milliseconds{1})) << "the game has exited";
}

TEST(Pcars2Recorder, ReadsNewSequencesOnlyNeverHangsOnAnOddOneAndSeesTheGameExit) {
  const ScopedNamePrefix prefix;
  const Pcars2Game game;
  pcars2::Connector connector;
  ASSERT_TRUE(connector.connect(std::chrono::milliseconds{1}));
  const FramePayload first = connector.read_frame(std::chrono::milliseconds{50});
  ASSERT_FALSE(first.empty());
  const NamedObjectView object = memory_test::object_named(read_named_objects(first), pcars2_name);
  EXPECT_EQ(object.size, memory_test::kept_size(20'700));
  EXPECT_EQ(object.bytes.size(), memory_test::kept_size(20'700));
  EXPECT_TRUE(connector.read_frame(std::chrono::milliseconds{20}).empty()) << "same sequence";

  game.mapping.put_u32(sequence_at, 3);  // a write that never ends
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(connector.read_frame(std::chrono::milliseconds{20}).empty());
  EXPECT_LT(std::chrono::steady_clock::now() - start, memory_test::hang_bound);
  game.mapping.put_u32(sequence_at, 4);
  EXPECT_FALSE(connector.read_frame(std::chrono::milliseconds{50}).empty());
  EXPECT_FALSE(connector.has_stopped());

  game.mapping.put_u32(sequence_at, 5);
  game.mapping.put_u32(game_state_at, 0);
  game.mapping.put_u32(sequence_at, 6);
  EXPECT_TRUE(connector.read_frame(std::chrono::milliseconds{20}).empty());
  EXPECT_TRUE(connector.has_stopped());
}

// The game writing at a high rate: every frame recorded holds one write.
TEST(Pcars2Recorder, NeverRecordsATornMapping) {
  const ScopedNamePrefix prefix;
  // As a Linux bridge allocates it: the longer copy gives a write more
  // chance to land in it.
  const Pcars2Game game(14, 102'288);
  constexpr std::size_t first_stamp = 20;
  constexpr std::size_t last_stamp = 102'288 - 4;
  pcars2::Connector connector;
  ASSERT_TRUE(connector.connect(std::chrono::milliseconds{1}));
  std::atomic<bool> done{false};
  std::thread writer([&] {
    std::uint32_t sequence = 2;
    std::uint32_t stamp = 0;
    while (!done.load()) {
      game.mapping.put_u32(sequence_at, ++sequence);
      std::atomic_thread_fence(std::memory_order_seq_cst);
      // The far end first, so that a copy running meanwhile would be torn.
      game.mapping.put_u32(last_stamp, ++stamp);
      game.mapping.put_u32(first_stamp, stamp);
      std::atomic_thread_fence(std::memory_order_seq_cst);
      game.mapping.put_u32(sequence_at, ++sequence);
      std::this_thread::sleep_for(std::chrono::microseconds{50});
    }
  });
  int frames = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds{300};
  while (std::chrono::steady_clock::now() < end) {
    const FramePayload frame = connector.read_frame(std::chrono::milliseconds{5});
    if (frame.empty()) continue;
    const NamedObjectView object = memory_test::object_named(read_named_objects(frame), pcars2_name);
    if (object.bytes.size() != memory_test::kept_size(102'288)) {
      ADD_FAILURE() << object.bytes.size() << " bytes";
      break;  // the writer is joined below
    }
    EXPECT_EQ(coding::decode_u32(object.bytes.data() + sequence_at) % 2, 0u);
    EXPECT_EQ(coding::decode_u32(object.bytes.data() + last_stamp),
              coding::decode_u32(object.bytes.data() + first_stamp));
    ++frames;
  }
  done = true;
  writer.join();
  EXPECT_GT(frames, 0);
}

TEST(Pcars2Replay, KeepsTheSequenceEvenAndRisingAndLeavesTheGameExited) {
  const ScopedNamePrefix prefix;
  pcars2::Emulator emulator;
  // Layout 9, recorded mid-write: the reader still sees a finished write.
  const auto first = recorded(2, 7, 0x31, 20'576, 9);
  emulator.prepare(first);
  emulator.start();
  const ClientView view(pcars2_name, 20'700);
  ASSERT_GE(*view.region_size(), 20'700u);
  std::uint32_t last = view.u32(sequence_at);
  EXPECT_EQ(last % 2, 0u);
  auto write_and_check = [&](const std::vector<std::uint8_t>& frame, std::uint8_t mark) {
    emulator.write_frame(frame);
    const std::uint32_t sequence = view.u32(sequence_at);
    EXPECT_EQ(sequence % 2, 0u);
    EXPECT_GT(sequence, last);
    last = sequence;
    EXPECT_EQ(view.byte(20), mark);
    EXPECT_EQ(view.u32(game_state_at), 2u);
  };
  write_and_check(first, 0x31);
  EXPECT_EQ(view.u32(version_at), 9u);
  EXPECT_EQ(view.byte(20'575), 0x31);
  write_and_check(recorded(2, 9, 0x32, 20'576, 9), 0x32);
  emulator.begin_pass();
  write_and_check(first, 0x31);
  emulator.stop();
  EXPECT_EQ(view.u32(game_state_at), 0u);
  EXPECT_EQ(view.u32(sequence_at) % 2, 0u);
  EXPECT_GT(view.u32(sequence_at), last);
}

TEST(Pcars2Replay, SkipsHostilePayloads) {
  const ScopedNamePrefix prefix;
  for (const auto& payload : memory_test::hostile_payloads(pcars2_name)) {
    pcars2::Emulator emulator;
    emulator.prepare(payload);
    emulator.start();
    emulator.write_frame(payload);
    const ClientView view(pcars2_name, 20'700);
    EXPECT_LE(*view.region_size(), std::uint64_t{64} << 20);
    EXPECT_TRUE(view.all_zero(0, 20'700));
  }
}

}  // namespace vove
