// The iRacing stand-in's motion, checked on a recording that dumper made of
// it, read with the formats' own variable table (by iRacing's names): the
// relations real telemetry obeys hold between the recorded values, whatever
// the stand-in computes them from. The session text is read here by plain
// text search, not by the tools' reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <memory>
#include <numbers>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "formats/iracing_variable_table.h"

namespace vove {

using namespace std::chrono_literals;

namespace {

constexpr int car_slots = 64;
constexpr double track_metres = 360.0;

struct Row {
  double t, lap, pct, dist, speed, rpm, gear, throttle, brake, last, best, current, lat, lon;
  int player;
  std::array<double, car_slots> car_pct, car_lap;
};

double value(const iracing::VariableTable& table, const std::vector<std::uint8_t>& row, const char* name,
             std::int32_t index = 0) {
  const iracing::VariableInfo* v = table.find(name);
  EXPECT_NE(v, nullptr) << name;
  if (v == nullptr || !v->fits_row(row.size()) || index >= v->count) return std::nan("");
  return iracing::read_value(row, *v, index);
}

// One row per tick (a frame dumper repeated for want of a new tick is left out).
std::vector<Row> rows_of(const std::vector<IracingFrame>& frames) {
  std::vector<Row> rows;
  std::int32_t last_tick = 0;
  for (const IracingFrame& frame : frames) {
    if (!rows.empty() && frame.tick == last_tick) continue;
    last_tick = frame.tick;
    const iracing::VariableTable table(frame.snapshot.variable_headers);
    const auto& r = frame.snapshot.row;
    Row row{};
    row.t = value(table, r, "SessionTime");
    row.lap = value(table, r, "Lap");
    row.pct = value(table, r, "LapDistPct");
    row.dist = value(table, r, "LapDist");
    row.speed = value(table, r, "Speed");
    row.rpm = value(table, r, "RPM");
    row.gear = value(table, r, "Gear");
    row.throttle = value(table, r, "Throttle");
    row.brake = value(table, r, "Brake");
    row.last = value(table, r, "LapLastLapTime");
    row.best = value(table, r, "LapBestLapTime");
    row.current = value(table, r, "LapCurrentLapTime");
    row.lat = value(table, r, "Lat");
    row.lon = value(table, r, "Lon");
    row.player = static_cast<int>(value(table, r, "PlayerCarIdx"));
    for (int c = 0; c < car_slots; ++c) {
      row.car_pct[static_cast<std::size_t>(c)] = value(table, r, "CarIdxLapDistPct", c);
      row.car_lap[static_cast<std::size_t>(c)] = value(table, r, "CarIdxLap", c);
    }
    rows.push_back(row);
  }
  return rows;
}

// The value of the first line "<key>: <value>" of `text`, or "".
std::string text_value(const std::string& text, const std::string& key) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const auto at = line.find(key + ": ");
    if (at != std::string::npos && line.find_first_not_of(" -") == at) return line.substr(at + key.size() + 2);
  }
  return "";
}

// The CarIdx values of the DriverInfo:Drivers items, in order.
std::vector<int> driver_car_indices(const std::string& text) {
  std::vector<int> indices;
  bool in_drivers = false;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line == "DriverInfo:")
      in_drivers = true;
    else if (!line.empty() && line[0] != ' ')
      in_drivers = false;
    else if (in_drivers && line.rfind(" - CarIdx: ", 0) == 0)
      indices.push_back(std::stoi(line.substr(11)));
  }
  return indices;
}

// When the line was crossed between rows i-1 and i, by the distance each
// row was from it.
double crossing_time(const Row& before, const Row& after) {
  const double to_go = (1.0 - before.pct) * track_metres, beyond = after.pct * track_metres;
  return before.t + (after.t - before.t) * to_go / (to_go + beyond);
}

class StandinMotion : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    sandbox_ = std::make_unique<E2eSandbox>("standin_motion");
    // Laps of 8 and 7.5 simulated seconds, four simulated seconds a second.
    const auto recording = record_standin(
        *sandbox_, {"--sim", "iracing", "--rate", "240", "--lap-seconds", "8,7.5", "--track-length", "360"}, 60,
        6000ms);
    if (recording.empty()) return;
    const auto frames = iracing_frames(read_dump(recording));
    if (!frames.empty()) text_ = frames.front().snapshot.session_info;
    rows_ = rows_of(frames);
  }
  static void TearDownTestSuite() { sandbox_.reset(); }
  void SetUp() override { ASSERT_GE(rows_.size(), 200u) << "too short a recording"; }

  static inline std::unique_ptr<E2eSandbox> sandbox_;
  static std::vector<Row> rows_;
  static std::string text_;
};

