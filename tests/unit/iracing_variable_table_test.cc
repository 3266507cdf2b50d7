#include "formats/iracing_variable_table.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <limits>
#include <vector>

#include "ibt_test_support.h"
#include "tools/sim_standin/iracing_variables.h"

namespace vove::iracing {
namespace {

// The stand-in writes its headers and rows with its own encoder; reading
// them back by name must give the values it put in.
TEST(VariableTable, ReadsTheStandinsHeadersAndRowsByName) {
  const auto& variables = standin_variables();
  const std::vector<VariableHeader> headers = ibt_test::standin_variable_headers();
  const VariableTable table(headers);
  const std::size_t row_length = static_cast<std::size_t>(standin_row_length(variables));
  std::vector<std::byte> row(row_length);
  const std::int32_t tick = 600;
  fill_standin_row(row, variables, tick, 60.0);
  const std::span<const std::uint8_t> row_view(reinterpret_cast<const std::uint8_t*>(row.data()), row.size());

  ASSERT_EQ(table.variables().size(), variables.size());
  for (std::size_t i = 0; i < variables.size(); ++i) {
    const VariableInfo& info = table.variables()[i];
    EXPECT_EQ(info.name, variables[i].name);
    EXPECT_EQ(info.unit, variables[i].unit);
    EXPECT_EQ(info.count, variables[i].count);
    EXPECT_EQ(info.row_offset, variables[i].row_offset);
    EXPECT_TRUE(info.fits_row(row_length)) << info.name;
    EXPECT_EQ(encode_variable_header(info), headers[i]) << info.name;
  }
  const VariableInfo* session_time = table.find("SessionTime");
  ASSERT_NE(session_time, nullptr);
  EXPECT_EQ(session_time->type, VariableType::float64);
  EXPECT_DOUBLE_EQ(read_value(row_view, *session_time, 0), tick / 60.0);
  const VariableInfo* session_tick = table.find("SessionTick");
  ASSERT_NE(session_tick, nullptr);
  EXPECT_EQ(read_value(row_view, *session_tick, 0), tick);
  EXPECT_EQ(table.find("NoSuchVariable"), nullptr);
}

TEST(VariableTable, HostileFieldsNeverFitARow) {
  VariableInfo info;
  info.type = VariableType::float64;
  const struct {
    std::int32_t offset, count;
    VariableType type;
    bool fits;
  } cases[] = {
      {0, 2, VariableType::float64, true},
      {1, 2, VariableType::float64, false},
      {-8, 1, VariableType::float64, false},
      {0, 0, VariableType::float64, false},
      {0, -1, VariableType::integer, false},
      {8, std::numeric_limits<std::int32_t>::max(), VariableType::float64, false},
      {0, 1, static_cast<VariableType>(9), false},
  };
  for (const auto& c : cases) {
    info.row_offset = c.offset;
    info.count = c.count;
    info.type = c.type;
    EXPECT_EQ(info.fits_row(16), c.fits) << c.offset << " " << c.count;
  }
}

}  // namespace
}  // namespace vove::iracing
