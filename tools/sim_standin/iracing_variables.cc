#include "tools/sim_standin/iracing_variables.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <numbers>
#include <stdexcept>

#include "common/byte_coding.h"
#include "tools/sim_standin/iracing_field.h"
#include "tools/sim_standin/standin_drive.h"

namespace vove::iracing {

namespace {

constexpr std::int32_t car_slots = 64;
// Where the track lies: the session text's TrackLatitude and TrackLongitude.
constexpr double origin_latitude = -36.85;
constexpr double origin_longitude = 174.76;
constexpr double origin_altitude = 18.79;
constexpr double metres_per_degree = 111195.0;
constexpr double session_seconds = 7200.0;
constexpr double start_time_of_day = 14.5 * 3600.0;  // 2:30 pm
constexpr double fuel_litres_at_start = 60.0;
constexpr double fuel_litres_per_metre = 2.6e-4;
constexpr double fuel_tank_litres = 100.0;
// Steering: the front wheels' angle for the outline's curvature over this
// wheelbase, times the steering ratio.
constexpr double wheelbase_metres = 2.6;
constexpr double steering_ratio = 14.0;

// ---- reading the table

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t begin = 0;
  while (true) {
    const std::size_t end = text.find(separator, begin);
    parts.push_back(text.substr(begin, end == std::string_view::npos ? std::string_view::npos : end - begin));
    if (end == std::string_view::npos) return parts;
    begin = end + 1;
  }
}

VariableType type_named(std::string_view name) {
  if (name == "char") return VariableType::character;
  if (name == "bool") return VariableType::boolean;
  if (name == "int") return VariableType::integer;
  if (name == "bitfield") return VariableType::bitfield;
  if (name == "float") return VariableType::float32;
  if (name == "double") return VariableType::float64;
  throw std::invalid_argument("unknown type '" + std::string(name) + "'");
}

double number(std::string_view text) {
  const std::string copy(text);
  char* end = nullptr;
  const double value = std::strtod(copy.c_str(), &end);
  if (copy.empty() || end != copy.c_str() + copy.size() || !std::isfinite(value)) {
    throw std::invalid_argument("'" + copy + "' is not a number");
  }
  return value;
}

// The quantities a motion may name; each is computed in value_of below.
// clang-format off
constexpr std::array<std::string_view, 50> quantities{
    "session_time", "session_tick", "session_time_remain", "time_of_day", "player_car_idx", "player_position",
    "lap", "lap_completed", "lap_dist", "lap_dist_pct", "lap_current_time", "lap_last_time", "lap_best_time",
    "lap_best_lap", "lap_delta_best", "lap_delta_best_ok", "speed", "rpm", "gear", "throttle", "brake",
    "steering", "yaw", "yaw_rate", "accel_long", "accel_lat", "lat", "lon", "alt", "fuel_level",
    "fuel_level_pct", "fuel_use", "brake_pressure", "odometer", "car_lap", "car_lap_completed",
    "car_lap_dist_pct", "car_track_surface", "car_track_surface_material", "car_on_pit_road", "car_position",
    "car_class", "car_f2_time", "car_est_time", "car_last_lap_time", "car_best_lap_time", "car_best_lap_num",
    "car_steer", "car_rpm", "car_gear"};
// clang-format on

Motion motion_of(std::string_view text) {
  const std::vector<std::string_view> words = split(text, ' ');
  Motion motion;
  motion.quantity = std::string(words[0]);
  if (motion.quantity == "constant") {
    if (words.size() != 2) throw std::invalid_argument("'constant' takes one value");
    motion.base = number(words[1]);
  } else if (motion.quantity == "wave") {
    if (words.size() != 5) throw std::invalid_argument("'wave' takes base, amplitude, period and noise");
    motion.base = number(words[1]);
    motion.amplitude = number(words[2]);
    motion.period_seconds = number(words[3]);
    motion.noise = number(words[4]);
    if (motion.period_seconds <= 0.0) throw std::invalid_argument("a wave's period must be above 0");
  } else if (words.size() != 1 ||
             std::find(quantities.begin(), quantities.end(), motion.quantity) == quantities.end()) {
    throw std::invalid_argument("unknown motion '" + std::string(text) + "'");
  }
  return motion;
}

bool per_car(const StandinVariable& v) { return v.motion.quantity.rfind("car_", 0) == 0; }

// ---- the values of one tick

// A car other than the player's: its own constant lap time, and a start
// somewhere into its lap, so the field is spread around the track.
struct CarState {
  bool driving = false;
  Drive drive{};
  double lap_seconds = 0.0;
  double position = 0.0;  // 1 for the car furthest round, 0 when not driving
  double gap = 0.0;       // seconds behind the car furthest round
};

struct TickState {
  double seconds = 0.0;
  std::int32_t tick = 0;
  double track_length = 0.0;
  Drive player{};
  double player_position = 0.0;
  std::array<CarState, car_slots> cars{};
};

Drive other_car_at(double seconds, double lap_seconds, double head_start, double track_length) {
  Drive d{};
  const double driven = std::max(seconds, 0.0) + head_start;
  const double laps = driven / lap_seconds;
  d.lap_number = std::floor(laps) + 1.0;
  const double fraction = laps - std::floor(laps);
  d.lap_time = fraction * lap_seconds;
  fill_lap_motion(d, fraction, lap_seconds, track_length);
  d.distance = (d.lap_number - 1.0) * track_length + d.lap_distance;
  if (d.lap_number >= 2.0) d.last_lap_time = d.best_lap_time = lap_seconds;
  d.best_lap_number = d.lap_number >= 2.0 ? 1.0 : 0.0;
  return d;
}

TickState tick_state(std::int32_t tick, double seconds, const StandinLaps& laps) {
  TickState s;
  s.seconds = seconds;
  s.tick = tick;
  s.track_length = laps.track_length();
  s.player = laps.drive_at(seconds);
  const auto entries = standin_entries();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const StandinEntry& e = entries[i];
    if (e.pace_car || e.car_idx < 0 || e.car_idx >= car_slots) continue;
    CarState& car = s.cars[static_cast<std::size_t>(e.car_idx)];
    car.driving = true;
    if (e.car_idx == standin_player_car_idx) {
      car.drive = s.player;
      car.lap_seconds = laps.lap_seconds(static_cast<long long>(s.player.lap_number));
    } else {
      car.lap_seconds = standin_lap_seconds * e.pace * laps.track_length() / standin_track_length_metres;
      const double head_start = std::fmod(0.137 * static_cast<double>(i), 1.0) * car.lap_seconds;
      car.drive = other_car_at(seconds, car.lap_seconds, head_start, laps.track_length());
    }
  }
  double furthest = 0.0;
  for (const CarState& car : s.cars) {
    if (car.driving) furthest = std::max(furthest, car.drive.distance);
  }
  for (CarState& car : s.cars) {
    if (!car.driving) continue;
    car.position = 1.0;
    for (const CarState& other : s.cars) {
      if (other.driving && other.drive.distance > car.drive.distance) car.position += 1.0;
    }
    car.gap = (furthest - car.drive.distance) / laps.track_length() * car.lap_seconds;
  }
  s.player_position = s.cars[standin_player_car_idx].position;
  return s;
}