std::vector<Row> StandinMotion::rows_;
std::string StandinMotion::text_;

TEST_F(StandinMotion, DistanceSpeedAndLapsAgreeWithTheTrackLength) {
  EXPECT_EQ(text_value(text_, "TrackLength"), "0.36 km");
  int crossings = 0;
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    const Row& r = rows_[i];
    EXPECT_NEAR(r.dist, r.pct * track_metres, 0.05) << r.t;
    ASSERT_GE(r.pct, 0.0);
    ASSERT_LT(r.pct, 1.0);
    if (i == 0) continue;
    const Row& p = rows_[i - 1];
    ASSERT_GT(r.t, p.t);
    // Rows far apart (a loaded machine skipped ticks) leave the trapezoid
    // below too coarse to judge.
    if (r.t - p.t > 0.15) {
      EXPECT_EQ(r.lap == p.lap, r.pct >= p.pct) << r.t;
      continue;
    }
    if (r.lap == p.lap) {
      // Speed is the derivative of the distance: the distance between two
      // rows is what the speed at both ends covers in the time between.
      ASSERT_GE(r.pct, p.pct) << r.t;
      const double covered = r.dist - p.dist, expected = (r.speed + p.speed) / 2.0 * (r.t - p.t);
      EXPECT_NEAR(covered, expected, 0.02 * expected + 0.05) << r.t;
    } else {
      // The lap count goes up by one exactly where the fraction wraps.
      ++crossings;
      EXPECT_EQ(r.lap, p.lap + 1) << r.t;
      EXPECT_GT(p.pct, 0.8);
      EXPECT_LT(r.pct, 0.2);
      const double covered = (track_metres - p.dist) + r.dist, expected = (r.speed + p.speed) / 2.0 * (r.t - p.t);
      EXPECT_NEAR(covered, expected, 0.02 * expected + 0.05) << r.t;
    }
  }
  EXPECT_GE(crossings, 2);
  // A plausible pace: 360 m in 8 and 7.5 s is about 45 to 48 m/s.
  const auto [slowest, fastest] =
      std::minmax_element(rows_.begin(), rows_.end(), [](const Row& a, const Row& b) { return a.speed < b.speed; });
  EXPECT_GT(slowest->speed, 20.0);
  EXPECT_LT(fastest->speed, 80.0);
}

TEST_F(StandinMotion, LapTimesAreTheMeasuredLaps) {
  std::vector<double> crossed;  // the line crossings, interpolated
  std::vector<double> within;   // how close each is: the interpolation's error grows with the rows' spacing
  std::vector<double> started;  // the lap each begins
  const double spacing = rows_[1].t - rows_[0].t;
  double best = 0.0;
  for (std::size_t i = 1; i < rows_.size(); ++i) {
    const Row& p = rows_[i - 1];
    const Row& r = rows_[i];
    if (r.lap != p.lap) {
      crossed.push_back(crossing_time(p, r));
      within.push_back(0.005 + 0.5 * (r.t - p.t) * (r.t - p.t));
      started.push_back(r.lap);
      if (crossed.size() >= 2) {
        // The simulator's time of the lap just completed is the time
        // between the two crossings.
        const double measured = crossed.back() - crossed[crossed.size() - 2];
        const double tolerance = within.back() + within[within.size() - 2];
        EXPECT_NEAR(r.last, measured, tolerance) << "lap " << p.lap;
        best = best == 0.0 ? r.last : std::min(best, r.last);
        EXPECT_EQ(r.best, best) << "lap " << p.lap;
      }
    }
    if (!crossed.empty()) {
      EXPECT_NEAR(r.current, r.t - crossed.back(), within.back()) << r.t;
    }
    if (r.lap == 1) {
      EXPECT_EQ(r.last, 0.0);
    }
  }
  ASSERT_GE(crossed.size(), 2u) << "spacing " << spacing;
  // The laps driven in turn: 8, 7.5, 8, ...
  for (std::size_t k = 1; k < crossed.size(); ++k) {
    const double driven = std::fmod(started[k - 1], 2.0) == 0.0 ? 7.5 : 8.0;  // every even lap is the 7.5 s one
    EXPECT_NEAR(crossed[k] - crossed[k - 1], driven, within[k] + within[k - 1]) << "lap " << started[k - 1];
  }
}

