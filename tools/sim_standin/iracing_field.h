// The entries of the iRacing stand-in's session: who drives which car
// index, shared by the session text (DriverInfo:Drivers) and the CarIdx*
// telemetry arrays, so both describe the same field.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace vove::iracing {

struct StandinEntry {
  std::int32_t car_idx;
  std::string_view user_name;  // unquoted, as the simulator writes it
  std::string_view abbrev_name;
  std::string_view initials;
  std::int32_t user_id;  // -1 for the pace car
  std::string_view car_number;
  std::string_view car_screen_name;
  std::string_view car_screen_name_short;
  std::string_view car_class_short_name;
  bool pace_car;
  std::int32_t irating;
  std::string_view licence;
  double pace;  // lap time as a multiple of the player's default lap
};

// The pace car first (car index 0, as in a real session), then the cars;
// car indices have gaps, and the player's is not the first entry.
std::span<const StandinEntry> standin_entries() noexcept;

// The player's car index (DriverInfo:DriverCarIdx, PlayerCarIdx).
inline constexpr std::int32_t standin_player_car_idx = 5;

}  // namespace vove::iracing
