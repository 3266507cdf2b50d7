// The rFactor 2 recorder and replay against the plugin's protocol: a
// simulator side that writes its buffers as the plugin does, and a client
// side that reads the replay as a protocol-following reader would.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "simulators/rf2/rf2_connector.h"
#include "simulators/rf2/rf2_emulator.h"
#include "unit/named_memory_test_support.h"
#include "unit/scoped_name_prefix.h"

namespace vove {

namespace {

using memory_test::ClientView;
using memory_test::Recorded;
using memory_test::SimulatorMapping;

constexpr std::string_view telemetry = "$rFactor2SMMP_Telemetry$";
constexpr std::string_view scoring = "$rFactor2SMMP_Scoring$";
constexpr std::string_view extended = "$rFactor2SMMP_Extended$";

// A buffer's bytes after a write the plugin finished: Begin == End == version.
void settle(const SimulatorMapping& buffer, std::uint32_t version) {
  buffer.put_u32(0, version);
  buffer.put_u32(4, version);
}

// The three buffers without which no rF2 is recorded, at the plugin's sizes
// unless told otherwise, Extended naming `plugin_version`.
struct Plugin {
  explicit Plugin(std::string_view plugin_version = "3.7.15.1", std::uint32_t telemetry_size = 241'680,
                  std::uint32_t scoring_size = 75'312, std::uint32_t extended_size = 10'152)
      : telemetry_buffer(telemetry, telemetry_size),
        scoring_buffer(scoring, scoring_size),
        extended_buffer(extended, extended_size) {
    settle(telemetry_buffer, 1);
    settle(scoring_buffer, 1);
    extended_buffer.put_text(8, plugin_version);
    settle(extended_buffer, 1);
  }
  SimulatorMapping telemetry_buffer;
  SimulatorMapping scoring_buffer;
  SimulatorMapping extended_buffer;
};

}  // namespace

TEST(Rf2Recorder, ConnectsOnlyOnceTheRequiredBuffersExistAndExtendedNamesAKnownLayout) {
  const ScopedNamePrefix prefix;
  rf2::Connector connector;
  EXPECT_FALSE(connector.connect(std::chrono::milliseconds{1}));
  {
    const SimulatorMapping telemetry_buffer(telemetry, 241'680);
    const SimulatorMapping scoring_buffer(scoring, 75'312);
    settle(telemetry_buffer, 1);
    settle(scoring_buffer, 1);
    EXPECT_FALSE(connector.connect(std::chrono::milliseconds{1})) << "without Extended";
  }
  const Plugin plugin("4.0.0.0");
  for (const std::string_view version : {"4.0.0.0", "", "\x01\x7f garbage", "2.9.9.9"}) {
    std::fill_n(plugin.extended_buffer.at(8), 12, std::uint8_t{0});
    plugin.extended_buffer.put_text(8, version);
    EXPECT_FALSE(connector.connect(std::chrono::milliseconds{1})) << version;
  }
  plugin.extended_buffer.put_text(8, "3.7.15.1");
  EXPECT_TRUE(connector.connect(std::chrono::milliseconds{1}));
  connector.disconnect();
  // Extended mid-write at connect: no layout can be read from it yet.
  plugin.extended_buffer.put_u32(0, 2);
  EXPECT_FALSE(connector.connect(std::chrono::milliseconds{1}));
}

TEST(Rf2Recorder, DoesNotConnectToABufferSmallerThanItsHeader) {
  const ScopedNamePrefix prefix;
  const SimulatorMapping telemetry_buffer(telemetry, 4);
  const SimulatorMapping scoring_buffer(scoring, 75'312);
  const SimulatorMapping extended_buffer(extended, 10'152);
  extended_buffer.put_text(8, "3.7.15.1");
  rf2::Connector connector;
  if (memory_test::kept_size(4) != 4) GTEST_SKIP() << "the system keeps whole pages: a 4-byte buffer is not told apart";
  EXPECT_FALSE(connector.connect(std::chrono::milliseconds{1}));
}

TEST(Rf2Recorder, RecordsEachBufferAtItsCreatedSizeAndOnlyTheHintedBytes) {
  const ScopedNamePrefix prefix;
  // A Linux bridge makes every file a flat 250,000 bytes.
  const Plugin plugin("3.7.15.1", 250'000, 250'000, 250'000);
  plugin.telemetry_buffer.put_u32(8, 100);  // in use: 8 + 100 bytes
  plugin.telemetry_buffer.at(107)[0] = 0x5c;
  plugin.telemetry_buffer.at(108)[0] = 0x6d;  // past the hint
  plugin.scoring_buffer.put_u32(8, 0);        // 0: the whole buffer
  plugin.scoring_buffer.at(249'999)[0] = 0x7e;
  rf2::Connector connector;
  ASSERT_TRUE(connector.connect(std::chrono::milliseconds{1}));
  const FramePayload frame = connector.read_frame(std::chrono::milliseconds{100});
  ASSERT_FALSE(frame.empty());
  const std::vector<NamedObjectView> objects = read_named_objects(frame);
  const NamedObjectView telemetry_object = memory_test::object_named(objects, telemetry);
  EXPECT_EQ(telemetry_object.size, memory_test::kept_size(250'000));
  ASSERT_EQ(telemetry_object.bytes.size(), 108u);
  EXPECT_EQ(telemetry_object.bytes[107], 0x5c);
  const NamedObjectView scoring_object = memory_test::object_named(objects, scoring);
  EXPECT_EQ(scoring_object.size, memory_test::kept_size(250'000));
  ASSERT_EQ(scoring_object.bytes.size(), memory_test::kept_size(250'000));
  EXPECT_EQ(scoring_object.bytes[249'999], 0x7e);
  const NamedObjectView extended_object = memory_test::object_named(objects, extended);
  EXPECT_EQ(extended_object.size, memory_test::kept_size(250'000));
  EXPECT_EQ(extended_object.bytes.size(), memory_test::kept_size(250'000));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(extended_object.bytes.data()) + 8, 8), "3.7.15.1");
}

TEST(Rf2Recorder, GivesNewDataOnlyWhenAVersionChangesAndNeverHangsOnAnUnsettledBuffer) {
  const ScopedNamePrefix prefix;
  const Plugin plugin;
  rf2::Connector connector;
  ASSERT_TRUE(connector.connect(std::chrono::milliseconds{1}));
  ASSERT_FALSE(connector.read_frame(std::chrono::milliseconds{50}).empty());
  const auto first_mark = connector.publication_mark();
  EXPECT_TRUE(connector.read_frame(std::chrono::milliseconds{20}).empty()) << "same versions";
  settle(plugin.scoring_buffer, 2);
  EXPECT_FALSE(connector.read_frame(std::chrono::milliseconds{50}).empty());
  EXPECT_NE(connector.publication_mark(), first_mark);

  // The simulator died mid-write: Begin moved on, End never followed.
  plugin.telemetry_buffer.put_u32(0, 3);
  plugin.telemetry_buffer.put_u32(4, 2);
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(connector.read_frame(std::chrono::milliseconds{20}).empty());
  EXPECT_LT(std::chrono::steady_clock::now() - start, memory_test::hang_bound);
  EXPECT_FALSE(connector.has_stopped());
  plugin.telemetry_buffer.put_u32(4, 3);
  EXPECT_FALSE(connector.read_frame(std::chrono::milliseconds{50}).empty()) << "settled again";
}

// The optional buffers the plugin made are recorded too; ForceFeedback is
// not versioned (the plugin never updates its version block), so it is
// copied as it is, whatever its first bytes hold.
TEST(Rf2Recorder, RecordsTheOptionalBuffersThePluginMade) {
  const ScopedNamePrefix prefix;
  const Plugin plugin;
  const SimulatorMapping rules("$rFactor2SMMP_Rules$", 45'272);
  settle(rules, 3);
  const SimulatorMapping force_feedback("$rFactor2SMMP_ForceFeedback$", 16);
  force_feedback.put_u32(0, 0x3f800000);
  force_feedback.put_u32(4, 0);
  rf2::Connector connector;
  ASSERT_TRUE(connector.connect(std::chrono::milliseconds{1}));
  const FramePayload frame = connector.read_frame(std::chrono::milliseconds{50});
  ASSERT_FALSE(frame.empty());
  const std::vector<NamedObjectView> objects = read_named_objects(frame);
  EXPECT_EQ(memory_test::object_named(objects, "$rFactor2SMMP_Rules$").size, memory_test::kept_size(45'272));
  const NamedObjectView recorded = memory_test::object_named(objects, "$rFactor2SMMP_ForceFeedback$");
  ASSERT_EQ(recorded.bytes.size(), memory_test::kept_size(16));
  EXPECT_EQ(coding::decode_u32(recorded.bytes.data()), 0x3f800000u);
}

TEST(Rf2Replay, WritesPlainBuffersAsRecordedAndZeroesThemAtStop) {
  const ScopedNamePrefix prefix;
  std::vector<std::uint8_t> force_feedback(16, 0);
  coding::encode_u32(force_feedback.data(), 0x3f800000);
  const auto frame = memory_test::payload_of({{"$rFactor2SMMP_ForceFeedback$", 16, force_feedback}});
  rf2::Emulator emulator;
  emulator.prepare(frame);
  emulator.start();
  emulator.write_frame(frame);
  const ClientView view("$rFactor2SMMP_ForceFeedback$", 16);
  EXPECT_EQ(view.u32(0), 0x3f800000u);
  EXPECT_EQ(view.u32(4), 0u);
  emulator.stop();
  EXPECT_TRUE(view.all_zero(0, 16));
}

TEST(Rf2Recorder, ExtendedZeroedAtShutdownMeansStopped) {
  const ScopedNamePrefix prefix;
  const Plugin plugin;
  rf2::Connector connector;
  ASSERT_TRUE(connector.connect(std::chrono::milliseconds{1}));
  ASSERT_FALSE(connector.read_frame(std::chrono::milliseconds{50}).empty());
  EXPECT_FALSE(connector.has_stopped());
  std::fill(plugin.extended_buffer.bytes().begin(), plugin.extended_buffer.bytes().end(), std::uint8_t{0});
  settle(plugin.extended_buffer, 2);
  EXPECT_TRUE(connector.read_frame(std::chrono::milliseconds{20}).empty());
  EXPECT_TRUE(connector.has_stopped());
}

// A plugin writing Telemetry at a high rate: every frame recorded holds one
// write, its first and last bytes stamped alike.
TEST(Rf2Recorder, NeverRecordsATornBuffer) {
  const ScopedNamePrefix prefix;
  const Plugin plugin;
  const SimulatorMapping& buffer = plugin.telemetry_buffer;
  constexpr std::size_t last = 241'680 - 4;
  rf2::Connector connector;
  ASSERT_TRUE(connector.connect(std::chrono::milliseconds{1}));
  std::atomic<bool> done{false};
  std::thread writer([&] {
    std::uint32_t version = 1;
    while (!done.load()) {
      buffer.put_u32(0, ++version);
      std::atomic_thread_fence(std::memory_order_seq_cst);
      // The far end first: a copy running meanwhile takes the old near
      // end and the new far one, unless the versions turn it away.
      buffer.put_u32(last, version);
      buffer.put_u32(16, version);
      std::atomic_thread_fence(std::memory_order_seq_cst);
      buffer.put_u32(4, version);
      std::this_thread::sleep_for(std::chrono::microseconds{50});
    }
  });
  int frames = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds{300};
  while (std::chrono::steady_clock::now() < end) {
    const FramePayload frame = connector.read_frame(std::chrono::milliseconds{5});
    if (frame.empty()) continue;
    const NamedObjectView object = memory_test::object_named(read_named_objects(frame), telemetry);
    if (object.bytes.size() != memory_test::kept_size(241'680)) {
      ADD_FAILURE() << object.bytes.size() << " bytes";
      break;  // the writer is joined below
    }
    const std::uint32_t stamp = coding::decode_u32(object.bytes.data() + 16);
    EXPECT_EQ(coding::decode_u32(object.bytes.data() + last), stamp);
    EXPECT_EQ(coding::decode_u32(object.bytes.data() + 0), coding::decode_u32(object.bytes.data() + 4));
    ++frames;
  }
  done = true;
  writer.join();
  EXPECT_GT(frames, 0);
}

namespace {

// One recorded frame of the three required buffers: Telemetry and Scoring
// at `version` with `mark` in their first data byte after the hint.
std::vector<std::uint8_t> recorded_frame(std::uint32_t telemetry_version, std::uint32_t scoring_version,
                                         std::uint8_t mark, std::uint32_t telemetry_size = 241'680,
                                         std::uint32_t scoring_size = 75'312, std::uint32_t extended_size = 10'152) {
  auto versioned = [](std::uint32_t version, std::size_t length, std::uint8_t byte) {
    std::vector<std::uint8_t> bytes(length, 0);
    coding::encode_u32(bytes.data(), version);
    coding::encode_u32(bytes.data() + 4, version);
    bytes[12] = byte;
    bytes[length - 1] = byte;
    return bytes;
  };
  std::vector<std::uint8_t> extended_bytes = versioned(7, extended_size, 0);
  std::memcpy(extended_bytes.data() + 8, "3.7.15.1", 8);
  return memory_test::payload_of({{std::string(telemetry), telemetry_size, versioned(telemetry_version, 2'000, mark)},
                                  {std::string(scoring), scoring_size, versioned(scoring_version, scoring_size, mark)},
                                  {std::string(extended), extended_size, extended_bytes}});
}

}  // namespace

TEST(Rf2Replay, ReaderSeesSettledRecordedDataUnderVersionsThatOnlyRise) {
  const ScopedNamePrefix prefix;
  rf2::Emulator emulator;
  const auto first = recorded_frame(40, 10, 0x11);
  emulator.prepare(first);
  emulator.start();
  const ClientView telemetry_view(telemetry, 241'680);
  const ClientView scoring_view(scoring, 75'312);

  emulator.write_frame(first);
  ASSERT_EQ(telemetry_view.u32(0), telemetry_view.u32(4));
  EXPECT_EQ(telemetry_view.byte(12), 0x11);
  EXPECT_EQ(telemetry_view.byte(1'999), 0x11);
  EXPECT_EQ(scoring_view.byte(75'311), 0x11);
  const std::uint32_t telemetry_1 = telemetry_view.u32(4);
  const std::uint32_t scoring_1 = scoring_view.u32(4);

  // Telemetry moved on, Scoring did not: only Telemetry is published again.
  emulator.write_frame(recorded_frame(41, 10, 0x22));
  ASSERT_EQ(telemetry_view.u32(0), telemetry_view.u32(4));
  EXPECT_GT(telemetry_view.u32(4), telemetry_1);
  EXPECT_EQ(telemetry_view.byte(12), 0x22);
  EXPECT_EQ(scoring_view.u32(4), scoring_1);
  EXPECT_EQ(scoring_view.u32(0), scoring_1);
  EXPECT_EQ(scoring_view.byte(12), 0x11) << "an unchanged version is not re-published";
  const std::uint32_t telemetry_2 = telemetry_view.u32(4);

  // A loop: the recording's versions go back, the published ones do not.
  emulator.begin_pass();
  emulator.write_frame(first);
  ASSERT_EQ(telemetry_view.u32(0), telemetry_view.u32(4));
  EXPECT_GT(telemetry_view.u32(4), telemetry_2);
  EXPECT_GT(scoring_view.u32(4), scoring_1);
  EXPECT_EQ(telemetry_view.byte(12), 0x11);
  const std::uint32_t telemetry_3 = telemetry_view.u32(4);
  const std::uint32_t scoring_3 = scoring_view.u32(4);

  emulator.stop();
  EXPECT_EQ(telemetry_view.u32(0), telemetry_view.u32(4));
  EXPECT_GT(telemetry_view.u32(4), telemetry_3);
  EXPECT_TRUE(telemetry_view.all_zero(8, 241'680));
  EXPECT_EQ(scoring_view.u32(0), scoring_view.u32(4));
  EXPECT_GT(scoring_view.u32(4), scoring_3);
  EXPECT_TRUE(scoring_view.all_zero(8, 75'312));
}

TEST(Rf2Replay, CreatesBuffersNoSmallerThanTheReferenceSizes) {
  const ScopedNamePrefix prefix;
  rf2::Emulator emulator;
  // A recording of small buffers, Scoring missing: readers still map the
  // plugin's full sizes.
  auto extended_bytes = std::vector<std::uint8_t>(64, 0);
  std::memcpy(extended_bytes.data() + 8, "3.7.15.1", 8);
  const auto frame = memory_test::payload_of({{std::string(telemetry), 1'000, std::vector<std::uint8_t>(1'000, 0)},
                                              {std::string(extended), 64, extended_bytes}});
  emulator.prepare(frame);
  emulator.start();
  emulator.write_frame(frame);
  for (const auto& [name, size] : {std::pair{telemetry, 241'680u}, {scoring, 75'312u}, {extended, 10'152u}}) {
    const ClientView view(name, size);  // throws when the view cannot be mapped
    ASSERT_TRUE(view.region_size().has_value()) << name;
    EXPECT_GE(*view.region_size(), size) << name;
  }
}

TEST(Rf2Replay, SkipsHostilePayloads) {
  const ScopedNamePrefix prefix;
  for (const auto& payload : memory_test::hostile_payloads(telemetry)) {
    rf2::Emulator emulator;
    emulator.prepare(payload);
    emulator.start();
    emulator.write_frame(payload);
    const ClientView view(telemetry, 241'680);
    EXPECT_LE(*view.region_size(), std::uint64_t{64} << 20);
    EXPECT_TRUE(view.all_zero(0, 241'680));
  }
}

}  // namespace vove
