#include "tools/sim_standin/acc_page_content.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>
#include <stdexcept>

#include "common/byte_coding.h"

namespace vove::acc {

namespace {

// Offsets of the fields written, from the simulator's published layout.
namespace graphics {
constexpr std::size_t packetId = 0, status = 4, session = 8, currentTime = 12, lastTime = 42, bestTime = 72,
                      split = 102, completedLaps = 132, position = 136, iCurrentTime = 140, iLastTime = 144,
                      iBestTime = 148, sessionTimeLeft = 152, distanceTraveled = 156, currentSectorIndex = 164,
                      lastSectorTime = 168, numberOfLaps = 172, tyreCompound = 176, normalizedCarPosition = 248,
                      activeCars = 252, carCoordinates = 256, carID = 976, playerCarID = 1216, surfaceGrip = 1240,
                      windSpeed = 1248, windDirection = 1252, TC = 1268, TCCut = 1272, EngineMap = 1276, ABS = 1280,
                      fuelXLap = 1284, exhaustTemperature = 1300, usedFuel = 1324, iEstimatedLapTime = 1396,
                      iSplit = 1404, isValidLap = 1408, fuelEstimatedLaps = 1412, Clock = 1488, trackGripStatus = 1556,
                      currentTyreSet = 1572, strategyTyreSet = 1576, gapAhead = 1580, gapBehind = 1584;
}  // namespace graphics
namespace physics {
constexpr std::size_t packetId = 0, gas = 4, brake = 8, fuel = 12, gear = 16, rpms = 20, steerAngle = 24, speedKmh = 28,
                      velocity = 32, accG = 44, wheelSlip = 56, wheelLoad = 72, wheelsPressure = 88,
                      wheelAngularSpeed = 104, tyreCoreTemperature = 152, suspensionTravel = 184, heading = 208,
                      cgHeight = 220, rideHeight = 268, airDensity = 284, airTemp = 288, roadTemp = 292,
                      brakeTemp = 348, brakeBias = 564, localVelocity = 568, currentMaxRpm = 588, tyreTemp = 696,
                      waterTemp = 712, padLife = 740, discLife = 756, ignitionOn = 772, isEngineRunning = 780;
}  // namespace physics
namespace statics {
constexpr std::size_t smVersion = 0, acVersion = 30, numberOfSessions = 60, numCars = 64, carModel = 68, track = 134,
                      playerName = 200, playerSurname = 266, playerNick = 332, sectorCount = 400, maxRpm = 412,
                      maxFuel = 416, maxTurboBoost = 452, deprecated_1 = 456, deprecated_2 = 460,
                      penaltiesEnabled = 464, aidFuelRate = 468, aidTireRate = 472, aidMechanicalDamage = 476,
                      aidAllowTyreBlankets = 480, aidAutoBlip = 492, PitWindowStart = 676, PitWindowEnd = 680,
                      dryTyresName = 688, wetTyresName = 754;
}  // namespace statics

constexpr std::size_t long_text = 33;   // units of a wchar_t[33], terminator included
constexpr std::size_t short_text = 15;  // units of a wchar_t[15]

constexpr std::int32_t session_race = 2;  // ACC_RACE
constexpr std::int32_t grip_optimum = 2;  // ACC_OPTIMUM
constexpr std::int32_t max_rpm = 8000;
constexpr double max_fuel = 120.0;
constexpr double fuel_per_lap = 3.1;
constexpr int sectors = 3;
constexpr double session_seconds = 3600.0;

// The cars on track: the player's at index 1, the others a little ahead
// and behind along the same laps.
constexpr std::array<std::int32_t, 3> car_ids{12, 7, 3};
constexpr std::size_t player_index = 1;
constexpr std::array<double, 3> car_offsets{0.08, 0.0, -0.05};  // of a lap

// The speed profile: six corners a lap. The car's position along the lap
// at lap time fraction u is u + a sin(2 pi k u) / (2 pi k), so its speed,
// the derivative, is (L / T) (1 + a cos(2 pi k u)) and never below zero.
constexpr double corners = 6.0;
constexpr double swing = 0.35;

// Gears by speed: the upper speed of each in m/s; engine speed is speed
// times the gear's ratio, reaching 7800 rpm at the upper end.
constexpr std::array<double, 6> gear_top_speed{15.0, 24.0, 33.0, 42.0, 52.0, 75.0};

void require(std::span<const std::byte> page, std::size_t size) {
  if (page.size() < size) throw std::length_error("the page is smaller than its image");
}

void put_i32(std::byte* p, std::size_t at, std::int32_t v) noexcept { coding::encode_i32(p + at, v); }
void put_f32(std::byte* p, std::size_t at, double v) noexcept { coding::encode_f32(p + at, static_cast<float>(v)); }
void put_f32s(std::byte* p, std::size_t at, std::initializer_list<double> values) noexcept {
  std::size_t i = 0;
  for (const double v : values) put_f32(p, at + 4 * i++, v);
}

// Fills a wchar_t[units] field: the text, cut to leave room for the
// terminator, then zeros to the end of the field.
void put_text(std::byte* p, std::size_t at, std::size_t units, std::u16string_view text) noexcept {
  std::memset(p + at, 0, units * 2);
  const std::size_t length = std::min(text.size(), units - 1);
  for (std::size_t i = 0; i < length; ++i) {
    p[at + 2 * i] = static_cast<std::byte>(text[i] & 0xff);
    p[at + 2 * i + 1] = static_cast<std::byte>(text[i] >> 8);
  }
}

std::int32_t milliseconds(double seconds) noexcept { return static_cast<std::int32_t>(std::lround(seconds * 1000.0)); }

// Where a car is and how it moves, `seconds` into the session.
struct CarState {
  double lap_number;  // from 1
  double lap_time;    // seconds into the lap
  double lap_seconds;
  double position;      // 0 to 1 along the lap
  double distance;      // metres since the start
  double speed;         // m/s
  double acceleration;  // m/s^2 along the track
  double x, y, z;       // world coordinates, metres (y up)
  double heading;       // rad
};

}  // namespace

double standin_track_length(const StandinLaps& laps) noexcept {
  return standin_track_length_metres * laps.lap_seconds(1) / standin_lap_seconds;
}

namespace {

CarState car_at(const StandinLaps& laps, double seconds) noexcept {
  const Drive d = laps.drive_at(seconds);
  CarState c{};
  c.lap_number = d.lap_number;
  c.lap_seconds = laps.lap_seconds(static_cast<long long>(d.lap_number));
  c.lap_time = std::clamp(d.lap_time, 0.0, c.lap_seconds);
  const double u = c.lap_time / c.lap_seconds;
  const double w = 2.0 * std::numbers::pi * corners;
  c.position = std::clamp(u + swing * std::sin(w * u) / w, 0.0, 1.0);
  const double length = standin_track_length(laps);
  c.distance = (c.lap_number - 1.0 + c.position) * length;
  c.speed = length / c.lap_seconds * (1.0 + swing * std::cos(w * u));
  c.acceleration = -length / (c.lap_seconds * c.lap_seconds) * swing * w * std::sin(w * u);
  // A loop of the track's length, wavy enough to look like a circuit; its
  // centre keeps every coordinate well away from zero.
  const double angle = 2.0 * std::numbers::pi * c.position;
  const double radius = length / (2.0 * std::numbers::pi) * (1.0 + 0.18 * std::sin(3.0 * angle));
  c.x = 1500.0 + radius * std::cos(angle);
  c.z = 1500.0 + radius * std::sin(angle);
  c.y = 40.0 + 6.0 * std::sin(angle + 1.0);
  c.heading = angle + std::numbers::pi / 2.0;
  return c;
}

// A car `offset` of a lap ahead of the player, at the player's pace.
CarState other_car_at(const StandinLaps& laps, double seconds, double offset) noexcept {
  return car_at(laps, std::max(0.0, seconds + offset * laps.lap_seconds(1)));
}

int gear_of(double speed) noexcept {
  for (std::size_t g = 0; g < gear_top_speed.size(); ++g) {
    if (speed < gear_top_speed[g]) return static_cast<int>(g) + 1;
  }
  return static_cast<int>(gear_top_speed.size());
}

double engine_speed(double speed, int gear) noexcept {
  const double ratio = 7800.0 / gear_top_speed[static_cast<std::size_t>(gear - 1)];
  return std::clamp(speed * ratio, 2200.0, static_cast<double>(max_rpm));
}

double seconds_of(std::int32_t update, double rate) noexcept { return rate > 0.0 ? update / rate : 0.0; }

const StandinLaps& default_laps() {
  static const StandinLaps laps;
  return laps;
}

}  // namespace

std::int32_t standin_physics_packet(std::int32_t update) noexcept {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(update) *
                                   static_cast<std::uint32_t>(physics_steps_per_update));
}

