// The RaceRoom recorder and replay: no consistency protocol, so the
// simulation ticks (1/400 s) and time tell new frames, and the replay must
// keep them going forward.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <utility>
#include <vector>

#include "simulators/r3e/r3e_connector.h"
#include "simulators/r3e/r3e_emulator.h"
#include "unit/named_memory_test_support.h"
#include "unit/scoped_name_prefix.h"

namespace vove {

namespace {

using memory_test::ClientView;
using memory_test::SimulatorMapping;

constexpr std::string_view r3e_name = "$R3E";
constexpr std::size_t major_at = 0;
constexpr std::size_t minor_at = 4;
constexpr std::size_t ticks_at = 44;  // player.game_simulation_ticks, i32
constexpr std::size_t time_at = 48;   // player.game_simulation_time, f64

std::vector<std::uint8_t> recorded(std::int32_t ticks, double time, std::uint8_t mark, std::uint32_t size = 43'996) {
  std::vector<std::uint8_t> bytes(size, 0);
  coding::encode_i32(bytes.data() + major_at, size == 43'996 ? 3 : 2);
  coding::encode_i32(bytes.data() + minor_at, size == 43'996 ? 5 : 16);
  coding::encode_i32(bytes.data() + ticks_at, ticks);
  coding::encode_f64(bytes.data() + time_at, time);
  bytes[2'008] = mark;
  return memory_test::payload_of({{std::string(r3e_name), size, bytes}});
}

}  // namespace

TEST(R3eRecorder, ConnectsOnlyToAKnownVersion) {
  const ScopedNamePrefix prefix;
  r3e::Connector connector;
  EXPECT_FALSE(connector.connect(std::chrono::milliseconds{1}));
  const SimulatorMapping game(r3e_name, 43'996);
  for (const auto& [major, minor] : {std::pair{4, 0}, {0, 0}, {3, 6}, {-1, 5}}) {
    coding::encode_i32(game.at(major_at), major);
    coding::encode_i32(game.at(minor_at), minor);
    EXPECT_FALSE(connector.connect(std::chrono::milliseconds{1})) << major << "." << minor;
  }
  for (const auto& [major, minor] : {std::pair{3, 5}, {3, 4}, {2, 16}}) {
    coding::encode_i32(game.at(major_at), major);
    coding::encode_i32(game.at(minor_at), minor);
    EXPECT_TRUE(connector.connect(std::chrono::milliseconds{1})) << major << "." << minor;
    connector.disconnect();
  }
}

TEST(R3eRecorder, ReadsAFrameOnlyWhenTicksOrTimeMoved) {
  const ScopedNamePrefix prefix;
  const SimulatorMapping game(r3e_name, 43'996);
  coding::encode_i32(game.at(major_at), 3);
  coding::encode_i32(game.at(minor_at), 5);
  coding::encode_i32(game.at(ticks_at), 400);
  coding::encode_f64(game.at(time_at), 1.0);
  r3e::Connector connector;
  ASSERT_TRUE(connector.connect(std::chrono::milliseconds{1}));
  const FramePayload first = connector.read_frame(std::chrono::milliseconds{50});
  ASSERT_FALSE(first.empty());
  const NamedObjectView object = memory_test::object_named(read_named_objects(first), r3e_name);
  EXPECT_EQ(object.size, memory_test::kept_size(43'996));
  EXPECT_EQ(object.bytes.size(), memory_test::kept_size(43'996));
  game.at(2'008)[0] = 9;  // other fields changing alone are no new frame
  EXPECT_TRUE(connector.read_frame(std::chrono::milliseconds{20}).empty());
  coding::encode_i32(game.at(ticks_at), 401);
  EXPECT_FALSE(connector.read_frame(std::chrono::milliseconds{50}).empty());
  EXPECT_TRUE(connector.read_frame(std::chrono::milliseconds{20}).empty());
  coding::encode_f64(game.at(time_at), 1.0025);
  EXPECT_FALSE(connector.read_frame(std::chrono::milliseconds{50}).empty());
}

TEST(R3eReplay, KeepsTicksAndTimeRisingAcrossALoop) {
  const ScopedNamePrefix prefix;
  r3e::Emulator emulator;
  // A 2.x recording, smaller than 3.5: readers still map 43,996 bytes.
  const std::vector<std::vector<std::uint8_t>> pass = {
      recorded(1'000, 2.5, 1, 39'320), recorded(1'001, 2.5025, 2, 39'320), recorded(1'002, 2.505, 3, 39'320)};
  emulator.prepare(pass.front());
  emulator.start();
  const ClientView view(r3e_name, 43'996);
  ASSERT_GE(*view.region_size(), 43'996u);
  std::int32_t last_ticks = 0;
  double last_time = 0;
  for (int loop = 0; loop < 3; ++loop) {
    emulator.begin_pass();
    for (const auto& frame : pass) {
      emulator.write_frame(frame);
      EXPECT_GT(view.i32(ticks_at), last_ticks) << loop;
      EXPECT_GT(view.f64(time_at), last_time) << loop;
      last_ticks = view.i32(ticks_at);
      last_time = view.f64(time_at);
    }
    EXPECT_EQ(view.byte(2'008), 3);
    EXPECT_EQ(view.i32(major_at), 2);
    EXPECT_EQ(view.i32(minor_at), 16);
  }
  // A tick is 1/400 s: the time goes on with the ticks, not apart from them.
  EXPECT_EQ(last_ticks, 1'002 + 2 * 3);
  EXPECT_NEAR(last_time, 2.505 + 2 * 3 / 400.0, 1e-9);
}

TEST(R3eReplay, SkipsHostilePayloads) {
  const ScopedNamePrefix prefix;
  for (const auto& payload : memory_test::hostile_payloads(r3e_name)) {
    r3e::Emulator emulator;
    emulator.prepare(payload);
    emulator.start();
    emulator.write_frame(payload);
    const ClientView view(r3e_name, 43'996);
    EXPECT_LE(*view.region_size(), std::uint64_t{64} << 20);
    EXPECT_TRUE(view.all_zero(0, 43'996));
  }
}

}  // namespace vove