TEST_F(StandinMotion, GearAndEngineSpeedFollowSpeedAndPedalsTheAcceleration) {
  std::map<int, std::pair<double, double>> speed_band;  // gear -> slowest, fastest
  std::map<int, std::pair<double, double>> ratio_band;  // gear -> rpm / speed
  for (const Row& r : rows_) {
    const int gear = static_cast<int>(r.gear);
    ASSERT_GE(gear, 1);
    ASSERT_LE(gear, 6);
    auto& s = speed_band.try_emplace(gear, r.speed, r.speed).first->second;
    s.first = std::min(s.first, r.speed);
    s.second = std::max(s.second, r.speed);
    const double ratio = r.rpm / r.speed;
    auto& q = ratio_band.try_emplace(gear, ratio, ratio).first->second;
    q.first = std::min(q.first, ratio);
    q.second = std::max(q.second, ratio);
    EXPECT_GT(r.rpm, 3000.0);
    EXPECT_LT(r.rpm, 8000.0);
    // Never both pedals at once.
    EXPECT_FALSE(r.throttle > 0.0 && r.brake > 0.0) << r.t;
    EXPECT_GE(r.throttle, 0.0);
    EXPECT_LE(r.throttle, 1.0);
    EXPECT_GE(r.brake, 0.0);
    EXPECT_LE(r.brake, 1.0);
  }
  ASSERT_GE(speed_band.size(), 2u) << "the car must change gear";
  for (auto it = speed_band.begin(); std::next(it) != speed_band.end(); ++it) {
    // A higher gear only at higher speed.
    EXPECT_LE(it->second.second, std::next(it)->second.first + 1e-3) << "gear " << it->first;
  }
  for (const auto& [gear, band] : ratio_band) {
    EXPECT_NEAR(band.first, band.second, band.first * 1e-4) << "rpm per m/s in gear " << gear;
  }
  // Throttle while gaining speed, brake while losing it fast.
  int accelerating = 0, braking = 0;
  for (std::size_t i = 1; i + 1 < rows_.size(); ++i) {
    // Only where the rows are close and the middle one sits midway (a
    // loaded machine may skip ticks), so the difference is near the
    // acceleration at the middle row, not at a moment beside it.
    const double span = rows_[i + 1].t - rows_[i - 1].t;
    const double lopsided = std::abs((rows_[i + 1].t - rows_[i].t) - (rows_[i].t - rows_[i - 1].t));
    if (rows_[i + 1].lap != rows_[i - 1].lap || span > 0.15 || lopsided > 0.25 * span) continue;
    const double a = (rows_[i + 1].speed - rows_[i - 1].speed) / span;
    if (a > 8.0) {
      ++accelerating;
      EXPECT_GT(rows_[i].throttle, 0.35) << rows_[i].t;
      EXPECT_EQ(rows_[i].brake, 0.0) << rows_[i].t;
    } else if (a < -25.0) {
      ++braking;
      EXPECT_GT(rows_[i].brake, 0.0) << rows_[i].t;
      EXPECT_EQ(rows_[i].throttle, 0.0) << rows_[i].t;
    }
  }
  EXPECT_GT(accelerating, 10);
  EXPECT_GT(braking, 10);
}