std::u16string standin_lap_time_text(std::int32_t milliseconds) {
  const std::int32_t ms = std::max(milliseconds, 0);
  const std::int32_t minutes = ms / 60000;
  const std::int32_t seconds = ms / 1000 % 60;
  const std::int32_t thousandths = ms % 1000;
  std::string text = std::to_string(minutes) + ":";
  text += static_cast<char>('0' + seconds / 10);
  text += static_cast<char>('0' + seconds % 10);
  text += '.';
  text += static_cast<char>('0' + thousandths / 100);
  text += static_cast<char>('0' + thousandths / 10 % 10);
  text += static_cast<char>('0' + thousandths % 10);
  return std::u16string(text.begin(), text.end());
}

void write_standin_static_page(std::span<std::byte> page) {
  require(page, static_page.image_size);
  std::byte* p = page.data();
  using namespace statics;
  put_text(p, smVersion, short_text, u"1.9");
  put_text(p, acVersion, short_text, u"1.10");
  put_i32(p, numberOfSessions, 3);
  put_i32(p, numCars, static_cast<std::int32_t>(car_ids.size()));
  put_text(p, carModel, long_text, u"standin_gt3");
  put_text(p, track, long_text, u"standin_ring");
  put_text(p, playerName, long_text, u"Alex");
  put_text(p, playerSurname, long_text, u"Novak");
  put_text(p, playerNick, long_text, u"AlexN");
  put_i32(p, sectorCount, sectors);
  put_i32(p, maxRpm, max_rpm);
  put_f32(p, maxFuel, max_fuel);
  put_f32(p, maxTurboBoost, 0.0);
  put_f32(p, deprecated_1, static_default_float_value);
  put_f32(p, deprecated_2, static_default_float_value);
  put_i32(p, penaltiesEnabled, 1);
  put_f32(p, aidFuelRate, 1.0);
  put_f32(p, aidTireRate, 1.0);
  put_f32(p, aidMechanicalDamage, 1.0);
  put_i32(p, aidAllowTyreBlankets, 1);
  put_i32(p, aidAutoBlip, 1);
  put_i32(p, PitWindowStart, 0);
  put_i32(p, PitWindowEnd, 0);
  put_text(p, dryTyresName, long_text, u"DHF");
  put_text(p, wetTyresName, long_text, u"WH");
}

