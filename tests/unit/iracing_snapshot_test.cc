#include "formats/iracing_snapshot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <stdexcept>

#include "common/byte_coding.h"
#include "unit/iracing_test_support.h"

namespace {

using iRacing::parse_snapshot;
using iRacing::serialise_snapshot;
using iRacing::Snapshot;

Snapshot sample_snapshot(std::int32_t entries, std::string text, std::int32_t row_length) {
  Snapshot snapshot;
  snapshot.header = iracing_test::sample_header();
  snapshot.header.variable_count = entries;
  snapshot.header.buffer_length = row_length;
  for (int i = 0; i < entries; ++i)
    snapshot.variable_headers.push_back(iracing_test::sample_entry(i));
  snapshot.session_info = std::move(text);
  snapshot.row = iracing_test::sample_row(42, static_cast<std::size_t>(row_length));
  return snapshot;
}

// Either the parse is refused with a standard error, or it reproduces the
// very bytes it was given.
void expect_refused_or_exact(const std::vector<std::uint8_t>& payload) {
  try {
    EXPECT_EQ(serialise_snapshot(parse_snapshot(payload)), payload);
  } catch (const std::invalid_argument&) {
  } catch (const std::length_error&) {
  }
}

}  // namespace

TEST(IracingSnapshot, PayloadWithoutEntriesOrTextIsHeaderLengthsAndRow) {
  const Snapshot snapshot = sample_snapshot(0, "", 16);
  const auto payload = serialise_snapshot(snapshot);
  ASSERT_EQ(payload.size(), 128u + 16u);
  const auto header = iRacing::encode_memory_header(snapshot.header);
  EXPECT_TRUE(std::equal(header.begin(), header.end(), payload.begin()));
  EXPECT_EQ(coding::decode_u64(payload.data() + 112), 0u);
  EXPECT_EQ(coding::decode_u64(payload.data() + 120), 16u);
  EXPECT_EQ(std::vector<std::uint8_t>(payload.begin() + 128, payload.end()), snapshot.row);
}

TEST(IracingSnapshot, PartsFollowEachOtherWithoutGaps) {
  const Snapshot snapshot = sample_snapshot(2, "abc", 8);
  const auto payload = serialise_snapshot(snapshot);
  ASSERT_EQ(payload.size(), 128u + 2 * 144 + 3 + 8);
  EXPECT_EQ(payload[112 + 144], snapshot.variable_headers[1].bytes[0]);
  EXPECT_EQ(coding::decode_u64(payload.data() + 400), 3u);
  EXPECT_EQ(payload[408], 'a');
  EXPECT_EQ(coding::decode_u64(payload.data() + 411), 8u);
  EXPECT_EQ(parse_snapshot(payload), snapshot);

  // Without the text, the row length follows the text length directly.
  const auto without_text = serialise_snapshot(sample_snapshot(2, "", 8));
  EXPECT_EQ(coding::decode_u64(without_text.data() + 400), 0u);
  EXPECT_EQ(coding::decode_u64(without_text.data() + 408), 8u);
}

TEST(IracingSnapshot, RefusesSnapshotsThatWouldNotParseBack) {
  Snapshot snapshot = sample_snapshot(2, "", 8);
  snapshot.variable_headers.pop_back();
  EXPECT_THROW(serialise_snapshot(snapshot), std::invalid_argument);
  snapshot = sample_snapshot(2, "", 8);
  snapshot.row.push_back(0);
  EXPECT_THROW(serialise_snapshot(snapshot), std::invalid_argument);
  snapshot = sample_snapshot(0, "", 8);
  snapshot.header.variable_count = -1;
  EXPECT_THROW(serialise_snapshot(snapshot), std::length_error);
}

TEST(IracingSnapshot, EveryTruncationAndAnyTrailingByteIsRefused) {
  const auto payload = serialise_snapshot(sample_snapshot(2, "session", 24));
  for (std::size_t length = 0; length < payload.size(); ++length) {
    const std::vector<std::uint8_t> cut(payload.begin(),
                                        payload.begin() + static_cast<std::ptrdiff_t>(length));
    EXPECT_THROW(parse_snapshot(cut), std::invalid_argument) << "length " << length;
  }
  auto longer = payload;
  longer.push_back(0);
  EXPECT_THROW(parse_snapshot(longer), std::invalid_argument);
}

TEST(IracingSnapshot, RefusesHostileCountsAndLengths) {
  const auto payload = serialise_snapshot(sample_snapshot(1, "xy", 8));
  auto hostile = payload;
  coding::encode_i32(hostile.data() + 24, -1);  // variable_count
  EXPECT_THROW(parse_snapshot(hostile), std::length_error);

  hostile = payload;
  coding::encode_i32(hostile.data() + 24, 0x7fffffff);
  EXPECT_THROW(parse_snapshot(hostile), std::invalid_argument);

  hostile = payload;
  coding::encode_u64(hostile.data() + 112 + 144, ~std::uint64_t{0});  // S
  EXPECT_THROW(parse_snapshot(hostile), std::invalid_argument);

  hostile = payload;
  coding::encode_u64(hostile.data() + 112 + 144 + 8 + 2, ~std::uint64_t{0});  // D
  EXPECT_THROW(parse_snapshot(hostile), std::invalid_argument);

  hostile = payload;
  coding::encode_i32(hostile.data() + 36, 7);  // buffer_length no longer D
  EXPECT_THROW(parse_snapshot(hostile), std::invalid_argument);
}

TEST(IracingSnapshot, RandomPayloadsNeverCrash) {
  std::mt19937 random(2024);
  const auto valid = serialise_snapshot(sample_snapshot(2, "text", 32));
  for (int trial = 0; trial < 3000; ++trial) {
    std::vector<std::uint8_t> payload;
    if (trial % 2 == 0) {
      payload.resize(random() % 700);
      for (auto& byte : payload) byte = static_cast<std::uint8_t>(random());
      // Small counts now and then, so parses also get past the header.
      if (payload.size() >= 112 && trial % 4 == 0)
        coding::encode_i32(payload.data() + 24, static_cast<std::int32_t>(random() % 4));
    } else {
      payload = valid;
      for (int flips = 0; flips < 3; ++flips)
        payload[random() % payload.size()] = static_cast<std::uint8_t>(random());
      payload.resize(payload.size() - random() % 3 + random() % 3);
    }
    expect_refused_or_exact(payload);
  }
}
