// dumptool report on ACC recordings built by hand, every value written at
// the offset the simulator's published layout gives it (literal offsets,
// not our field table): the laps come from completedLaps,
// normalizedCarPosition and iLastTime, the charts from the physics page,
// the summary from the static and graphics pages.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "acc_frame_writing.h"
#include "console_capture.h"
#include "dump_test_support.h"
#include "dumptool/commands.h"
#include "dumptool/report_samples.h"

namespace vove {

namespace {

using dump_test::Bytes;
using namespace acc_test;

constexpr int fps = 20;
constexpr double lap_seconds[] = {4.0, 3.5, 3.8, 4.2};  // lap 1 is driven from its middle
constexpr double track_metres = 900.0;

// Frame k of a car driving the laps above at an even pace, from half-way
// through lap 1.
Bytes frame_at(int k) {
  double t = k / static_cast<double>(fps) + lap_seconds[0] / 2;
  int completed = 0;
  double last = 0.0;
  while (completed < 4 && t >= lap_seconds[completed]) {
    t -= lap_seconds[completed];
    last = lap_seconds[completed++];
  }
  const double lap = lap_seconds[std::min(completed, 3)];
  const double position = t / lap;
  Bytes p(3700, 0);
  put_i32(p, graphics_at + 0, 100 + k);                                                // packetId
  put_i32(p, graphics_at + 4, 2);                                                      // status ACC_LIVE
  put_i32(p, graphics_at + 8, 1);                                                      // session ACC_QUALIFY
  put_i32(p, graphics_at + 132, completed);                                            // completedLaps
  put_i32(p, graphics_at + 140, static_cast<std::int32_t>(std::lround(t * 1000)));     // iCurrentTime
  put_i32(p, graphics_at + 144, static_cast<std::int32_t>(std::lround(last * 1000)));  // iLastTime
  put_f32(p, graphics_at + 156, (completed + position) * track_metres);                // distanceTraveled
  put_f32(p, graphics_at + 248, position);                                             // normalizedCarPosition
  put_i32(p, graphics_at + 252, 2);                                                    // activeCars
  put_f32(p, graphics_at + 256 + 12 * 1 + 0, 100.0 + k);                               // carCoordinates[1] x
  put_f32(p, graphics_at + 256 + 12 * 1 + 8, -50.0 - k);                               // carCoordinates[1] z
  put_i32(p, graphics_at + 976 + 0, 9);                                                // carID[0]
  put_i32(p, graphics_at + 976 + 4, 4);                                                // carID[1]
  put_i32(p, graphics_at + 1216, 4);                                                   // playerCarID: the car in slot 1
  put_f32(p, physics_at + 4, 0.8);                                                     // gas
  put_f32(p, physics_at + 8, 0.1);                                                     // brake
  put_i32(p, physics_at + 16, 4);                                                      // gear: third
  put_i32(p, physics_at + 20, 6500);                                                   // rpms
  put_f32(p, physics_at + 28, track_metres / lap * 3.6);                               // speedKmh
  put_utf16(p, static_at + 68, u"standin_gt3");                                        // carModel
  put_utf16(p, static_at + 134, u"Zolder <GP>");                                       // track
  put_utf16(p, static_at + 200, u"Alex");                                              // playerName
  put_utf16(p, static_at + 266, u"Novak");                                             // playerSurname
  return p;
}

class AccReport : public ::testing::Test {
 protected:
  void write(int frames, const std::function<void(int, Bytes&)>& change = {}) {
    std::string bytes = dump_test::header(fps, "accz");
    for (int k = 0; k < frames; ++k) {
      Bytes frame = frame_at(k);
      if (change) change(k, frame);
      bytes += dump_test::record(frame);
    }
    directory.write("acc.bin", bytes);
  }
  int report(std::string& html, std::string& err) {
    ConsoleCapture console;
    const int code = run_report_command({input().string(), "-o", output().string(), "--force"});
    err = console.err();
    html = dump_test::contents(output());
    return code;
  }
  std::filesystem::path input() const { return directory.path() / "acc.bin"; }
  std::filesystem::path output() const { return directory.path() / "report.html"; }
  dump_test::TempDirectory directory;
};

std::map<int, std::string> lap_rows(const std::string& html) {
  std::map<int, std::string> rows;
  const std::regex row(R"re(<tr data-lap="(\d+)" data-complete="1"[^>]*>(.*?)</tr>)re");
  for (auto it = std::sregex_iterator(html.begin(), html.end(), row); it != std::sregex_iterator(); ++it) {
    rows[std::stoi((*it)[1])] = (*it)[0];
  }
  return rows;
}

TEST_F(AccReport, LapsTimesAndChartsComeFromThePages) {
  write(static_cast<int>((2.0 + 3.5 + 3.8 + 2.0) * fps));
  std::string html, err;
  ASSERT_EQ(report(html, err), 0) << err;
  for (const char* row : {"<th>Track</th><td>Zolder &lt;GP&gt;</td>", "<th>Car</th><td>standin_gt3</td>",
                          "<th>Driver</th><td>Alex Novak</td>", "<th>Session</th><td>Qualify</td>"}) {
    EXPECT_NE(html.find(row), std::string::npos) << row;
  }
  const auto rows = lap_rows(html);
  ASSERT_EQ(rows.size(), 2u) << html.substr(0, 3000);
  // Laps 2 and 3 whole; their times the simulator's, which agree with the frames.
  EXPECT_NE(rows.at(2).find("data-seconds=\"3.500\""), std::string::npos) << rows.at(2);
  EXPECT_NE(rows.at(3).find("data-seconds=\"3.800\""), std::string::npos) << rows.at(3);
  EXPECT_EQ(rows.at(2).find("measured"), std::string::npos) << rows.at(2);
  EXPECT_EQ(html.find("No chart of"), std::string::npos) << err;
  EXPECT_EQ(html.find("track's length is not known"), std::string::npos) << err;

  // The samples in iRacing's units, the gear as the driver counts it.
  const ReportRecording recording = read_report_recording(input());
  ASSERT_EQ(recording.samples.size(), static_cast<std::size_t>((2.0 + 3.5 + 3.8 + 2.0) * fps));
  const TelemetrySample& s = recording.samples[10];
  EXPECT_EQ(s.lap, 1.0 + 0) << "completedLaps 0: the first lap is being driven";
  EXPECT_NEAR(s.channels[static_cast<std::size_t>(ReportChannel::speed)], track_metres / 4.0, 1e-3);
  EXPECT_EQ(s.channels[static_cast<std::size_t>(ReportChannel::gear)], 3.0);
  EXPECT_NEAR(s.channels[static_cast<std::size_t>(ReportChannel::throttle)], 0.8, 1e-6);
  EXPECT_EQ(s.channels[static_cast<std::size_t>(ReportChannel::engine_speed)], 6500.0);
  EXPECT_EQ(s.map_x, 110.0);
  EXPECT_EQ(s.map_y, -60.0);
  ASSERT_TRUE(recording.summary);
  EXPECT_NEAR(recording.summary->track_length_metres, track_metres, 0.5);
}

TEST_F(AccReport, HostilePagesGiveASmallerReportNeverACrash) {
  // NaN and infinite floats, an unending track name, a player id that no
  // car has, a lap count that jumps about.
  write(static_cast<int>((2.0 + 3.5 + 3.8 + 2.0) * fps), [](int k, Bytes& p) {
    put_f32(p, physics_at + 28,
            k % 3 == 0 ? std::numeric_limits<double>::quiet_NaN() : std::numeric_limits<double>::infinity());
    put_f32(p, graphics_at + 248, k % 5 == 0 ? std::numeric_limits<double>::infinity() : 0.5);
    put_utf16(p, static_at + 134, std::u16string(33, u'y'));
    put_i32(p, graphics_at + 1216, 77);
    if (k % 7 == 0) put_i32(p, graphics_at + 132, -2147483647 - 1);
  });
  std::string html, err;
  const int code = report(html, err);
  EXPECT_EQ(code, 0) << err;
  EXPECT_NE(html.find("<th>Track</th><td>" + std::string(33, 'y') + "</td>"), std::string::npos);
  const ReportRecording recording = read_report_recording(input());
  for (const TelemetrySample& s : recording.samples) {
    EXPECT_TRUE(std::isnan(s.map_x));
    EXPECT_FALSE(std::isinf(s.channels[0]));
  }

  // Frames cut short: the pages that are there are read.
  write(40, [](int, Bytes& p) { p.resize(300); });
  EXPECT_NO_THROW(report(html, err));
  EXPECT_NE(html.find("<th>Track</th><td><span class=\"unknown\">not known</span></td>"), std::string::npos)
      << html.substr(0, 2000);
}

}  // namespace

}  // namespace vove
