// ACC's field decoding serving Assetto Corsa 1 and EVO: each title's
// fields at the offsets its published layout gives, and nothing it lacks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/ac1_layout.h"
#include "formats/ac_field_sets.h"
#include "formats/acevo_layout.h"
#include "unit/named_memory_test_support.h"

namespace vove {

namespace {

const acc::Field* ac1_field(std::string_view name) {
  return acc::find_field(acc::field_set(ac1::ac1_source_id)->fields, name);
}

}  // namespace

TEST(AcFieldSets, Ac1HasItsOwnGraphicsFieldsAndAccsUpToEachPagesEnd) {
  struct Expected {
    std::string_view name;
    std::size_t offset;
  };
  for (const Expected& expected : {Expected{"graphics.normalizedCarPosition", 248},
                                   {"graphics.carCoordinates", 252},
                                   {"graphics.penaltyTime", 264},
                                   {"graphics.flag", 268},
                                   {"graphics.idealLineOn", 272},
                                   {"graphics.isInPitLane", 276},
                                   {"graphics.surfaceGrip", 280},
                                   {"graphics.mandatoryPitDone", 284},
                                   {"graphics.windSpeed", 288},
                                   {"graphics.windDirection", 292},
                                   {"physics.localVelocity", 568},
                                   {"physics.tyreTemp", 696},
                                   {"static.PitWindowEnd", 680},
                                   {"static.isOnline", 684}}) {
    const acc::Field* field = ac1_field(expected.name);
    ASSERT_NE(field, nullptr) << expected.name;
    EXPECT_EQ(field->offset, expected.offset) << expected.name;
  }
  EXPECT_EQ(ac1_field("graphics.carCoordinates")->count, 3u) << "the player's car alone";
  for (std::string_view absent : {"graphics.activeCars", "graphics.carID", "graphics.playerCarID", "graphics.gapAhead",
                                  "physics.waterTemp", "static.dryTyresName"}) {
    EXPECT_EQ(ac1_field(absent), nullptr) << absent;
  }
  const auto fields = acc::field_set(ac1::ac1_source_id)->fields;
  for (const acc::Field& field : fields) {
    const std::size_t end = field.page == acc::Page::graphics ? 296 : field.page == acc::Page::physics ? 712 : 688;
    EXPECT_LE(field.offset + field.size(), end) << field.full_name();
  }
}

TEST(AcFieldSets, EvoDecodesAccsPhysicsPageAloneFromItsOwnPage) {
  const acc::FieldSet& set = *acc::field_set(acevo::acevo_source_id);
  for (const acc::Field& field : set.fields) EXPECT_EQ(field.page, acc::Page::physics) << field.full_name();
  const acc::Field* speed = acc::find_field(set.fields, "speedKmh");
  ASSERT_NE(speed, nullptr);
  EXPECT_EQ(speed->offset, 28u);
  ASSERT_NE(acc::find_field(set.fields, "physics.absVibrations"), nullptr);

  std::vector<std::uint8_t> physics(800, 0);
  coding::encode_f32(physics.data() + 28, 187.5f);
  const auto payload = memory_test::payload_of({{"Local\\acevo_pmf_graphics", 4'900, std::vector<std::uint8_t>(64, 1)},
                                                {"Local\\acevo_pmf_physics", 800, physics}});
  const acc::PageBytes pages = acc::pages_of_frame(set, payload);
  EXPECT_EQ(acc::read_float(*speed, pages.physics), 187.5f);
  EXPECT_TRUE(pages.graphics.empty()) << "EVO's graphics page is not ACC's";
  EXPECT_EQ(acc::field_set(make_source_id("rf2z")), nullptr);
}

}  // namespace vove
