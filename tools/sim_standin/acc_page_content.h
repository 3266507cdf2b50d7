// What the ACC stand-in writes into its three pages. Apart from the packet
// counters, the status and the two differing lap-time texts that consumers
// look at, the fields below are the stand-in's own choice of plausible
// values; offsets are from the start of each page, values little-endian,
// texts zero-terminated UTF-16LE.
//
// graphics: 0 i32 packet id, 4 i32 sim_status (2 live, 0 off),
//   8 i32 session kind, 12 i32 completed laps, 16 i32 position,
//   20 i32 current lap ms, 24 i32 last lap ms, 28 i32 best lap ms,
//   32 f32 session time left, 36 f32 distance driven, 40 i32 in pit lane,
//   44 i32 sector index, 48 f32 lap fraction, 52 i32 laps in the session,
//   200 text current lap time, 266 text last lap time, 332 text best lap
//   time (33 units each), 1580 i32 packet id again (the image's last field)
// physics: 0 i32 packet id, 4 f32 throttle, 8 f32 brake, 12 f32 fuel,
//   16 i32 gear, 20 i32 engine speed, 24 f32 steering, 28 f32 speed km/h,
//   32 3 x f32 velocity, 44 3 x f32 acceleration, then four corners each of
//   f32 wheel slip (56), wheel load (72), tyre pressure (88), wheel speed
//   (104), tyre core temperature (120), brake temperature (136)
// static: 0 text version (15 units), 30 text shared-memory version,
//   60 i32 sessions, 64 i32 cars, 68 text car model, 134 text track,
//   200 text player name, 400 i32 maximum engine speed, 404 f32 maximum
//   fuel, 456 f32 and 460 f32 two fixed numbers (21.5 and 31.25),
//   688 text dry tyre name, 754 text wet tyre name (33 units each)
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "formats/acc_pages.h"
#include "formats/acc_readiness.h"

namespace ACC {

// Every page is created this large: one memory page, more than any image,
// and of a size no consumer uses, so a page of another size is known to be
// someone else's.
inline constexpr std::uint32_t standin_page_size = 4096;

inline constexpr std::int32_t sim_status_off = 0;
inline constexpr std::int32_t sim_status_live = 2;

// "m:ss.mmm" for a lap time in milliseconds (negative counts as 0).
std::u16string standin_lap_time_text(std::int32_t milliseconds);

// Writes the fixed fields of the static page; the page must hold at least
// the static image.
void write_standin_static_page(std::span<std::byte> page);

// Writes the graphics page for update `packet` at `rate` updates a second
// with the given status. Every update changes the packet ids, the current
// lap time and its text; the texts at 200 and 266 always differ.
void update_standin_graphics_page(std::span<std::byte> page, std::int32_t packet, double rate,
                                  std::int32_t sim_status);

// Writes the physics page for update `packet` at `rate` updates a second.
void update_standin_physics_page(std::span<std::byte> page, std::int32_t packet, double rate);

// Changes only sim_status in the graphics page.
void set_standin_sim_status(std::span<std::byte> page, std::int32_t sim_status);

}  // namespace ACC
