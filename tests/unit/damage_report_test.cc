// What the damage report tells, on the stream it was given, and the exit
// code it turns into.
#include "dumptool/damage_report.h"

#include <gtest/gtest.h>

#include <sstream>

#include "dumptool/command.h"

namespace vove {

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
  EXPECT_EQ(
      out.str(),
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

TEST(DamageReport, AListingOfDroppedRecordsEndsWithTheEndOfTheFile) {
  std::ostringstream out;
  DamageReport report(out, DamageReport::Listing::records);
  for (int i = 0; i < 22; ++i) report.dropped_frame("Dropped frame " + std::to_string(i));
  report.dropped_end("Dropped the end of the file from byte 99: cut short");
  EXPECT_EQ(report.damaged_frames(), 22u);
  EXPECT_EQ(report.finish(), exit_damaged_input);
  const std::string text = out.str();
  EXPECT_EQ(text.rfind("Dropped frame 0\n", 0), 0u) << text;
  EXPECT_NE(text.find("Dropped frame 19\n(and 2 more such records)\n"
                      "Dropped the end of the file from byte 99: cut short\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("Dropped frame 20"), std::string::npos) << text;
  EXPECT_EQ(text.find("in all"), std::string::npos) << text;
}

}  // namespace

}  // namespace vove
