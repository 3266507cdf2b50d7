#include "formats/iracing_snapshot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <stdexcept>

#include "common/byte_coding.h"
#include "unit/iracing_test_support.h"

namespace {

using iRacing::parse_snapshot;

std::vector<std::uint8_t> sample_payload(std::int32_t entries, std::string text, std::int32_t row_length) {
  iRacing::Snapshot snapshot{iracing_test::sample_header(), {}, std::move(text),
                             iracing_test::sample_row(42, static_cast<std::size_t>(row_length))};
  snapshot.header.variable_count = entries;
  snapshot.header.buffer_length = row_length;
  for (int i = 0; i < entries; ++i) snapshot.variable_headers.push_back(iracing_test::sample_entry(i));
  const auto payload = iRacing::serialise_snapshot(snapshot);
  EXPECT_EQ(parse_snapshot(payload), snapshot);
  return payload;
}

}  // namespace

TEST(IracingLayout, NewestSlotIsTheFirstOfTheGreatestTicksInTheFourSlots) {
  const std::int32_t cases[][6] = {  // buffer_count, the four ticks, newest slot
      {4, 5, 9, 9, 1, 1},          {4, 9, 9, 9, 9, 0}, {3, 1, 2, 3, 99, 2},
      {4, INT_MIN, -3, -7, -4, 1}, {0, 1, 5, 6, 7, 0}, {1, 1, 5, 6, 7, 0},
      {-1, 1, 5, 6, 7, 0},         {5, 1, 5, 6, 7, 3}, {INT_MAX, 1, 5, 6, 7, 3}};
  for (const auto& c : cases) {
    iRacing::MemoryHeader header{.buffer_count = c[0]};
    for (std::size_t i = 0; i < 4; ++i) header.buffer_slots[i].tick_count = c[i + 1];
    EXPECT_EQ(iRacing::newest_slot(header), c[5]) << "buffer_count " << c[0];
  }
}

TEST(IracingSnapshot, PartsFollowEachOtherWithoutGaps) {
  const auto bare = sample_payload(0, "", 16);
  EXPECT_EQ(bare.size(), 128u + 16u);
  EXPECT_EQ(coding::decode_u64(bare.data() + 112), 0u);
  EXPECT_EQ(coding::decode_u64(bare.data() + 120), 16u);
  const auto full = sample_payload(2, "abc", 8);
  ASSERT_EQ(full.size(), 128u + 2 * 144 + 3 + 8);
  EXPECT_EQ(coding::decode_u64(full.data() + 400), 3u);
  EXPECT_EQ(coding::decode_u64(full.data() + 411), 8u);
}

// A zero tail (a record declaring more than its stream inflates to) is no
// reason to lose the frame.
TEST(IracingSnapshot, RefusesCutAndHostilePayloadsAndIgnoresATail) {
  const auto payload = sample_payload(1, "xy", 8);
  for (std::size_t length = 0; length < payload.size(); ++length)
    EXPECT_THROW(parse_snapshot(std::span(payload.data(), length)), std::invalid_argument) << length;
  auto hostile = payload;
  hostile.resize(payload.size() + 100);
  EXPECT_EQ(parse_snapshot(hostile), parse_snapshot(payload));
  // variable_count, buffer_length (no longer D), S and D
  for (const auto& [offset, value] : {std::pair<std::size_t, std::uint64_t>{24, INT_MAX}, {36, 7}, {256, ~0ull},
                                      {266, ~0ull}}) {
    hostile = payload;
    if (offset < 112) coding::encode_i32(hostile.data() + offset, static_cast<std::int32_t>(value));
    else coding::encode_u64(hostile.data() + offset, value);
    EXPECT_THROW(parse_snapshot(hostile), std::invalid_argument) << offset;
  }
  hostile = payload;
  coding::encode_i32(hostile.data() + 24, -1);
  EXPECT_THROW(parse_snapshot(hostile), std::length_error);
}

// Valid payloads with a few bytes changed and a length off by up to two are
// refused with a standard error or read exactly up to the end of the row.
TEST(IracingSnapshot, RandomPayloadsNeverCrash) {
  std::mt19937 random(2024);
  const auto valid = sample_payload(2, "text", 32);
  for (int trial = 0; trial < 5000; ++trial) {
    auto payload = valid;
    for (int flips = 0; flips < 3; ++flips) payload[random() % payload.size()] = static_cast<std::uint8_t>(random());
    payload.resize(payload.size() - random() % 3 + random() % 3);
    try {
      const auto again = iRacing::serialise_snapshot(parse_snapshot(payload));
      ASSERT_LE(again.size(), payload.size());
      EXPECT_TRUE(std::equal(again.begin(), again.end(), payload.begin()));
    } catch (const std::invalid_argument&) {
    } catch (const std::length_error&) {
    }
  }
}
