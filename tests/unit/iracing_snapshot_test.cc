#include "formats/iracing_snapshot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <stdexcept>

#include "common/byte_coding.h"
#include "formats/payload_damage.h"
#include "unit/iracing_test_support.h"

namespace vove {

TEST(IracingLayout, NewestSlotIsTheFirstOfTheGreatestTicksInTheFourSlots) {
  const std::int32_t cases[][6] = {// buffer_count, the four ticks, newest slot
                                   {4, 5, 9, 9, 1, 1},          {4, 9, 9, 9, 9, 0}, {3, 1, 2, 3, 99, 2},
                                   {4, INT_MIN, -3, -7, -4, 1}, {0, 1, 5, 6, 7, 0}, {1, 1, 5, 6, 7, 0},
                                   {-1, 1, 5, 6, 7, 0},         {5, 1, 5, 6, 7, 3}, {INT_MAX, 1, 5, 6, 7, 3}};
  for (const auto& c : cases) {
    iracing::MemoryHeader header{.buffer_count = c[0]};
    for (std::size_t i = 0; i < 4; ++i) header.buffer_slots[i].tick_count = c[i + 1];
    EXPECT_EQ(iracing::newest_slot(header), c[5]) << "buffer_count " << c[0];
  }
}

// Cut payloads are refused at every length, a zero tail (a record declaring
// more than its stream inflates to) is no reason to lose the frame, and
// payloads with a few bytes changed are refused with a standard error or read
// exactly up to the end of the row.
TEST(IracingSnapshot, RefusesCutAndDamagedPayloadsWithoutCrashing) {
  iracing::Snapshot snapshot{iracing_test::sample_header(), {}, "text", iracing_test::sample_row(42, 32)};
  snapshot.header.variable_count = 2;
  snapshot.header.buffer_length = 32;
  for (int i = 0; i < 2; ++i) snapshot.variable_headers.push_back(iracing_test::sample_entry(i));
  const auto valid = iracing::serialise_snapshot(snapshot);
  ASSERT_EQ(iracing::parse_snapshot(valid), snapshot);
  for (std::size_t length = 0; length < valid.size(); ++length)
    EXPECT_THROW(iracing::parse_snapshot(std::span(valid.data(), length)), PayloadDamage) << length;
  auto payload = valid;
  payload.resize(valid.size() + 100);
  EXPECT_EQ(iracing::parse_snapshot(payload), snapshot);
  payload = valid;
  coding::encode_i32(payload.data() + 24, -1);  // variable_count
  EXPECT_THROW(iracing::parse_snapshot(payload), PayloadDamage);

  std::mt19937 random(2024);
  for (int trial = 0; trial < 5000; ++trial) {
    payload = valid;
    for (int flips = 0; flips < 3; ++flips) payload[random() % payload.size()] = static_cast<std::uint8_t>(random());
    payload.resize(payload.size() - random() % 3 + random() % 3);
    try {
      const auto again = iracing::serialise_snapshot(iracing::parse_snapshot(payload));
      ASSERT_LE(again.size(), payload.size());
      EXPECT_TRUE(std::equal(again.begin(), again.end(), payload.begin()));
    } catch (const PayloadDamage&) {
    }
  }
}

// The smallest frame there is, no variables and no row, travels unchanged.
TEST(IracingSnapshot, AnEmptyLayoutTravelsUnchanged) {
  iracing::MemoryHeader header = iracing_test::sample_header();
  header.variable_count = 0;
  header.buffer_length = 0;
  const iracing::Snapshot empty{header, {}, "", {}};
  const auto payload = iracing::serialise_snapshot(empty);
  EXPECT_EQ(iracing::serialise_snapshot(iracing::parse_snapshot(payload)), payload);
}

}  // namespace vove