TEST_F(StandinMotion, PositionsTraceAClosedTrackOfItsLength) {
  // Metres east and north of the first row.
  const double lat0 = rows_.front().lat, lon0 = rows_.front().lon;
  const double per_degree = 111195.0, east_per_degree = per_degree * std::cos(lat0 * std::numbers::pi / 180.0);
  std::vector<std::size_t> lap_starts;
  for (std::size_t i = 1; i < rows_.size(); ++i) {
    if (rows_[i].lap != rows_[i - 1].lap) lap_starts.push_back(i);
  }
  ASSERT_GE(lap_starts.size(), 2u);
  double length = 0.0, min_e = 0, max_e = 0, min_n = 0, max_n = 0;
  for (std::size_t i = lap_starts[0] + 1; i <= lap_starts[1]; ++i) {
    const double e = (rows_[i].lon - lon0) * east_per_degree, n = (rows_[i].lat - lat0) * per_degree;
    const double pe = (rows_[i - 1].lon - lon0) * east_per_degree, pn = (rows_[i - 1].lat - lat0) * per_degree;
    length += std::hypot(e - pe, n - pn);
    min_e = std::min(min_e, e), max_e = std::max(max_e, e), min_n = std::min(min_n, n), max_n = std::max(max_n, n);
  }
  // The chords of one lap fall a little short of the outline.
  EXPECT_NEAR(length, track_metres, 0.03 * track_metres);
  // A shape, not a line.
  EXPECT_GT(max_e - min_e, 40.0);
  EXPECT_GT(max_n - min_n, 40.0);
  // Where a lap starts is where the one before started.
  const auto position = [&](std::size_t i) {
    return std::pair((rows_[i].lon - lon0) * east_per_degree, (rows_[i].lat - lat0) * per_degree);
  };
  const auto [e0, n0] = position(lap_starts[0]);
  const auto [e1, n1] = position(lap_starts[1]);
  EXPECT_LT(std::hypot(e1 - e0, n1 - n0), 0.02 * track_metres + rows_[lap_starts[1]].dist);
}

TEST_F(StandinMotion, TheOtherCarsLapAtTheirOwnPaceAndEmptySlotsStayEmpty) {
  const std::vector<int> drivers = driver_car_indices(text_);
  ASSERT_GE(drivers.size(), 4u);
  const int player = std::stoi(text_value(text_, "DriverCarIdx"));
  EXPECT_NE(drivers.front(), player) << "the player is not the first of the Drivers";
  EXPECT_NE(std::find(drivers.begin(), drivers.end(), player), drivers.end());
  const int pace_car = std::stoi(text_value(text_, "PaceCarIdx"));
  std::set<int> driving(drivers.begin(), drivers.end());
  driving.erase(pace_car);

  // Laps a second, from each car's line crossings: whole laps, so the
  // speed's swing along a lap does not blur them.
  std::vector<double> paces;
  for (int c = 0; c < car_slots; ++c) {
    const auto slot = static_cast<std::size_t>(c);
    if (!driving.contains(c)) {
      for (const Row& r : rows_) {
        ASSERT_EQ(r.car_lap[slot], -1.0) << "slot " << c;
        ASSERT_EQ(r.car_pct[slot], -1.0) << "slot " << c;
      }
      continue;
    }
    std::vector<double> crossings;
    for (std::size_t i = 1; i < rows_.size(); ++i) {
      const double p = rows_[i - 1].car_pct[slot], q = rows_[i].car_pct[slot];
      ASSERT_GE(q, 0.0);
      ASSERT_LT(q, 1.0);
      if (q < p) {
        EXPECT_EQ(rows_[i].car_lap[slot], rows_[i - 1].car_lap[slot] + 1) << "car " << c << " at " << rows_[i].t;
        crossings.push_back(rows_[i].t);
      } else {
        EXPECT_EQ(rows_[i].car_lap[slot], rows_[i - 1].car_lap[slot]) << "car " << c << " at " << rows_[i].t;
      }
    }
    // The player drives the laps asked for; the field its own paces.
    if (crossings.size() >= 2 && c != player) {
      paces.push_back(static_cast<double>(crossings.size() - 1) / (crossings.back() - crossings.front()));
    }
    if (c == player) {
      for (const Row& r : rows_) {
        EXPECT_EQ(r.player, player);
        EXPECT_EQ(r.car_pct[slot], r.pct);
        EXPECT_EQ(r.car_lap[slot], r.lap);
      }
    }
  }
  // The field's paces lie a few per cent apart, the closest far less than
  // a recording of a few laps can tell: the spread is what is checked.
  ASSERT_GE(paces.size(), driving.size() / 2) << "other cars that drove two line crossings";
  const auto [slowest, fastest] = std::minmax_element(paces.begin(), paces.end());
  EXPECT_GE(*fastest / *slowest, 1.01) << "the cars do not lap at paces of their own";
}

}  // namespace

}  // namespace vove
