// The stand-in's command line: the rF2, AMS2 and RaceRoom modes, and --rate
// refused where the simulator's own rate applies instead.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "tools/sim_standin/standin_options.h"

namespace vove {

namespace {

TEST(StandinOptions, ChoosesTheNewModesAndRefusesARateTheyWouldIgnore) {
  EXPECT_EQ(parse_standin_command_line({"--sim", "rf2"}).options.simulator, StandinSimulator::rf2);
  EXPECT_EQ(parse_standin_command_line({"--sim=ams2", "--rate", "30"}).options.rate_hz, 30.0);
  const auto r3e = parse_standin_command_line({"--stamped-rows", "--sim", "r3e"}).options;
  EXPECT_EQ(r3e.simulator, StandinSimulator::r3e);
  EXPECT_TRUE(r3e.stamped_rows);

  EXPECT_THROW(parse_standin_command_line({"--rate", "5", "--sim", "rf2"}), std::invalid_argument);
  EXPECT_THROW(parse_standin_command_line({"--sim", "ams2", "--stamped-rows", "--rate", "5"}), std::invalid_argument);
  EXPECT_THROW(parse_standin_command_line({"--sim", "r3e", "--stamped-rows", "--rate", "5"}), std::invalid_argument);
  // iRacing's stamped rows keep following --rate.
  EXPECT_EQ(parse_standin_command_line({"--stamped-rows", "--rate", "360"}).options.rate_hz, 360.0);
}

}  // namespace

}  // namespace vove
