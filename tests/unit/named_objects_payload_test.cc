// The named-object frame payload against bytes laid out by hand from its
// documented layout, and against every way its bytes can be damaged.
#include "formats/named_objects_payload.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "formats/payload_damage.h"

namespace vove {

namespace {

// Two objects: "$A" of 6 bytes with 3 copied, "B" of 2 bytes with both.
const std::vector<std::uint8_t> two_objects{
    'V', 'N', 'O', '1', 2, 0, 0, 0,                                   //
    2,   0,   '$', 'A', 6, 0, 0, 0, 3, 0, 0, 0,    0x11, 0x22, 0x33,  //
    1,   0,   'B', 2,   0, 0, 0, 2, 0, 0, 0, 0xaa, 0xbb,              //
};

TEST(NamedObjectsPayload, IsLaidOutAsDocumented) {
  NamedObjectsPayloadBuilder builder;
  const std::vector<std::uint8_t> a{0x11, 0x22, 0x33};
  const std::vector<std::uint8_t> b{0xaa, 0xbb};
  std::ranges::copy(a, builder.add("$A", 6, 3).begin());
  std::ranges::copy(b, builder.add("B", 2, 2).begin());
  EXPECT_EQ(builder.take(), two_objects);

  const std::vector<NamedObjectView> objects = read_named_objects(two_objects);
  ASSERT_EQ(objects.size(), 2u);
  EXPECT_EQ(objects[0].name, "$A");
  EXPECT_EQ(objects[0].size, 6u);
  EXPECT_EQ(std::vector<std::uint8_t>(objects[0].bytes.begin(), objects[0].bytes.end()), a);
  EXPECT_EQ(objects[1].name, "B");
  EXPECT_EQ(std::vector<std::uint8_t>(objects[1].bytes.begin(), objects[1].bytes.end()), b);
  EXPECT_EQ(find_named_object(objects, "B"), &objects[1]);
  EXPECT_EQ(find_named_object(objects, "C"), nullptr);
}

TEST(NamedObjectsPayload, EveryDamagedFormIsReportedAsDamage) {
  for (std::size_t length = 0; length < two_objects.size(); ++length) {
    const std::vector<std::uint8_t> cut(two_objects.begin(), two_objects.begin() + static_cast<std::ptrdiff_t>(length));
    EXPECT_THROW(read_named_objects(cut), PayloadDamage) << length << " bytes";
  }
  const auto changed = [](std::size_t at, std::uint8_t value) {
    std::vector<std::uint8_t> bytes = two_objects;
    bytes[at] = value;
    return bytes;
  };
  EXPECT_THROW(read_named_objects(changed(3, '2')), PayloadDamage) << "another magic";
  EXPECT_THROW(read_named_objects(changed(4, 0)), PayloadDamage) << "no objects";
  EXPECT_THROW(read_named_objects(changed(4, 65)), PayloadDamage) << "too many objects";
  EXPECT_THROW(read_named_objects(changed(4, 3)), PayloadDamage) << "one more declared than held";
  EXPECT_THROW(read_named_objects(changed(8, 0)), PayloadDamage) << "an empty name";
  EXPECT_THROW(read_named_objects(changed(16, 7)), PayloadDamage) << "more copied than the object holds";
  EXPECT_THROW(read_named_objects(changed(15, 0x10)), PayloadDamage) << "an object of 256 MiB";
  const std::vector<std::uint8_t> twice{'V', 'N', 'O', '1', 2, 0, 0,   0, 1, 0, 'B', 0, 0, 0, 0,
                                        0,   0,   0,   0,   1, 0, 'B', 0, 0, 0, 0,   0, 0, 0, 0};
  EXPECT_THROW(read_named_objects(twice), PayloadDamage) << "a name twice";
  std::vector<std::uint8_t> longer = two_objects;
  longer.push_back(0);
  EXPECT_THROW(read_named_objects(longer), PayloadDamage) << "a byte after the last object";
}

TEST(NamedObjectsPayload, TheBuilderRefusesWhatNoReaderWouldAccept) {
  NamedObjectsPayloadBuilder builder;
  EXPECT_THROW(builder.take(), std::invalid_argument);
  EXPECT_THROW(builder.add("", 1, 1), std::invalid_argument);
  EXPECT_THROW(builder.add(std::string(256, 'n'), 1, 1), std::invalid_argument);
  EXPECT_THROW(builder.add("A", 2, 3), std::invalid_argument);
  EXPECT_THROW(builder.add("A", max_named_object_size + 1, 0), std::invalid_argument);
  builder.add("A", 0, 0);
  EXPECT_THROW(builder.add("A", 0, 0), std::invalid_argument) << "a name twice";
  for (std::uint32_t i = 1; i < max_named_objects; ++i) builder.add("O" + std::to_string(i), 0, 0);
  EXPECT_THROW(builder.add("one more", 0, 0), std::invalid_argument);
  EXPECT_EQ(read_named_objects(builder.take()).size(), max_named_objects);
}

}  // namespace

}  // namespace vove
