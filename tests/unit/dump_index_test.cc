#include "formats/dump_index.h"

#include <gtest/gtest.h>

#include <sstream>

#include "dump_test_support.h"
#include "formats/dump_file_errors.h"

namespace vove {

namespace {

using namespace dump_test;

TEST(DumpIndex, FindsEveryRecordAndStopsAtTheFirstDamagedOne) {
  const std::string first = record(noise(300, 1));
  const std::string second = record(noise(40, 2));
  const std::string intact = header(30, "accz") + first + second;
  struct Case {
    std::string tail;
    const char* reason;  // null: no damage
  };
  const Case cases[] = {
      {record(noise(10, 3)), nullptr},
      {std::string(5, 'x'), "sizes"},                                   // cut inside the next record's sizes
      {raw_record(100, 100, std::string(99, 'x')), "data"},             // cut inside its data
      {raw_record(1, 3000, "x") + record(noise(10, 3)), "impossible"},  // inflates beyond what deflate can
      {raw_record(0, 0, "") + record(noise(10, 3)), "impossible"},      // no stream at all
  };
  for (const Case& c : cases) {
    std::istringstream in(intact + c.tail);
    const DumpIndex index = DumpIndex::scan(in);
    EXPECT_EQ(index.header().fps, 30u);
    EXPECT_EQ(index.header().source_id, make_source_id("accz"));
    const std::size_t expected_records = c.reason == nullptr ? 3 : 2;
    ASSERT_EQ(index.records().size(), expected_records) << c.tail.size();
    EXPECT_EQ(index.records()[0].offset, dump_header_size);
    EXPECT_EQ(index.records()[1].offset, dump_header_size + first.size());
    EXPECT_EQ(index.records()[1].sizes.uncompressed_size, 40u);
    if (c.reason == nullptr) {
      EXPECT_FALSE(index.damage());
      EXPECT_EQ(index.intact_length(), in.str().size());
    } else {
      ASSERT_TRUE(index.damage());
      EXPECT_EQ(index.damage()->frame, 2u);
      EXPECT_EQ(index.damage()->offset, intact.size());
      EXPECT_NE(index.damage()->reason.find(c.reason), std::string::npos) << index.damage()->reason;
      EXPECT_EQ(index.intact_length(), intact.size());
    }
  }
}

TEST(DumpIndex, RefusesWhatIsNoDump) {
  for (const std::string& bytes : {std::string(), header(5).substr(0, 40), std::string(80, 'S')}) {
    std::istringstream in(bytes);
    try {
      DumpIndex::scan(in);
      ADD_FAILURE() << "scanned " << bytes.size() << " bytes";
    } catch (const DumpInputError& error) {
      EXPECT_EQ(error.kind(), DumpErrorKind::not_a_dump);
      EXPECT_STREQ(error.what(), "Invalid file format.");
    }
  }
}

}  // namespace

}  // namespace vove
