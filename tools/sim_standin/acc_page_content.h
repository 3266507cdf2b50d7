// What the ACC stand-in writes into its three pages: the simulator's own
// fields at their published offsets (formats/acc_fields.h), with values a
// live session shows. One car, the player's, drives laps of the stand-in's
// track, with two more cars on it; its lap counters and times, track
// position and distance agree with the laps it drives, its speed is the
// derivative of that distance, gear and engine speed follow the speed
// through a gear table, throttle and brake the acceleration.
//
// The graphics page advances once per update (its packetId is the update
// number), the physics page physics_steps_per_update times, as the
// simulator's physics runs faster than its frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "formats/acc_pages.h"
#include "tools/sim_standin/standin_drive.h"

namespace vove::acc {

// Every page is created this large: one memory page, more than any image,
// and of a size no consumer uses, so a page of another size is known to be
// someone else's.
inline constexpr std::uint32_t standin_page_size = 4096;

inline constexpr std::int32_t sim_status_off = 0;
inline constexpr std::int32_t sim_status_live = 2;

inline constexpr std::int32_t physics_steps_per_update = 5;

// The track the car laps: as long as the first lap takes at the default
// lap's average speed, so that any lap time gives plausible speeds.
double standin_track_length(const StandinLaps& laps) noexcept;

// The physics packetId of update `update` (wrapping as the int32 it is).
std::int32_t standin_physics_packet(std::int32_t update) noexcept;

// The packetId after `packet`, wrapping like the int32 counter it is (C++20
// defines the conversion).
inline std::int32_t next_standin_packet(std::int32_t packet) noexcept {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(packet) + 1u);
}

// "m:ss.mmm" for a lap time in milliseconds (negative counts as 0).
std::u16string standin_lap_time_text(std::int32_t milliseconds);

// Writes the static page; the page must hold at least the static image.
void write_standin_static_page(std::span<std::byte> page);

// Writes the graphics page for update `update` at `rate` updates a second
// (the ACC pages run on real time, so --rate changes how often they change,
// not how fast the car goes)
// with the given status, the car driving `laps` (default: every lap
// standin_lap_seconds).
void update_standin_graphics_page(std::span<std::byte> page, std::int32_t update, double rate, std::int32_t sim_status,
                                  const StandinLaps& laps);
void update_standin_graphics_page(std::span<std::byte> page, std::int32_t update, double rate, std::int32_t sim_status);

// Writes the physics page for update `update` at `rate` updates a second.
void update_standin_physics_page(std::span<std::byte> page, std::int32_t update, double rate, const StandinLaps& laps);
void update_standin_physics_page(std::span<std::byte> page, std::int32_t update, double rate);

// Changes only the status in the graphics page.
void set_standin_sim_status(std::span<std::byte> page, std::int32_t sim_status);

}  // namespace vove::acc
