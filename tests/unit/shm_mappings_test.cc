// Named mappings of any program (dumper --shm): recorded whole at the size
// their creator made them, replayed under their names with those bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "simulators/shm/shm_connector.h"
#include "simulators/shm/shm_emulator.h"
#include "unit/named_memory_test_support.h"
#include "unit/scoped_name_prefix.h"

namespace vove {

namespace {

using memory_test::ClientView;
using memory_test::SimulatorMapping;

void fill_pattern(const SimulatorMapping& mapping, std::uint8_t seed) {
  std::uint8_t value = seed;
  for (std::uint8_t& byte : mapping.bytes()) byte = value++;
}

}  // namespace

TEST(ShmRecorder, RecordsEveryMappingWholeAtItsCreatedSize) {
  const ScopedNamePrefix prefix;
  const SimulatorMapping big("vove_shm_big", 5'001);
  const SimulatorMapping tiny("vove_shm_tiny", 3);
  fill_pattern(big, 7);
  fill_pattern(tiny, 200);
  shm::Connector connector({"vove_shm_big", "vove_shm_tiny"});
  ASSERT_TRUE(connector.connect(std::chrono::milliseconds{1}));
  for (int read = 0; read < 2; ++read) {  // every read, changed or not
    const FramePayload frame = connector.read_frame(std::chrono::milliseconds{1});
    ASSERT_FALSE(frame.empty());
    const std::vector<NamedObjectView> objects = read_named_objects(frame);
    ASSERT_EQ(objects.size(), 2u);
    for (const SimulatorMapping* mapping : {&big, &tiny}) {
      const NamedObjectView object = objects[mapping == &big ? 0 : 1];
      EXPECT_EQ(object.name, mapping == &big ? "vove_shm_big" : "vove_shm_tiny");
      const auto made = static_cast<std::uint32_t>(mapping->bytes().size());
      EXPECT_EQ(object.size, memory_test::kept_size(made));
      ASSERT_EQ(object.bytes.size(), object.size);
      EXPECT_TRUE(std::equal(mapping->bytes().begin(), mapping->bytes().end(), object.bytes.begin()));
    }
    big.at(5'000)[0] = 0xee;
  }
  shm::Connector missing({"vove_shm_big", "vove_shm_absent"});
  EXPECT_FALSE(missing.connect(std::chrono::milliseconds{1}));
}

TEST(ShmReplay, RecreatesEveryMappingByNameWithTheRecordedBytes) {
  const ScopedNamePrefix prefix;
  std::vector<std::uint8_t> first(5'001);
  for (std::size_t i = 0; i < first.size(); ++i) first[i] = static_cast<std::uint8_t>(i * 7);
  const std::vector<std::uint8_t> second = {1, 2, 3};
  const auto frame = memory_test::payload_of({{"vove_shm_big", 5'001, first}, {"vove_shm_tiny", 3, second}});
  shm::Emulator emulator;
  emulator.prepare(frame);
  emulator.start();
  emulator.write_frame(frame);
  const ClientView big("vove_shm_big", 5'001);
  const ClientView tiny("vove_shm_tiny", 3);
  EXPECT_GE(*big.region_size(), 5'001u);
  EXPECT_GE(*tiny.region_size(), 3u);
  for (std::size_t i = 0; i < first.size(); ++i) ASSERT_EQ(big.byte(i), first[i]) << i;
  for (std::size_t i = 0; i < second.size(); ++i) EXPECT_EQ(tiny.byte(i), second[i]) << i;
  // A mapping first seen in a later frame is created then.
  emulator.write_frame(memory_test::payload_of({{"vove_shm_late", 16, std::vector<std::uint8_t>(16, 0x42)}}));
  const ClientView late("vove_shm_late", 16);
  EXPECT_EQ(late.byte(15), 0x42);
}

TEST(ShmReplay, SkipsHostilePayloads) {
  const ScopedNamePrefix prefix;
  for (const auto& payload : memory_test::hostile_payloads("vove_shm_huge")) {
    shm::Emulator emulator;
    emulator.prepare(payload);
    emulator.start();
    emulator.write_frame(payload);
    EXPECT_FALSE(memory_test::exists("vove_shm_huge"));
  }
}

// A later frame naming an object the system cannot create (a '/' in its
// name) is a hostile frame like any other: skipped, the replay goes on.
TEST(ShmReplay, SkipsALaterFrameNamingAnObjectTheSystemCannotCreate) {
  const ScopedNamePrefix prefix;
  const auto good = memory_test::payload_of({{"vove_shm_good", 8, std::vector<std::uint8_t>(8, 1)}});
  shm::Emulator emulator;
  emulator.prepare(good);
  emulator.start();
  emulator.write_frame(good);
  EXPECT_NO_THROW(
      emulator.write_frame(memory_test::payload_of({{"vove/shm/bad", 8, std::vector<std::uint8_t>(8, 2)}})));
  emulator.write_frame(memory_test::payload_of({{"vove_shm_good", 8, std::vector<std::uint8_t>(8, 3)}}));
  EXPECT_EQ(ClientView("vove_shm_good", 8).byte(7), 3);
}

}  // namespace vove
