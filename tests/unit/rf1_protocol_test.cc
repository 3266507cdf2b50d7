// The rFactor 1 / Automobilista 1 recorder and replay. The plugin offers no
// consistency protocol and no field offset is known, so the bytes alone
// tell news; it zeroes "$rFactorShared$" at session start, session end and
// shutdown, so all zero means no session; readers map the 11,367 bytes of
// layout 3.0.0.0.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

#include "formats/rf1_layout.h"
#include "simulators/rf1/rf1_connector.h"
#include "simulators/rf1/rf1_emulator.h"
#include "unit/named_memory_test_support.h"
#include "unit/scoped_name_prefix.h"

namespace vove {

namespace {

using memory_test::ClientView;
using memory_test::SimulatorMapping;

constexpr std::string_view rf1_name = "$rFactorShared$";
constexpr std::uint32_t struct_size = 11'367;

std::vector<std::uint8_t> recorded(std::uint32_t size, std::uint8_t fill) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(fill + i);
  return bytes;
}

}  // namespace

TEST(Rf1Recorder, ConnectsOnlyToAMappingThatIsNotAllZero) {
  const ScopedNamePrefix prefix;
  rf1::Connector connector;
  EXPECT_FALSE(connector.connect(std::chrono::milliseconds{1}));  // no mapping
  const SimulatorMapping game(rf1_name, struct_size);
  EXPECT_FALSE(connector.connect(std::chrono::milliseconds{1}));  // zeroed: no session
  game.at(struct_size - 1)[0] = 1;
  EXPECT_TRUE(connector.connect(std::chrono::milliseconds{1}));
  EXPECT_FALSE(connector.has_stopped());
}

TEST(Rf1Recorder, RecordsTheWholeMappingOnlyWhenItChangedAndStopsWhenZeroed) {
  const ScopedNamePrefix prefix;
  // Larger than the struct: recorded whole, at the size it was made.
  const SimulatorMapping game(rf1_name, 20'000);
  game.at(0)[0] = 7;
  game.at(19'999)[0] = 9;
  rf1::Connector connector;
  ASSERT_TRUE(connector.connect(std::chrono::milliseconds{1}));
  const FramePayload first = connector.read_frame(std::chrono::milliseconds{50});
  ASSERT_FALSE(first.empty());
  const NamedObjectView object = memory_test::object_named(read_named_objects(first), rf1_name);
  EXPECT_EQ(object.size, memory_test::kept_size(20'000));
  ASSERT_EQ(object.bytes.size(), memory_test::kept_size(20'000));
  EXPECT_EQ(object.bytes[0], 7);
  EXPECT_EQ(object.bytes[19'999], 9);
  const std::optional<std::uint64_t> mark = connector.publication_mark();
  ASSERT_TRUE(mark);
  EXPECT_TRUE(connector.read_frame(std::chrono::milliseconds{20}).empty());  // unchanged: no frame
  // Any byte is news, also past the struct's 11,367.
  game.at(15'000)[0] = 1;
  const FramePayload second = connector.read_frame(std::chrono::milliseconds{50});
  ASSERT_FALSE(second.empty());
  EXPECT_EQ(memory_test::object_named(read_named_objects(second), rf1_name).bytes[15'000], 1);
  EXPECT_NE(connector.publication_mark(), mark);
  EXPECT_FALSE(connector.has_stopped());
  // The plugin zeroes the struct at session end: no frame, and stopped.
  std::fill(game.bytes().begin(), game.bytes().end(), std::uint8_t{0});
  EXPECT_TRUE(connector.read_frame(std::chrono::milliseconds{20}).empty());
  EXPECT_TRUE(connector.has_stopped());
}

TEST(Rf1Recorder, AfterAnIdleDisconnectConnectsOnlyOnceTheBytesMoved) {
  const ScopedNamePrefix prefix;
  const SimulatorMapping game(rf1_name, struct_size);
  game.at(100)[0] = 3;
  rf1::Connector connector;
  ASSERT_TRUE(connector.connect(std::chrono::milliseconds{1}));
  ASSERT_FALSE(connector.read_frame(std::chrono::milliseconds{50}).empty());
  connector.disconnect_idle();
  EXPECT_FALSE(connector.connect(std::chrono::milliseconds{1}));
  game.at(100)[0] = 4;
  EXPECT_TRUE(connector.connect(std::chrono::milliseconds{1}));
}

TEST(Rf1Replay, CreatesAtLeastTheStructWritesFramesAsRecordedAndZeroesAtStop) {
  const ScopedNamePrefix prefix;
  for (const std::uint32_t size : {std::uint32_t{4'096}, std::uint32_t{16'000}}) {
    SCOPED_TRACE(size);
    rf1::Emulator emulator;
    const std::vector<std::vector<std::uint8_t>> frames = {recorded(size, 1), recorded(size, 2)};
    emulator.prepare(memory_test::payload_of({{std::string(rf1_name), size, frames[0]}}));
    emulator.start();
    const ClientView view(rf1_name, std::max(size, struct_size));
    ASSERT_GE(*view.region_size(), std::max(size, struct_size));
    for (const auto& bytes : frames) {
      emulator.write_frame(memory_test::payload_of({{std::string(rf1_name), size, bytes}}));
      for (const std::size_t at : {std::size_t{0}, std::size_t{size / 2}, std::size_t{size - 1}})
        EXPECT_EQ(view.byte(at), bytes[at]) << at;
    }
    // Past a smaller recording, what readers map of the struct is zero.
    EXPECT_TRUE(view.all_zero(size, struct_size));
    emulator.stop();
    EXPECT_TRUE(view.all_zero(0, std::max(size, struct_size)));
  }
}

TEST(Rf1Replay, SkipsHostilePayloads) {
  const ScopedNamePrefix prefix;
  for (const auto& payload : memory_test::hostile_payloads(rf1_name)) {
    rf1::Emulator emulator;
    emulator.prepare(payload);
    emulator.start();
    emulator.write_frame(payload);
    const ClientView view(rf1_name, struct_size);
    EXPECT_LE(*view.region_size(), std::uint64_t{64} << 20);
    EXPECT_TRUE(view.all_zero(0, struct_size));
  }
}

TEST(Rf1Layout, IsNamedOnlyForAMappingOfExactlyTheStructsSize) {
  const auto layout = [](std::uint32_t size) {
    return rf1::layout_version(memory_test::payload_of({{std::string(rf1_name), size, recorded(64, 1)}}));
  };
  EXPECT_EQ(layout(11'367), "3.0.0.0");
  EXPECT_EQ(layout(12'288), std::nullopt);  // whole pages: may be another layout
  EXPECT_EQ(layout(11'366), std::nullopt);
  EXPECT_EQ(rf1::layout_version(memory_test::payload_of({{"$R3E", 11'367, recorded(64, 1)}})), std::nullopt);
}

}  // namespace vove