double steering_of(const Drive& d) { return std::atan(wheelbase_metres * d.curvature) * steering_ratio; }

// The value of a per-car quantity for car slot `slot`; slots without a
// driving car read as the simulator leaves them.
double car_value(std::string_view q, const TickState& s, std::int32_t slot) {
  const CarState& car = s.cars[static_cast<std::size_t>(slot)];
  const Drive& d = car.drive;
  if (!car.driving) {
    if (q == "car_lap" || q == "car_lap_completed" || q == "car_lap_dist_pct" || q == "car_track_surface" ||
        q == "car_track_surface_material" || q == "car_last_lap_time" || q == "car_best_lap_time" ||
        q == "car_best_lap_num") {
      return -1.0;
    }
    return 0.0;
  }
  if (q == "car_lap") return d.lap_number;
  if (q == "car_lap_completed") return d.lap_number - 1.0;
  if (q == "car_lap_dist_pct") return d.lap_fraction;
  if (q == "car_track_surface") return 3.0;           // irsdk_OnTrack
  if (q == "car_track_surface_material") return 1.0;  // irsdk_Asphalt1Material
  if (q == "car_on_pit_road") return 0.0;
  if (q == "car_position") return car.position;
  if (q == "car_class") return 4021.0;
  if (q == "car_f2_time") return car.gap;
  if (q == "car_est_time") return d.lap_time;
  if (q == "car_last_lap_time") return d.last_lap_time > 0.0 ? d.last_lap_time : -1.0;
  if (q == "car_best_lap_time") return d.best_lap_time > 0.0 ? d.best_lap_time : -1.0;
  if (q == "car_best_lap_num") return d.best_lap_number > 0.0 ? d.best_lap_number : -1.0;
  if (q == "car_steer") return steering_of(d);
  if (q == "car_rpm") return d.engine_speed;
  if (q == "car_gear") return d.gear;
  return 0.0;
}

