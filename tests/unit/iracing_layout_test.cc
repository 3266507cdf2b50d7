#include "formats/iracing_layout.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>

#include "common/byte_coding.h"

namespace {

using iRacing::MemoryHeader;

MemoryHeader with_ticks(std::int32_t buffer_count, std::array<std::int32_t, 4> ticks) {
  MemoryHeader header;
  header.buffer_count = buffer_count;
  for (std::size_t i = 0; i < 4; ++i) header.buffer_slots[i].tick_count = ticks[i];
  return header;
}

}  // namespace

TEST(IracingLayout, HeaderRoundTripsEveryByte) {
  std::mt19937 random(7);
  for (int trial = 0; trial < 100; ++trial) {
    iRacing::MemoryHeaderBytes bytes;
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
    EXPECT_EQ(iRacing::encode_memory_header(iRacing::decode_memory_header(bytes)), bytes);
  }
}

TEST(IracingLayout, DecodesFieldsAtTheirOffsets) {
  iRacing::MemoryHeaderBytes bytes{};
  for (int i = 0; i < 10; ++i) coding::encode_i32(bytes.data() + 4 * i, 100 + i);
  bytes[40] = 0xaa;
  bytes[47] = 0xbb;
  coding::encode_i32(bytes.data() + 48 + 16 * 3, -5);
  coding::encode_i32(bytes.data() + 52 + 16 * 3, 0x12345678);
  bytes[56 + 16 * 3] = 0xcc;

  const MemoryHeader header = iRacing::decode_memory_header(bytes);
  EXPECT_EQ(header.version, 100);
  EXPECT_EQ(header.status, 101);
  EXPECT_EQ(header.tick_rate, 102);
  EXPECT_EQ(header.session_info_update, 103);
  EXPECT_EQ(header.session_info_length, 104);
  EXPECT_EQ(header.session_info_offset, 105);
  EXPECT_EQ(header.variable_count, 106);
  EXPECT_EQ(header.variable_header_offset, 107);
  EXPECT_EQ(header.buffer_count, 108);
  EXPECT_EQ(header.buffer_length, 109);
  EXPECT_EQ(header.padding[0], 0xaa);
  EXPECT_EQ(header.padding[7], 0xbb);
  EXPECT_EQ(header.buffer_slots[3].tick_count, -5);
  EXPECT_EQ(header.buffer_slots[3].buffer_offset, 0x12345678);
  EXPECT_EQ(header.buffer_slots[3].padding[0], 0xcc);
}

TEST(IracingLayout, ConnectedIsBitZeroOfStatus) {
  MemoryHeader header;
  header.status = 2;
  EXPECT_FALSE(header.connected());
  header.status = 3;
  EXPECT_TRUE(header.connected());
}

TEST(IracingLayout, NewestSlotTakesStrictlyGreaterTicksOnly) {
  EXPECT_EQ(iRacing::newest_slot(with_ticks(4, {5, 9, 9, 1})), 1);  // a tie keeps the lower index
  EXPECT_EQ(iRacing::newest_slot(with_ticks(4, {9, 9, 9, 9})), 0);
  EXPECT_EQ(iRacing::newest_slot(with_ticks(3, {1, 2, 3, 99})), 2);  // slot 3 is not in use
  EXPECT_EQ(iRacing::newest_slot(with_ticks(4, {INT_MIN, -3, -7, -4})), 1);
}

TEST(IracingLayout, NewestSlotNeverLooksPastTheFourthSlot) {
  for (std::int32_t count : {INT_MIN, -1, 0, 1})
    EXPECT_EQ(iRacing::newest_slot(with_ticks(count, {1, 5, 6, 7})), 0);
  for (std::int32_t count : {4, 5, 100, INT_MAX})
    EXPECT_EQ(iRacing::newest_slot(with_ticks(count, {1, 5, 6, 7})), 3);
}
