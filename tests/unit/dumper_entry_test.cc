#include "dumper/dumper_entry.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct DumperEntry : ::testing::Test {
  std::ostringstream out;
  std::ostringstream err;
  std::optional<std::int32_t> main_phase_fps;

  int run(std::vector<const char*> arguments) {
    arguments.insert(arguments.begin(), "dumper");
    return run_dumper(static_cast<int>(arguments.size()), arguments.data(), out, err,
                      [this](std::int32_t fps) { main_phase_fps = fps; });
  }
};

const std::string closing = "Dumper thread stopped.\nYou can now close this window.\n";

}  // namespace

TEST_F(DumperEntry, HelpPrintsTheOptionTableAndExitsWithOne) {
  for (const auto& arguments : {std::vector<const char*>{"--help"}, std::vector<const char*>{"--help", "--fps", "100"}}) {
    out.str("");
    EXPECT_EQ(run(arguments), 1);
    const std::string help = out.str();
    EXPECT_EQ(help.rfind("Allowed options:\n", 0), 0u) << help;
    EXPECT_NE(help.find("--help"), std::string::npos);
    EXPECT_NE(help.find("Produce help message"), std::string::npos);
    EXPECT_NE(help.find("--fps arg (=5)"), std::string::npos);
    EXPECT_NE(help.find("Frames per second [1, 60]"), std::string::npos);
    EXPECT_EQ(help.substr(help.size() - 2), "\n\n");
  }
  EXPECT_FALSE(main_phase_fps.has_value());
}

TEST_F(DumperEntry, ARejectedCommandLineIsReportedOnStandardError) {
  EXPECT_EQ(run({"--help", "--fps", "abc"}), 1);
  EXPECT_EQ(err.str(), "Error: the argument ('abc') for option '--fps' is invalid\n");
  EXPECT_EQ(out.str(), "");

  err.str("");
  EXPECT_EQ(run({"--frames", "5"}), 1);
  EXPECT_EQ(err.str().rfind("Error: ", 0), 0u);
  EXPECT_NE(err.str().find("--frames"), std::string::npos);
  EXPECT_FALSE(main_phase_fps.has_value());
}

TEST_F(DumperEntry, RatesOutsideOneToSixtyAreRefused) {
  for (const char* fps : {"0", "61", "-3", "-2147483648", "2147483647"}) {
    out.str("");
    EXPECT_EQ(run({"--fps", fps}), 1) << fps;
    EXPECT_EQ(out.str(), std::string("Invalid fps value: ") + fps + "\nAccepted values are [1, 60]\n");
  }
  EXPECT_FALSE(main_phase_fps.has_value());
}

TEST_F(DumperEntry, AnAcceptedRateRunsTheMainPhase) {
  EXPECT_EQ(run({}), 0);
  EXPECT_EQ(out.str(), "Frames per second: 5\n" + closing);
  EXPECT_EQ(main_phase_fps, 5);

  out.str("");
  EXPECT_EQ(run({"--fps=60"}), 0);
  EXPECT_EQ(main_phase_fps, 60);
  EXPECT_EQ(run({"--fps", "1"}), 0);
  EXPECT_EQ(main_phase_fps, 1);
  EXPECT_EQ(err.str(), "");
}

TEST_F(DumperEntry, AnErrorInTheMainPhaseIsPrintedOnceAndExitsWithZero) {
  const char* arguments[] = {"dumper", "--fps", "30"};
  const int code = run_dumper(3, arguments, out, err, [](std::int32_t) {
    throw std::runtime_error("Error setting console control handler.");
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(out.str(), "Frames per second: 30\n"
                       "An error occurred: Error setting console control handler.\n" + closing);
}
