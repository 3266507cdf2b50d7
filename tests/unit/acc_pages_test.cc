#include "formats/acc_pages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "common/byte_coding.h"
#include "unit/acc_test_support.h"

namespace {

bool all_zero(const std::vector<std::uint8_t>& bytes, std::size_t begin, std::size_t end) {
  return std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(begin),
                     bytes.begin() + static_cast<std::ptrdiff_t>(end), [](std::uint8_t b) { return b == 0; });
}

void expect_default(const ACC::PageSet& pages) {
  const ACC::PageSet expected = ACC::default_page_set();
  EXPECT_EQ(pages.graphics, expected.graphics);
  EXPECT_EQ(pages.physics, expected.physics);
  EXPECT_EQ(pages.static_image, expected.static_image);
}

}  // namespace

TEST(AccPageSet, DefaultIsZeroExceptTheTwoStaticFloats) {
  const ACC::PageSet pages = ACC::default_page_set();
  EXPECT_TRUE(std::all_of(pages.graphics.begin(), pages.graphics.end(), [](auto b) { return b == 0; }));
  EXPECT_TRUE(std::all_of(pages.physics.begin(), pages.physics.end(), [](auto b) { return b == 0; }));
  EXPECT_EQ(coding::decode_f32(pages.static_image.data() + 456), -273.0f);
  EXPECT_EQ(coding::decode_f32(pages.static_image.data() + 460), -273.0f);
  for (std::size_t i = 0; i < pages.static_image.size(); ++i) {
    if (i >= 456 && i < 464) continue;
    EXPECT_EQ(pages.static_image[i], 0) << "static byte " << i;
  }
}

TEST(AccPayload, PlacesEachImageAtItsSlotWithZeroGaps) {
  const ACC::PageSet pages = acc_test::live_page_set(1);
  const std::vector<std::uint8_t> payload = ACC::to_payload(pages);
  ASSERT_EQ(payload.size(), 3700u);
  EXPECT_TRUE(std::equal(pages.graphics.begin(), pages.graphics.end(), payload.begin()));
  EXPECT_TRUE(std::equal(pages.physics.begin(), pages.physics.end(), payload.begin() + 1700));
  EXPECT_TRUE(std::equal(pages.static_image.begin(), pages.static_image.end(), payload.begin() + 2700));
  EXPECT_TRUE(all_zero(payload, 1588, 1700));
  EXPECT_TRUE(all_zero(payload, 2500, 2700));
  EXPECT_TRUE(all_zero(payload, 3456, 3700));
}

TEST(AccPayload, RoundTripsAPageSet) {
  const ACC::PageSet pages = acc_test::live_page_set(2);
  const ACC::PageSet parsed = ACC::from_payload(ACC::to_payload(pages));
  EXPECT_EQ(parsed.graphics, pages.graphics);
  EXPECT_EQ(parsed.physics, pages.physics);
  EXPECT_EQ(parsed.static_image, pages.static_image);
}

TEST(AccPayload, ShortPayloadYieldsTheDefaultSet) {
  expect_default(ACC::from_payload({}));
  expect_default(ACC::from_payload(std::vector<std::uint8_t>(3699, 0xab)));
}

TEST(AccPayload, LongerPayloadIsUsedLikeOneOf3700Bytes) {
  std::vector<std::uint8_t> payload = ACC::to_payload(acc_test::live_page_set(3));
  const ACC::PageSet expected = ACC::from_payload(payload);
  payload.resize(9000, 0xcd);
  const ACC::PageSet parsed = ACC::from_payload(payload);
  EXPECT_EQ(parsed.graphics, expected.graphics);
  EXPECT_EQ(parsed.physics, expected.physics);
  EXPECT_EQ(parsed.static_image, expected.static_image);
}

// Whatever a dump file holds, parsing it is safe and keeps only the three
// image ranges: re-encoding gives the input with its gaps zeroed.
TEST(AccPayload, RandomPayloadsParseSafely) {
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    std::vector<std::uint8_t> payload(random() % 5000);
    for (auto& byte : payload) byte = static_cast<std::uint8_t>(random());
    const std::vector<std::uint8_t> again = ACC::to_payload(ACC::from_payload(payload));
    ASSERT_EQ(again.size(), 3700u);
    if (payload.size() < 3700) {
      EXPECT_EQ(again, ACC::to_payload(ACC::default_page_set()));
      continue;
    }
    std::vector<std::uint8_t> expected(payload.begin(), payload.begin() + 3700);
    std::fill(expected.begin() + 1588, expected.begin() + 1700, 0);
    std::fill(expected.begin() + 2500, expected.begin() + 2700, 0);
    std::fill(expected.begin() + 3456, expected.end(), 0);
    EXPECT_EQ(again, expected);
  }
}
