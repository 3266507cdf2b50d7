// What the damage report tells, on the stream it was given, and the exit
// code it turns into.
#include "dumptool/damage_report.h"

#include <gtest/gtest.h>

#include <sstream>

#include "dumptool/command.h"

namespace {

using dumptool::DamageReport;

TEST(DamageReport, NothingToTellIsSuccess) {
  std::ostringstream out;
  DamageReport report(out);
  EXPECT_EQ(report.finish(), exit_success);
  EXPECT_EQ(out.str(), "");
}

TEST(DamageReport, TellsOnItsOwnStreamInTheOrderFound) {
  std::ostringstream out;
  DamageReport report(out);
  report.warn("the table changes");
  report.damaged_frame(4, 1234, "its compressed data does not inflate");
  report.damaged_frame(9, 5678, "its compressed data does not inflate");
  report.problem("in.bin: the end is missing");
  EXPECT_EQ(report.damaged_frames(), 2u);
  EXPECT_EQ(report.finish(), exit_damaged_input);
  EXPECT_EQ(out.str(),
            "Warning: the table changes\n"
            "Error: frame 4 (record at byte 1234) cannot be read, it was skipped: its compressed data does not inflate\n"
            "Error: frame 9 (record at byte 5678) cannot be read, it was skipped: its compressed data does not inflate\n"
            "Error: in.bin: the end is missing\n"
            "2 frames could not be read in all\n");
}

TEST(DamageReport, CountsTheLinesItDoesNotShow) {
  std::ostringstream out;
  DamageReport report(out);
  for (int i = 0; i < 23; ++i) report.warn("w");
  EXPECT_EQ(report.finish(), exit_success);
  EXPECT_NE(out.str().find("Warning: w\n(3 more such lines not shown)\n"), std::string::npos) << out.str();
}

}  // namespace