// The value of a quantity of the player's drive `d` (at the tick's time or
// at a sample of a 360 Hz array).
double drive_value(std::string_view q, const TickState& s, const Drive& d, double seconds) {
  if (q == "session_time") return seconds;
  if (q == "session_tick") return s.tick;
  if (q == "session_time_remain") return std::max(0.0, session_seconds - seconds);
  if (q == "time_of_day") return start_time_of_day + seconds;
  if (q == "player_car_idx") return standin_player_car_idx;
  if (q == "player_position") return s.player_position;
  if (q == "lap") return d.lap_number;
  if (q == "lap_completed") return d.lap_number - 1.0;
  if (q == "lap_dist") return d.lap_distance;
  if (q == "lap_dist_pct") return d.lap_fraction;
  if (q == "lap_current_time") return d.lap_time;
  if (q == "lap_last_time") return d.last_lap_time;
  if (q == "lap_best_time") return d.best_lap_time;
  if (q == "lap_best_lap") return d.best_lap_number;
  if (q == "lap_delta_best") return d.delta_to_best;
  if (q == "lap_delta_best_ok") return d.best_lap_time > 0.0 ? 1.0 : 0.0;
  if (q == "speed") return d.speed;
  if (q == "rpm") return d.engine_speed;
  if (q == "gear") return d.gear;
  if (q == "throttle") return d.throttle;
  if (q == "brake") return d.brake;
  if (q == "steering") return steering_of(d);
  if (q == "yaw") return std::remainder(d.heading, 2.0 * std::numbers::pi);
  if (q == "yaw_rate") return d.curvature * d.speed;
  if (q == "accel_long") return d.acceleration;
  if (q == "accel_lat") return d.speed * d.speed * d.curvature;
  if (q == "lat") return origin_latitude + d.north / metres_per_degree;
  if (q == "lon") {
    return origin_longitude + d.east / (metres_per_degree * std::cos(origin_latitude * std::numbers::pi / 180.0));
  }
  if (q == "alt") return origin_altitude + 6.0 * std::sin(2.0 * std::numbers::pi * d.lap_fraction);
  if (q == "fuel_level") return std::max(1.0, fuel_litres_at_start - fuel_litres_per_metre * d.distance);
  if (q == "fuel_level_pct") {
    return std::max(1.0, fuel_litres_at_start - fuel_litres_per_metre * d.distance) / fuel_tank_litres;
  }
  if (q == "fuel_use") return 20.0 + 80.0 * d.throttle;
  if (q == "brake_pressure") return 60.0 * d.brake;
  if (q == "odometer") return d.distance;
  return 0.0;
}

void put_text(std::byte* destination, std::size_t capacity, const std::string& text) noexcept {
  std::memset(destination, 0, capacity);
  std::memcpy(destination, text.data(), std::min(text.size(), capacity - 1));
}

// A well-mixed 64-bit value of its input (splitmix64's finaliser).
std::uint64_t mix(std::uint64_t value) noexcept {
  value += 0x9e3779b97f4a7c15ULL;
  value = (value ^ (value >> 30)) * 0xbf58476d1ce4e5b9ULL;
  value = (value ^ (value >> 27)) * 0x94d049bb133111ebULL;
  return value ^ (value >> 31);
}

// Uniform in [-1, 1), the same for the same tick, variable and element.
double noise_at(std::int32_t tick, std::size_t variable, std::int32_t element) noexcept {
  const std::uint64_t key = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(tick)) << 32) ^
                            (static_cast<std::uint64_t>(variable) << 8) ^ static_cast<std::uint64_t>(element);
  return static_cast<double>(mix(key) >> 11) * 0x1.0p-52 - 1.0;
}

std::int32_t to_int32(double value) noexcept {
  if (!(value == value)) return 0;
  return static_cast<std::int32_t>(std::clamp(std::round(value), -2147483648.0, 2147483647.0));
}

void store(std::byte* destination, VariableType type, double value) noexcept {
  switch (type) {
    case VariableType::character:
      *destination = static_cast<std::byte>(static_cast<std::uint8_t>(to_int32(value)));
      break;
    case VariableType::boolean: *destination = static_cast<std::byte>(value > 0.5 ? 1 : 0); break;
    case VariableType::integer:
    case VariableType::bitfield: coding::encode_i32(destination, to_int32(value)); break;
    case VariableType::float32: coding::encode_f32(destination, static_cast<float>(value)); break;
    case VariableType::float64: coding::encode_u64(destination, std::bit_cast<std::uint64_t>(value)); break;
  }
}

}  // namespace

