#include "common/byte_coding.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

TEST(ByteCoding, WritesLittleEndianAtAnyOffset) {
  std::array<std::uint8_t, 16> bytes{};
  coding::encode_u32(bytes.data() + 1, 0x63617269u);
  EXPECT_EQ(bytes[1], 0x69);
  EXPECT_EQ(bytes[4], 0x63);
  coding::encode_u64(bytes.data() + 7, 0x0102030405060708ull);
  EXPECT_EQ(bytes[7], 0x08);
  EXPECT_EQ(bytes[14], 0x01);
  EXPECT_EQ(coding::decode_u32(bytes.data() + 1), 0x63617269u);
  EXPECT_EQ(coding::decode_u64(bytes.data() + 7), 0x0102030405060708ull);
}

TEST(ByteCoding, RoundTripsSignedAndFloat) {
  std::array<std::uint8_t, 4> bytes{};
  coding::encode_i32(bytes.data(), -2);
  EXPECT_EQ(bytes[0], 0xfe);
  EXPECT_EQ(bytes[3], 0xff);
  EXPECT_EQ(coding::decode_i32(bytes.data()), -2);
  coding::encode_f32(bytes.data(), -273.0f);
  EXPECT_EQ(coding::decode_f32(bytes.data()), -273.0f);
}
