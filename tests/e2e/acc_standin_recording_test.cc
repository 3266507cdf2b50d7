// A recording of the ACC stand-in made by dumper, looked into with dumptool
// as a user would: the csv values must hold the relations a live session
// shows (status live, both packet counters rising at their own rates, lap
// counters and times that agree with the laps driven, speed the derivative
// of the distance), info must name the session, and the report's lap table
// must hold the laps driven.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace vove {

namespace {

using namespace std::chrono_literals;

constexpr double laps_driven[] = {2.5, 2.3, 2.4};  // seconds, in turn
constexpr int acc_fps = 30;

std::vector<std::string> split_dropping_cr(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  for (std::string part; std::getline(in, part, separator);) {
    if (!part.empty() && part.back() == '\r') part.pop_back();
    parts.push_back(part);
  }
  return parts;
}

// Column name -> values of every row.
std::map<std::string, std::vector<double>> columns_of(const std::string& csv) {
  const auto lines = split_dropping_cr(csv, '\n');
  std::map<std::string, std::vector<double>> columns;
  if (lines.empty()) return columns;
  const auto names = split_dropping_cr(lines[0], ',');
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const auto fields = split_dropping_cr(lines[i], ',');
    EXPECT_EQ(fields.size(), names.size()) << lines[i];
    for (std::size_t c = 0; c < names.size() && c < fields.size(); ++c) {
      columns[names[c]].push_back(fields[c].empty() ? std::nan("") : std::stod(fields[c]));
    }
  }
  return columns;
}

double lap_time_of(int lap_number) { return laps_driven[(lap_number - 1) % 3]; }

TEST(AccStandinRecording, CsvInfoAndReportShowALiveSessionOfTheLapsDriven) {
  E2eSandbox sandbox("acc_standin_recording");
  const auto recording =
      record_standin(sandbox, {"--sim", "acc", "--rate", "120", "--lap-seconds", "2.5,2.3,2.4"}, acc_fps, 9s);
  ASSERT_FALSE(recording.empty());

  const RunResult csv = run_dumptool(
      sandbox, {"csv", recording.string(), "--vars",
                "graphics.status,graphics.packetId,physics.packetId,graphics.completedLaps,graphics.iCurrentTime,"
                "graphics.iLastTime,graphics.iBestTime,graphics.normalizedCarPosition,graphics.distanceTraveled,"
                "physics.speedKmh,physics.gear,physics.rpms,physics.gas,physics.brake"});
  ASSERT_EQ(csv.status.code, 0) << csv.error;
  auto c = columns_of(csv.output);
  const std::size_t rows = c["seconds"].size();
  ASSERT_GE(rows, static_cast<std::size_t>(7 * acc_fps));

  int lap_changes = 0;
  double best = 0.0;
  std::size_t speed_rows = 0, speed_agrees = 0;
  for (std::size_t i = 0; i < rows; ++i) {
    SCOPED_TRACE("row " + std::to_string(i));
    EXPECT_EQ(c["graphics.status"][i], 2.0) << "ACC_LIVE";
    const double position = c["graphics.normalizedCarPosition"][i];
    EXPECT_TRUE(position >= 0.0 && position <= 1.0);
    const int completed = static_cast<int>(c["graphics.completedLaps"][i]);
    EXPECT_LE(c["graphics.iCurrentTime"][i], lap_time_of(completed + 1) * 1000.0 + 1.0);
    const double gear = c["physics.gear"][i] - 1.0;  // the pages count 0 reverse, 1 neutral
    EXPECT_TRUE(gear >= 1.0 && gear <= 6.0) << gear;
    EXPECT_FALSE(c["physics.gas"][i] > 0.0 && c["physics.brake"][i] > 0.0) << "throttle and brake at once";
    if (completed > 0) {
      // The last lap is the one the stand-in drove before this one.
      EXPECT_NEAR(c["graphics.iLastTime"][i], lap_time_of(completed) * 1000.0, 1.0);
      if (best == 0.0 || c["graphics.iLastTime"][i] < best) best = c["graphics.iLastTime"][i];
      EXPECT_EQ(c["graphics.iBestTime"][i], best);
    }
    if (i == 0) continue;
    // Each page counts its own steps; the physics page five to a graphics one.
    const double graphics_steps = c["graphics.packetId"][i] - c["graphics.packetId"][i - 1];
    const double physics_steps = c["physics.packetId"][i] - c["physics.packetId"][i - 1];
    EXPECT_GE(graphics_steps, 0.0);
    EXPECT_GE(physics_steps, 0.0);
    if (c["graphics.completedLaps"][i] != c["graphics.completedLaps"][i - 1]) {
      ++lap_changes;
      EXPECT_EQ(c["graphics.completedLaps"][i], c["graphics.completedLaps"][i - 1] + 1);
    }
    // Speed is the derivative of the distance, between updates a row apart.
    // The pages have no protocol against a copy taken while the simulator
    // writes them, so a row may pair fields of two updates: on a busy machine
    // a few do, and the relation must hold for nearly all rows, not all.
    const double step_seconds = graphics_steps / 120.0;
    if (graphics_steps > 0) {
      const double moved = c["graphics.distanceTraveled"][i] - c["graphics.distanceTraveled"][i - 1];
      const double mean_speed = (c["physics.speedKmh"][i] + c["physics.speedKmh"][i - 1]) / 2.0 / 3.6;
      ++speed_rows;
      if (std::abs(moved / step_seconds - mean_speed) <= 0.1 * mean_speed + 1.0) ++speed_agrees;
    }
  }
  EXPECT_GE(speed_agrees, speed_rows * 9 / 10) << "of " << speed_rows << " rows a step apart";
  EXPECT_GE(speed_rows, rows / 2);
  EXPECT_GE(lap_changes, 2);
  const double graphics_total = c["graphics.packetId"].back() - c["graphics.packetId"].front();
  const double physics_total = c["physics.packetId"].back() - c["physics.packetId"].front();
  EXPECT_NEAR(physics_total, 5.0 * graphics_total, 6.0);

  const RunResult info = run_dumptool(sandbox, {"info", recording.string()});
  ASSERT_EQ(info.status.code, 0) << info.error;
  for (const char* line :
       {"Track:           standin_ring\n", "Car:             standin_gt3\n", "Player:          Alex Novak (AlexN)\n",
        "Session:         Race (ACC_RACE)\n", "Status:          Live (ACC_LIVE)\n"}) {
    EXPECT_NE(info.output.find(line), std::string::npos) << line << info.output;
  }

  const auto report_path = sandbox.directory() / "report.html";
  const RunResult report = run_dumptool(sandbox, {"report", recording.string(), "-o", report_path.string()});
  ASSERT_EQ(report.status.code, 0) << report.error;
  std::ifstream in(report_path);
  const std::string html((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::regex row(R"re(data-lap="(\d+)" data-complete="1" data-seconds="([0-9.]+)")re");
  int complete = 0;
  for (auto it = std::sregex_iterator(html.begin(), html.end(), row); it != std::sregex_iterator(); ++it) {
    ++complete;
    EXPECT_NEAR(std::stod((*it)[2]), lap_time_of(std::stoi((*it)[1])), 1.0 / acc_fps) << (*it)[0];
  }
  EXPECT_GE(complete, 2);
  EXPECT_NE(html.find("<th>Track</th><td>standin_ring</td>"), std::string::npos);
  EXPECT_EQ(html.find("No chart of"), std::string::npos) << report.error;
}

}  // namespace

}  // namespace vove