std::vector<StandinVariable> read_standin_variable_table(std::string_view text) {
  std::vector<StandinVariable> variables;
  std::int32_t next_offset = 0;
  const std::vector<std::string_view> lines = split(text, '\n');
  for (std::size_t line = 1; line < lines.size(); ++line) {  // the first names the columns
    if (lines[line].empty()) continue;
    try {
      const std::vector<std::string_view> cells = split(lines[line], '\t');
      // name, type, count, count_as_time, unit, description, type_from, listed, motion
      if (cells.size() != 9) throw std::invalid_argument(std::to_string(cells.size()) + " cells, not 9");
      StandinVariable v;
      v.name = std::string(cells[0]);
      v.type = type_named(cells[1]);
      const double count = number(cells[2]);
      if (count < 1.0 || count > car_slots || count != std::floor(count)) throw std::invalid_argument("bad count");
      v.count = static_cast<std::int32_t>(count);
      v.count_as_time = cells[3] == "1";
      v.unit = std::string(cells[4]);
      v.description = std::string(cells[5]);
      v.motion = motion_of(cells[8]);
      if (v.name.empty() || v.name.size() >= variable_name_capacity ||
          v.description.size() >= variable_description_capacity || v.unit.size() >= variable_unit_capacity) {
        throw std::invalid_argument("a name, unit or description does not fit its header");
      }
      const std::int32_t size = variable_type_size(v.type);
      next_offset = (next_offset + size - 1) / size * size;
      v.row_offset = next_offset;
      next_offset += size * v.count;
      variables.push_back(std::move(v));
    } catch (const std::invalid_argument& error) {
      throw std::invalid_argument("the stand-in's variable table, line " + std::to_string(line + 1) + ": " +
                                  error.what());
    }
  }
  return variables;
}

const std::vector<StandinVariable>& standin_variables() {
  static const std::vector<StandinVariable> table = read_standin_variable_table(standin_variable_table_text());
  return table;
}

std::int32_t standin_row_length(const std::vector<StandinVariable>& variables) noexcept {
  std::int32_t end = 0;
  for (const StandinVariable& v : variables) {
    end = std::max(end, v.row_offset + variable_type_size(v.type) * v.count);
  }
  return (end + 15) / 16 * 16;
}

void encode_variable_header(std::byte* destination, const StandinVariable& variable) noexcept {
  std::memset(destination, 0, variable_header_size);
  coding::encode_i32(destination + 0, static_cast<std::int32_t>(variable.type));
  coding::encode_i32(destination + 4, variable.row_offset);
  coding::encode_i32(destination + 8, variable.count);
  destination[12] = static_cast<std::byte>(variable.count_as_time ? 1 : 0);
  put_text(destination + variable_name_offset, variable_name_capacity, variable.name);
  put_text(destination + variable_description_offset, variable_description_capacity, variable.description);
  put_text(destination + variable_unit_offset, variable_unit_capacity, variable.unit);
}

void encode_variable_headers(std::span<std::byte> destination, const std::vector<StandinVariable>& variables) {
  if (destination.size() < variables.size() * variable_header_size) {
    throw std::length_error("the variable headers do not fit their room");
  }
  for (std::size_t i = 0; i < variables.size(); ++i) {
    encode_variable_header(destination.data() + i * variable_header_size, variables[i]);
  }
}

void fill_standin_row(std::span<std::byte> row, const std::vector<StandinVariable>& variables, std::int32_t tick,
                      double tick_rate) {
  static const StandinLaps default_laps;
  fill_standin_row(row, variables, tick, tick_rate, default_laps);
}

void fill_standin_row(std::span<std::byte> row, const std::vector<StandinVariable>& variables, std::int32_t tick,
                      double tick_rate, const StandinLaps& laps) {
  if (row.size() < static_cast<std::size_t>(standin_row_length(variables))) {
    throw std::length_error("the data row is shorter than the variables need");
  }
  const double seconds = tick_rate > 0.0 ? tick / tick_rate : 0.0;
  const TickState state = tick_state(tick, seconds, laps);
  for (std::size_t index = 0; index < variables.size(); ++index) {
    const StandinVariable& v = variables[index];
    const Motion& m = v.motion;
    const std::int32_t size = variable_type_size(v.type);
    const bool cars = per_car(v);
    for (std::int32_t element = 0; element < v.count; ++element) {
      // Samples of a 360 Hz array spread over the tick, the last at its time.
      const double at = cars || tick_rate <= 0.0 ? seconds : seconds - (v.count - 1 - element) / (tick_rate * v.count);
      double value = 0.0;
      if (m.quantity == "constant") {
        value = m.base;
      } else if (m.quantity == "wave") {
        const double phase = static_cast<double>(index) * 0.7 + element * 0.45;
        value = m.base + m.amplitude * std::sin(2.0 * std::numbers::pi * at / m.period_seconds + phase) +
                m.noise * noise_at(tick, index, element);
      } else if (cars) {
        value = car_value(m.quantity, state, element);
      } else {
        value = drive_value(m.quantity, state, at == seconds ? state.player : laps.drive_at(at), at);
      }
      store(row.data() + v.row_offset + element * size, v.type, value);
    }
  }
}

}  // namespace vove::iracing
