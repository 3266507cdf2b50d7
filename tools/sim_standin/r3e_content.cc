#include "tools/sim_standin/r3e_content.h"

#include "common/byte_coding.h"

namespace vove::r3e {

void write_standin_memory(std::span<std::byte> memory, std::int32_t ticks) noexcept {
  std::byte* const m = memory.data();
  coding::encode_i32(m + version_major_offset, largest_layout_major);
  coding::encode_i32(m + version_minor_offset, largest_layout_minor);
  coding::encode_i32(m + all_drivers_offset_offset, static_cast<std::int32_t>(num_cars_offset));
  coding::encode_i32(m + driver_data_size_offset, static_cast<std::int32_t>(driver_data_size));
  coding::encode_i32(m + game_mode_offset, standin_game_mode);
  coding::encode_i32(m + session_type_offset, standin_session_type);
  coding::encode_i32(m + session_phase_offset, session_phase_garage);
  coding::encode_i32(m + num_cars_offset, standin_car_count);
  coding::encode_i32(m + simulation_ticks_offset, ticks);
  coding::encode_f64(m + simulation_time_offset, ticks / ticks_per_second);
}

void stamp_memory(std::span<std::byte> memory, std::uint64_t stamp) noexcept {
  coding::encode_u64(memory.data() + head_stamp_offset, stamp);
  coding::encode_u64(memory.data() + tail_stamp_offset, stamp);
}

}  // namespace vove::r3e