void update_standin_graphics_page(std::span<std::byte> page, std::int32_t update, double rate, std::int32_t sim_status,
                                  const StandinLaps& laps) {
  require(page, graphics_page.image_size);
  const double seconds = seconds_of(update, rate);
  const Drive d = laps.drive_at(seconds);
  const CarState car = car_at(laps, seconds);
  const std::int32_t completed = static_cast<std::int32_t>(car.lap_number) - 1;
  const std::int32_t current_ms = milliseconds(car.lap_time);
  const std::int32_t last_ms = completed > 0 ? milliseconds(d.last_lap_time) : 0;
  const std::int32_t best_ms = completed > 0 ? milliseconds(d.best_lap_time) : 0;
  const int sector = std::min(sectors - 1, static_cast<int>(car.position * sectors));
  const std::int32_t sector_ms = milliseconds(car.lap_seconds / sectors);

  std::byte* p = page.data();
  using namespace graphics;
  put_i32(p, packetId, update);
  put_i32(p, status, sim_status);
  put_i32(p, session, session_race);
  put_text(p, currentTime, short_text, standin_lap_time_text(current_ms));
  put_text(p, lastTime, short_text, standin_lap_time_text(last_ms));
  put_text(p, bestTime, short_text, standin_lap_time_text(best_ms));
  put_text(p, split, short_text, standin_lap_time_text(sector * sector_ms));
  put_i32(p, completedLaps, completed);
  put_i32(p, position, 2);
  put_i32(p, iCurrentTime, current_ms);
  put_i32(p, iLastTime, last_ms);
  put_i32(p, iBestTime, best_ms);
  put_f32(p, sessionTimeLeft, std::max(0.0, session_seconds - seconds) * 1000.0);
  put_f32(p, distanceTraveled, car.distance);
  put_i32(p, currentSectorIndex, sector);
  put_i32(p, lastSectorTime, completed > 0 || sector > 0 ? sector_ms : 0);
  put_i32(p, numberOfLaps, completed);
  // Twelve units and the terminator, as the simulator names its dry tyres.
  put_text(p, tyreCompound, long_text, u"dry_compound");
  put_f32(p, normalizedCarPosition, car.position);
  put_i32(p, activeCars, static_cast<std::int32_t>(car_ids.size()));
  for (std::size_t i = 0; i < car_ids.size(); ++i) {
    const CarState c = i == player_index ? car : other_car_at(laps, seconds, car_offsets[i]);
    put_f32s(p, carCoordinates + 12 * i, {c.x, c.y, c.z});
    put_i32(p, carID + 4 * i, car_ids[i]);
  }
  put_i32(p, playerCarID, car_ids[player_index]);
  put_f32(p, surfaceGrip, 0.98);
  put_f32(p, windSpeed, 2.5);
  put_f32(p, windDirection, 1.2);
  put_i32(p, TC, 3);
  put_i32(p, TCCut, 2);
  put_i32(p, EngineMap, 1);
  put_i32(p, ABS, 2);
  put_i32(p, fuelXLap, static_cast<std::int32_t>(std::lround(fuel_per_lap)));
  put_f32(p, exhaustTemperature, 420.0 + 250.0 * car.speed / gear_top_speed.back());
  const double used = (car.distance / standin_track_length(laps)) * fuel_per_lap;
  put_f32(p, usedFuel, used);
  put_i32(p, iEstimatedLapTime, milliseconds(car.lap_seconds));
  put_i32(p, iSplit, sector * sector_ms);
  put_i32(p, isValidLap, 1);
  put_f32(p, fuelEstimatedLaps, (max_fuel - used) / fuel_per_lap);
  put_f32(p, Clock, 14.0 * 3600.0 + seconds);
  put_i32(p, trackGripStatus, grip_optimum);
  put_i32(p, currentTyreSet, 1);
  put_i32(p, strategyTyreSet, 2);
  put_i32(p, gapAhead, milliseconds(car_offsets[0] * car.lap_seconds));
  put_i32(p, gapBehind, milliseconds(-car_offsets[2] * car.lap_seconds));
}

