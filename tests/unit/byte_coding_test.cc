#include "common/byte_coding.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

TEST(ByteCoding, LittleEndianAtAnyOffset) {
  std::array<std::uint8_t, 16> bytes{};
  coding::encode_u32(bytes.data() + 1, 0x63617269u);
  coding::encode_u64(bytes.data() + 7, 0x0102030405060708ull);
  const std::array<std::uint8_t, 16> expected{0, 0x69, 0x72, 0x61, 0x63, 0, 0, 8, 7, 6, 5, 4, 3, 2, 1, 0};
  EXPECT_EQ(bytes, expected);
  EXPECT_EQ(coding::decode_u32(bytes.data() + 1), 0x63617269u);
  EXPECT_EQ(coding::decode_u64(bytes.data() + 7), 0x0102030405060708ull);

  coding::encode_i32(bytes.data() + 3, -2);
  EXPECT_EQ(bytes[3], 0xfe);
  EXPECT_EQ(coding::decode_i32(bytes.data() + 3), -2);
  coding::encode_f32(bytes.data() + 9, -273.0f);
  EXPECT_EQ(coding::decode_f32(bytes.data() + 9), -273.0f);
}
