// The lap report's analysis: laps and their times, the distance traces and
// the time delta, and the tolerant reading of the session text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "dumptool/lap_table.h"
#include "dumptool/lap_traces.h"
#include "dumptool/report_content.h"
#include "dumptool/report_page.h"
#include "dumptool/session_summary.h"
#include "session_text_samples.h"
#include "tools/sim_standin/iracing_session_text.h"
#include "tools/sim_standin/standin_drive.h"

namespace vove {

namespace {

constexpr double nan_value = std::numeric_limits<double>::quiet_NaN();

// Rows of the stand-in's drive every `spacing` seconds from `from` to `to`.
std::vector<TelemetrySample> drive_rows(const StandinLaps& laps, double from, double to, double spacing,
                                        bool simulator_times = true) {
  std::vector<TelemetrySample> rows;
  for (double t = from; t <= to; t += spacing) {
    const Drive d = laps.drive_at(t);
    TelemetrySample s{};
    s.session_time = t;
    s.lap = d.lap_number;
    s.lap_fraction = d.lap_fraction;
    s.lap_distance = d.lap_fraction * 1000.0;
    s.last_lap_time = simulator_times ? d.last_lap_time : nan_value;
    s.session_number = 2;
    s.channels = {d.speed, d.throttle, d.brake, d.gear, d.engine_speed};
    // A round track of 1000 m, centred on the origin.
    constexpr double radius = 1000.0 / (2.0 * 3.14159265358979323846);
    s.map_x = radius * std::cos(2.0 * 3.14159265358979323846 * d.lap_fraction);
    s.map_y = radius * std::sin(2.0 * 3.14159265358979323846 * d.lap_fraction);
    rows.push_back(s);
  }
  return rows;
}

TEST(LapTable, FindsTheDrivenLapsWithTheirTimes) {
  const StandinLaps laps({20.0, 18.5, 19.25});
  // 0.13 s apart, never on a line: measured times come from interpolation.
  for (const bool simulator_times : {true, false}) {
    const auto rows = drive_rows(laps, 5.01, 80.0, 0.13, simulator_times);
    const LapTable table = find_laps(rows);
    ASSERT_EQ(table.laps.size(), 5u);  // 1 (cut), 2, 3, 4 (20 s again), 5 (cut)
    EXPECT_FALSE(table.laps[0].complete);
    EXPECT_FALSE(table.laps[4].complete);
    const double expected[] = {18.5, 19.25, 20.0};
    for (int i = 0; i < 3; ++i) {
      const LapRecord& lap = table.laps[static_cast<std::size_t>(i) + 1];
      EXPECT_EQ(lap.number, i + 2);
      ASSERT_TRUE(lap.complete);
      EXPECT_EQ(lap.time_from_simulator, simulator_times);
      // Exact from the simulator; measured, well within a row's spacing
      // (off only as far as two laps' paces differ across the line).
      EXPECT_NEAR(lap.time, expected[i], simulator_times ? 1e-9 : 0.01) << lap.number;
    }
    EXPECT_EQ(table.laps[table.best].number, 2);
    EXPECT_EQ(table.laps[table.last_complete].number, 4);
  }
}

TEST(LapTable, DistrustsLapsThatAreNotOneDrive) {
  const StandinLaps laps({20.0});
  auto rows = drive_rows(laps, 1.0, 119.0, 0.1);  // laps 1 to 6
  for (auto& row : rows) {
    // A simulator time far off the measured one is not believed.
    if (row.lap == 2 || row.lap == 3) row.last_lap_time = 5.0;
    // A jump in the lap number (a reset): 1, 2, 3, 5, 6, 7.
    if (row.lap >= 4) row.lap += 1;
    // The clock going back in the middle of lap 6 (a new session).
    if (row.lap == 6 && row.lap_fraction > 0.5) row.session_time -= 30.0;
  }
  const LapTable table = find_laps(rows);
  ASSERT_EQ(table.laps.size(), 6u);
  const int numbers[] = {1, 2, 3, 5, 6, 7};
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(table.laps[i].number, numbers[i]);
    EXPECT_EQ(table.laps[i].complete, i == 1) << table.laps[i].number;
  }
  EXPECT_FALSE(table.laps[1].time_from_simulator);
  EXPECT_NEAR(table.laps[1].time, 20.0, 1e-6);
  EXPECT_EQ(table.best, 1u);
  EXPECT_EQ(table.last_complete, 1u);
}

TEST(LapTable, RowsWithoutLapsOrTimeGiveAnEmptyTable) {
  std::vector<TelemetrySample> rows(3, TelemetrySample{nan_value, nan_value, 0.5, 1.0, 0, 0, nan_value, nan_value, {}});
  // A lap number no int holds (a hostile row) is no lap number either.
  rows.push_back(TelemetrySample{1.0, 1.0e30, 0.5, 1.0, 0, 0, nan_value, nan_value, {}});
  rows.push_back(TelemetrySample{2.0, -1.0e30, 0.5, 1.0, 0, 0, nan_value, nan_value, {}});
  const LapTable table = find_laps(rows);
  EXPECT_TRUE(table.laps.empty());
  EXPECT_EQ(table.best, 0u);
  EXPECT_EQ(find_laps({}).laps.size(), 0u);
}

TEST(LapTraces, OnePointPerMetreAndTheDeltaGrowsWithTheDistance) {
  const StandinLaps laps({20.0, 18.0});
  const auto rows = drive_rows(laps, 0.5, 60.0, 1.0 / 60.0);  // laps 2 (18 s) and 3 (20 s) whole
  const LapTable table = find_laps(rows);
  ASSERT_GE(table.laps.size(), 3u);
  const DistanceAxis axis = choose_distance_axis(rows, 0.0);
  EXPECT_TRUE(axis.in_metres);
  EXPECT_NEAR(axis.lap_length, 1000.0, 0.01);
  EXPECT_EQ(axis.points(), 1001u);
  std::array<bool, report_channel_count> recorded{};
  recorded.fill(true);
  const LapTrace slow = trace_lap(rows, table.laps[2], axis, recorded);  // lap 3: 20 s
  const LapTrace fast = trace_lap(rows, table.laps[1], axis, recorded);  // lap 2: 18 s
  ASSERT_EQ(slow.elapsed.size(), 1001u);
  EXPECT_DOUBLE_EQ(slow.elapsed.front(), 0.0);
  EXPECT_NEAR(slow.elapsed.back(), 20.0, 1e-6);
  EXPECT_NEAR(slow.elapsed[500], 10.0, 0.01);
  const auto delta = time_delta(slow, fast);
  EXPECT_NEAR(delta[250], 0.5, 0.01);  // a quarter of the 2 s lost
  EXPECT_NEAR(delta[1000], 2.0, 1e-6);
  // Speed in km/h, a faster lap is faster at the same point; gear holds whole values.
  const auto speed = static_cast<std::size_t>(ReportChannel::speed);
  // (The stand-in's speed at that point of each lap, found by its time there.)
  const auto speed_at = [&](double lap_start, double lap_seconds, double fraction) {
    double low = lap_start, high = lap_start + lap_seconds;
    for (int i = 0; i < 60; ++i) {
      const double middle = (low + high) / 2.0;
      (laps.drive_at(middle).lap_fraction < fraction ? low : high) = middle;
    }
    return laps.drive_at(low).speed * 3.6;
  };
  EXPECT_NEAR(fast.channels[speed][300], speed_at(20.0, 18.0, 0.3), 0.5);
  EXPECT_NEAR(slow.channels[speed][300], speed_at(38.0, 20.0, 0.3), 0.5);
  EXPECT_GT(fast.channels[speed][300], slow.channels[speed][300]);
  EXPECT_NEAR(slow.channels[speed][0], laps.drive_at(38.001).speed * 3.6, 20.0);  // the lap's first row
  for (const double gear : slow.channels[static_cast<std::size_t>(ReportChannel::gear)]) {
    EXPECT_EQ(gear, std::round(gear));
  }
}

// Flat-map metres from latitude and longitude: a thousandth of a degree of
// latitude is 111.195 m anywhere (2 pi R / 360 000 for the mean radius of
// 6371.0088 km); of longitude, that times the cosine of the latitude.
TEST(MapProjection, GivesMetresEastAndNorthOfTheOrigin) {
  const MapProjection at_nurburg{50.3356, 6.9475};
  const auto north = at_nurburg.metres(50.3366, 6.9475);
  EXPECT_NEAR(north[0], 0.0, 1e-9);
  EXPECT_NEAR(north[1], 111.195, 0.001);
  const MapProjection at_sixty{60.0, 10.0};
  const auto east = at_sixty.metres(60.0, 10.001);
  EXPECT_NEAR(east[0], 55.5975, 0.001);
  EXPECT_NEAR(east[1], 0.0, 1e-9);
  const auto west_south = at_sixty.metres(59.999, 9.999);
  EXPECT_NEAR(west_south[0], -55.5975, 0.001);
  EXPECT_NEAR(west_south[1], -111.195, 0.001);
}

// The traced positions follow the distance axis: on a round track, the
// point at d metres lies on the circle at d / 1000 of a turn.
TEST(LapTraces, PositionsFollowTheDistanceAlongTheLap) {
  const StandinLaps laps({20.0, 18.5});
  const std::vector<TelemetrySample> rows = drive_rows(laps, 0.0, 40.0, 1.0 / 60.0);
  const LapTable table = find_laps(rows);
  ASSERT_GE(table.laps.size(), 2u);
  const DistanceAxis axis = choose_distance_axis(rows, 0.0);
  std::array<bool, report_channel_count> recorded{};
  recorded.fill(true);
  const LapTrace trace = trace_lap(rows, table.laps[1], axis, recorded, true);
  ASSERT_EQ(trace.map_x.size(), axis.points());
  constexpr double radius = 1000.0 / (2.0 * 3.14159265358979323846);
  for (std::size_t p = 0; p < trace.map_x.size(); p += 50) {
    const double turn = 2.0 * 3.14159265358979323846 * static_cast<double>(p) * axis.step / axis.lap_length;
    EXPECT_NEAR(trace.map_x[p], radius * std::cos(turn), 0.5) << p;
    EXPECT_NEAR(trace.map_y[p], radius * std::sin(turn), 0.5) << p;
  }
  EXPECT_TRUE(trace_lap(rows, table.laps[1], axis, recorded).map_x.empty()) << "not asked for";
}

// The page carries the best lap's positions and speeds for its map, or
// says why there is no map.
TEST(ReportPage, CarriesTheBestLapsLineForTheMap) {
  ReportRecording recording;
  recording.rate = 60;
  recording.samples = drive_rows(StandinLaps({20.0, 18.5, 19.25}), 0.0, 60.0, 1.0 / 60.0);
  recording.frame_count = recording.samples.size();
  recording.has_session_time = recording.has_lap = recording.has_lap_fraction = true;
  recording.has_lap_distance = recording.has_last_lap_time = true;
  recording.has_channel.fill(true);
  recording.has_position = true;
  recording.sources.no_position = "no Lat and Lon variables";
  const ReportContent content = build_report_content(recording, "test.bin", std::nullopt);
  ASSERT_TRUE(content.reference.has_value());
  EXPECT_EQ(content.traces[*content.reference].number, 2) << "18.5 s, the best";
  const std::string page = render_report_page(content);
  const std::size_t map = page.find("\"map\":{\"lap\":2,\"x\":[159.2,");
  EXPECT_NE(map, std::string::npos) << "the line starts at the line, 1000 / 2 pi m east of the centre";
  EXPECT_NE(page.find("\"speed\":[", map), std::string::npos);
  EXPECT_NE(page.find("<div id=\"track-map\">"), std::string::npos);

  recording.has_position = false;
  for (TelemetrySample& sample : recording.samples) sample.map_x = sample.map_y = nan_value;
  const ReportContent without = build_report_content(recording, "test.bin", std::nullopt);
  EXPECT_NE(render_report_page(without).find("\"map\":null"), std::string::npos);
  EXPECT_NE(std::find(without.notes.begin(), without.notes.end(),
                      "No track map: the recording holds no positions of the car (no Lat and Lon variables)."),
            without.notes.end());
}

TEST(LapTraces, FallsBackToTheSessionTextLengthAndThenToPerCent) {
  auto rows = drive_rows(StandinLaps({20.0}), 0.5, 45.0, 0.1);
  for (auto& row : rows) row.lap_distance = nan_value;
  const DistanceAxis from_text = choose_distance_axis(rows, 4650.0);
  EXPECT_TRUE(from_text.in_metres);
  EXPECT_EQ(from_text.lap_length, 4650.0);
  const DistanceAxis per_cent = choose_distance_axis(rows, 0.0);
  EXPECT_FALSE(per_cent.in_metres);
  EXPECT_EQ(per_cent.points(), 1001u);
  // A very long lap keeps its point count bounded.
  EXPECT_LE(choose_distance_axis(rows, 200000.0).points(), max_points_per_lap);
}

TEST(SessionText, SummarisesTheStandinsText) {
  // The session in SessionNum gives the type (not EventType, "Race"); the
  // player is DriverCarIdx 5, the fifth of the Drivers, not the first.
  const SessionSummary summary = summarise_session(iracing::standin_session_text(3, 5510.0), 0);
  EXPECT_TRUE(summary.has_text);
  EXPECT_EQ(summary.track, "Harbour Point Motor Circuit (Grand Prix)");
  EXPECT_EQ(summary.session_type, "Practice");
  EXPECT_EQ(summarise_session(iracing::standin_session_text(3), 1).session_type, "Lone Qualify");
  EXPECT_EQ(summarise_session(iracing::standin_session_text(3), 2).session_type, "Race");
  EXPECT_EQ(summary.driver, "Sam Player");
  EXPECT_EQ(summary.car, "Vantor GT3 Evo");
  EXPECT_DOUBLE_EQ(summary.track_length_metres, 5510.0);
  EXPECT_DOUBLE_EQ(summarise_session(iracing::standin_session_text(3), 0).track_length_metres,
                   standin_track_length_metres);
  EXPECT_EQ(summary.unreadable_lines, 0u) << (summary.problems.empty() ? "" : summary.problems.front());
}

TEST(SessionText, SummarisesThePlayersEntryAndTheRunningSession) {
  const std::string text = session_text_test::reference_example();
  const SessionSummary summary = summarise_session(text, 1);
  EXPECT_TRUE(summary.has_text);
  EXPECT_EQ(summary.track, "Harbour Point Motor Circuit (Grand Prix)");
  EXPECT_DOUBLE_EQ(summary.track_length_metres, 5510.0);
  // DriverCarIdx 1 is the second Drivers item, not the pace car before it.
  EXPECT_EQ(summary.driver, "Marta Kowal");
  EXPECT_EQ(summary.car, "Vantor GT3 Evo");
  EXPECT_EQ(summary.session_type, "Lone Qualify");  // SessionNum 1 of the rows, not the EventType
  EXPECT_EQ(summarise_session(text, 0).session_type, "Practice");
  // Rows without SessionNum: the text's CurrentSessionNum.
  EXPECT_EQ(summarise_session(text, std::nullopt).session_type, "Race");
  // A session the text does not list is not known.
  EXPECT_EQ(summarise_session(text, 7).session_type, "");
  EXPECT_EQ(summary.unreadable_lines, 0u) << (summary.problems.empty() ? "" : summary.problems.front());
}

TEST(SessionText, SummarisesTextThatIsNotYamlAsAClientReadsIt) {
  const SessionSummary summary = summarise_session(session_text_test::quirks(), 2);
  EXPECT_EQ(summary.track, "Harbour Point: North # East (Grand Prix #2)");
  EXPECT_DOUBLE_EQ(summary.track_length_metres, 3200.0);
  EXPECT_EQ(summary.driver, "Sean O Brien");  // DriverCarIdx 4, a line ended by CR
  EXPECT_EQ(summary.car, "Kestrel LMP2");     // the trailing space is not shown
  EXPECT_EQ(summary.session_type, "Race");
  EXPECT_EQ(summary.unreadable_lines, 3u);
  ASSERT_EQ(summary.problems.size(), 3u);
  EXPECT_EQ(summary.problems[0].rfind("line 24:", 0), 0u) << summary.problems[0];

  // Quotes around a shown value go; a car index that is no number finds no entry.
  const std::string quoted =
      "WeekendInfo:\n TrackDisplayName: \"Quoted Ring\"\n TrackLength: 12 furlongs\n"
      "DriverInfo:\n DriverCarIdx: one\n Drivers:\n - CarIdx: one\n   UserName: Nobody\n";
  const SessionSummary odd = summarise_session(quoted, std::nullopt);
  EXPECT_EQ(odd.track, "Quoted Ring");
  EXPECT_EQ(odd.track_length_metres, 0.0);
  EXPECT_EQ(odd.driver, "");
  EXPECT_EQ(odd.session_type, "");

  // Binary rubbish is read without a crash and gives nothing.
  std::string rubbish(4096, '\0');
  for (std::size_t i = 0; i < rubbish.size(); ++i) rubbish[i] = static_cast<char>(1 + (i * 131) % 255);
  const SessionSummary nothing = summarise_session(rubbish, 1);
  EXPECT_TRUE(nothing.track.empty());
  EXPECT_GT(nothing.unreadable_lines, 0u);
  EXPECT_FALSE(summarise_session(std::string(1, '\0') + "WeekendInfo:\n", 1).has_text);
}

TEST(StandinLaps, DrivesTheLapTimesItWasGivenInTurn) {
  const StandinLaps laps({20.0, 18.5, 19.25});
  EXPECT_EQ(laps.drive_at(0.0).lap_number, 1.0);
  EXPECT_EQ(laps.drive_at(19.99).lap_number, 1.0);
  EXPECT_EQ(laps.drive_at(20.01).lap_number, 2.0);
  EXPECT_NEAR(laps.drive_at(20.0 + 9.25).lap_fraction, 0.5, 1e-9);
  EXPECT_EQ(laps.drive_at(57.76).lap_number, 4.0);  // 20 + 18.5 + 19.25 = 57.75
  EXPECT_EQ(laps.drive_at(57.76).last_lap_time, 19.25);
  EXPECT_EQ(laps.drive_at(57.76).best_lap_time, 18.5);
  EXPECT_EQ(laps.drive_at(57.76).best_lap_number, 2.0);
  EXPECT_EQ(laps.drive_at(10.0).last_lap_time, 0.0);
  EXPECT_EQ(laps.lap_seconds(5), 18.5);
  // The default keeps the drive every existing recording was made with.
  EXPECT_EQ(standin_drive_at(250.0).lap_number, 3.0);
  EXPECT_DOUBLE_EQ(standin_drive_at(250.0).lap_time, 250.0 - 2.0 * standin_lap_seconds);
  EXPECT_THROW(StandinLaps(std::vector<double>{}), std::invalid_argument);
  EXPECT_THROW(StandinLaps({20.0, 0.0}), std::invalid_argument);
}

}  // namespace

}  // namespace vove