void update_standin_graphics_page(std::span<std::byte> page, std::int32_t update, double rate,
                                  std::int32_t sim_status) {
  update_standin_graphics_page(page, update, rate, sim_status, default_laps());
}

void update_standin_physics_page(std::span<std::byte> page, std::int32_t update, double rate, const StandinLaps& laps) {
  require(page, physics_page.image_size);
  const double seconds = seconds_of(update, rate);
  const CarState car = car_at(laps, seconds);
  const int gear = gear_of(car.speed);
  const double rpm = engine_speed(car.speed, gear);
  // Throttle while gaining speed (and a little to hold it), brake while losing it.
  const double length = standin_track_length(laps);
  const double peak = length / (car.lap_seconds * car.lap_seconds) * swing * 2.0 * std::numbers::pi * corners;
  const double throttle =
      car.acceleration >= -0.1 * peak ? std::clamp(0.3 + 0.7 * car.acceleration / peak, 0.0, 1.0) : 0.0;
  const double brake = car.acceleration < -0.1 * peak ? std::clamp(-car.acceleration / peak, 0.0, 1.0) : 0.0;
  const double fuel = max_fuel - car.distance / length * fuel_per_lap;
  const double lateral = car.speed * car.speed / (length / (2.0 * std::numbers::pi));
  const double wheel_speed = car.speed / 0.34;  // rad/s of a 0.34 m tyre

  std::byte* p = page.data();
  using namespace physics;
  put_i32(p, packetId, standin_physics_packet(update));
  put_f32(p, gas, throttle);
  put_f32(p, physics::brake, brake);
  put_f32(p, physics::fuel, std::max(0.0, fuel));
  put_i32(p, physics::gear, gear + 1);  // the simulator's 0 is reverse, 1 neutral
  put_i32(p, rpms, static_cast<std::int32_t>(std::lround(rpm)));
  put_f32(p, steerAngle, 0.15 * std::sin(2.0 * std::numbers::pi * 3.0 * car.position));
  put_f32(p, speedKmh, car.speed * 3.6);
  put_f32s(p, velocity, {car.speed * std::cos(car.heading), 0.0, car.speed * std::sin(car.heading)});
  put_f32s(p, accG, {lateral / 9.81, 1.0, car.acceleration / 9.81});
  for (std::size_t w = 0; w < 4; ++w) {
    const double front = w < 2 ? 1.0 : 0.0;
    put_f32(p, wheelSlip + 4 * w, 0.02 + 0.1 * brake);
    put_f32(p, wheelLoad + 4 * w, 3300.0 + 400.0 * front + 2.0 * car.speed * car.speed / 10.0);
    put_f32(p, wheelsPressure + 4 * w, 27.4 + 0.2 * front);
    put_f32(p, wheelAngularSpeed + 4 * w, wheel_speed);
    put_f32(p, tyreCoreTemperature + 4 * w, 80.0 + 4.0 * front);
    put_f32(p, suspensionTravel + 4 * w, 0.03 + 0.005 * front);
    put_f32(p, brakeTemp + 4 * w, 300.0 + 350.0 * brake + 50.0 * front);
    put_f32(p, tyreTemp + 4 * w, 80.0 + 4.0 * front);
    put_f32(p, padLife + 4 * w, 29.0);
    put_f32(p, discLife + 4 * w, 32.0);
  }
  put_f32(p, heading, std::remainder(car.heading, 2.0 * std::numbers::pi));
  put_f32(p, cgHeight, 0.29);
  put_f32s(p, rideHeight, {0.055, 0.075});
  put_f32(p, airDensity, 1.18);
  put_f32(p, airTemp, 22.0);
  put_f32(p, roadTemp, 30.0);
  put_f32(p, brakeBias, 0.56);
  put_f32s(p, localVelocity, {0.0, 0.0, car.speed});
  put_i32(p, currentMaxRpm, max_rpm);
  put_f32(p, waterTemp, 88.0);
  put_i32(p, ignitionOn, 1);
  put_i32(p, isEngineRunning, 1);
}

void update_standin_physics_page(std::span<std::byte> page, std::int32_t update, double rate) {
  update_standin_physics_page(page, update, rate, default_laps());
}

void set_standin_sim_status(std::span<std::byte> page, std::int32_t sim_status) {
  require(page, graphics::status + 4);
  coding::encode_i32(page.data() + graphics::status, sim_status);
}

}  // namespace vove::acc
