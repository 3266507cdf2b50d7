#include "dumper/dumper_entry.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <sstream>
#include <string>

TEST(DumperEntry, RatesAreCheckedAtTheEdgesOfOneToSixty) {
  for (const int fps : {1, 60, INT_MIN, INT_MAX}) {
    const std::string value = std::to_string(fps);
    const char* argv[] = {"dumper", "--fps", value.c_str()};
    std::ostringstream out;
    std::ostringstream err;
    std::optional<std::int32_t> main_phase_fps;
    const bool accepted = fps == 1 || fps == 60;
    EXPECT_EQ(run_dumper(3, argv, out, err, [&](std::int32_t rate) { main_phase_fps = rate; }), accepted ? 0 : 1);
    EXPECT_EQ(out.str(), accepted ? "Frames per second: " + value + "\nDumper thread stopped.\nYou can now close this window.\n"
                                  : "Invalid fps value: " + value + "\nAccepted values are [1, 60]\n");
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(main_phase_fps, accepted ? std::optional<std::int32_t>(fps) : std::nullopt);
  }
}

TEST(DumperEntry, AStrayWordIsRejectedLikeAnyBadArgument) {
  const char* argv[] = {"dumper", "--fps", "30", "extra"};
  std::ostringstream out;
  std::ostringstream err;
  bool ran = false;
  EXPECT_EQ(run_dumper(4, argv, out, err, [&](std::int32_t) { ran = true; }), 1);
  EXPECT_EQ(err.str(), "Error: too many positional options have been specified on the command line\n");
  EXPECT_EQ(out.str(), "");
  EXPECT_FALSE(ran);
}
