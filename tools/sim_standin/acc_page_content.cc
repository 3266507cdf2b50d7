#include "tools/sim_standin/acc_page_content.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "common/byte_coding.h"
#include "tools/sim_standin/standin_drive.h"

namespace ACC {

namespace {

constexpr std::size_t text_units = 33;           // a text field, terminator included
constexpr std::size_t short_text_units = 15;     // the version fields
constexpr std::int32_t best_lap_ms = 101998;

void require(std::span<const std::byte> page, std::size_t size) {
  if (page.size() < size) throw std::length_error("the page is smaller than its image");
}

// Fills a text field of `units` UTF-16 units: the text, cut to leave room
// for the terminator, then zeros to the end of the field.
void put_text(std::byte* field, std::size_t units, std::u16string_view text) noexcept {
  std::memset(field, 0, units * 2);
  const std::size_t length = std::min(text.size(), units - 1);
  for (std::size_t i = 0; i < length; ++i) {
    field[2 * i] = static_cast<std::byte>(text[i] & 0xff);
    field[2 * i + 1] = static_cast<std::byte>(text[i] >> 8);
  }
}

std::u16string ascii_text(std::string_view text) { return std::u16string(text.begin(), text.end()); }

double seconds_of(std::int32_t packet, double rate) noexcept { return rate > 0.0 ? packet / rate : 0.0; }

std::int32_t last_lap_ms(double lap_number) noexcept {
  return 102345 + static_cast<std::int32_t>(std::fmod(lap_number * 37.0, 900.0)) - 450;
}

}  // namespace

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
  return ascii_text(text);
}

void write_standin_static_page(std::span<std::byte> page) {
  require(page, static_page.image_size);
  std::byte* p = page.data();
  put_text(p + 0, short_text_units, u"1.0");
  put_text(p + 30, short_text_units, u"1.0");
  coding::encode_i32(p + 60, 3);
  coding::encode_i32(p + 64, 24);
  put_text(p + 68, text_units, u"standin_gt3");
  put_text(p + 134, text_units, u"standin_ring");
  put_text(p + 200, text_units, u"Alex Novak");
  coding::encode_i32(p + 400, 7500);
  coding::encode_f32(p + 404, 120.0f);
  coding::encode_f32(p + 456, 21.5f);
  coding::encode_f32(p + 460, 31.25f);
  // The tyre names, the wet one ending at the last byte of the page.
  put_text(p + 688, text_units, u"standin_dry");
  put_text(p + 754, text_units, u"standin_wet_compound_of_32_units");
}

void update_standin_graphics_page(std::span<std::byte> page, std::int32_t packet, double rate,
                                  std::int32_t sim_status) {
  require(page, graphics_page.image_size);
  const double seconds = seconds_of(packet, rate);
  const Drive d = standin_drive_at(seconds);
  const std::int32_t last_ms = last_lap_ms(d.lap_number);
  std::int32_t current_ms = static_cast<std::int32_t>(d.lap_time * 1000.0);
  // Consumers treat equal texts as "not ready"; never let them meet.
  if (current_ms == last_ms) ++current_ms;

  std::byte* p = page.data();
  coding::encode_i32(p + 0, packet);
  coding::encode_i32(p + sim_status_offset, sim_status);
  coding::encode_i32(p + 8, 2);
  coding::encode_i32(p + 12, static_cast<std::int32_t>(d.lap_number) - 1);
  coding::encode_i32(p + 16, 7);
  coding::encode_i32(p + 20, current_ms);
  coding::encode_i32(p + 24, last_ms);
  coding::encode_i32(p + 28, best_lap_ms);
  coding::encode_f32(p + 32, static_cast<float>(std::max(0.0, 3600.0 - seconds)));
  coding::encode_f32(p + 36, static_cast<float>((d.lap_number - 1.0 + d.lap_fraction) * standin_track_length_metres));
  coding::encode_i32(p + 40, 0);
  coding::encode_i32(p + 44, static_cast<std::int32_t>(d.lap_fraction * 3.0));
  coding::encode_f32(p + 48, static_cast<float>(d.lap_fraction));
  coding::encode_i32(p + 52, 30);
  put_text(p + readiness_first_offset, text_units, standin_lap_time_text(current_ms));
  put_text(p + readiness_second_offset, text_units, standin_lap_time_text(last_ms));
  put_text(p + 332, text_units, standin_lap_time_text(best_lap_ms));
  coding::encode_i32(p + graphics_page.image_size - 8, packet);
}

void update_standin_physics_page(std::span<std::byte> page, std::int32_t packet, double rate) {
  require(page, physics_page.image_size);
  const double seconds = seconds_of(packet, rate);
  const Drive d = standin_drive_at(seconds);
  const auto wave = [seconds](double base, double amplitude, double period, double phase) {
    return static_cast<float>(base + amplitude * std::sin(seconds * 6.283185307179586 / period + phase));
  };

  std::byte* p = page.data();
  coding::encode_i32(p + 0, packet);
  coding::encode_f32(p + 4, static_cast<float>(d.throttle));
  coding::encode_f32(p + 8, static_cast<float>(d.brake));
  coding::encode_f32(p + 12, static_cast<float>(60.0 - seconds * 0.002));
  coding::encode_i32(p + 16, static_cast<std::int32_t>(d.gear) + 1);  // 0 reverse, 1 neutral
  coding::encode_i32(p + 20, static_cast<std::int32_t>(d.engine_speed));
  coding::encode_f32(p + 24, wave(0.0, 0.3, 17.0, 0.0));
  coding::encode_f32(p + 28, static_cast<float>(d.speed * 3.6));
  for (int axis = 0; axis < 3; ++axis) {
    coding::encode_f32(p + 32 + 4 * axis, wave(axis == 2 ? d.speed : 0.0, 0.8, 9.0 + axis, axis));
    coding::encode_f32(p + 44 + 4 * axis, wave(0.0, 1.5, 5.0 + axis, axis));
  }
  for (int corner = 0; corner < 4; ++corner) {
    const std::size_t at = static_cast<std::size_t>(4 * corner);
    coding::encode_f32(p + 56 + at, wave(0.02, 0.02, 5.0, corner));
    coding::encode_f32(p + 72 + at, wave(3600.0, 900.0, 7.0, corner));
    coding::encode_f32(p + 88 + at, wave(27.6, 0.3, 60.0, corner));
    coding::encode_f32(p + 104 + at, static_cast<float>(d.speed / 0.34));
    coding::encode_f32(p + 120 + at, wave(85.0, 5.0, 40.0, corner));
    coding::encode_f32(p + 136 + at, wave(420.0, 180.0, 9.0, corner));
  }
}

void set_standin_sim_status(std::span<std::byte> page, std::int32_t sim_status) {
  require(page, sim_status_offset + 4);
  coding::encode_i32(page.data() + sim_status_offset, sim_status);
}

}  // namespace ACC
