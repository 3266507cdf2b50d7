#include "tools/sim_standin/lmu_content.h"

#include "common/byte_coding.h"

namespace vove::lmu {

void write_standin_data(std::span<std::byte> data, std::int32_t vehicles) noexcept {
  coding::encode_i32(data.data() + game_version_offset, standin_game_version);
  coding::encode_i32(data.data() + scoring_vehicle_count_offset, vehicles);
  data[active_vehicles_offset] = static_cast<std::byte>(vehicles);
}

void write_standin_exit(std::span<std::byte> data) noexcept {
  coding::encode_i32(data.data() + game_version_offset, 0);
}

void stamp_data(std::span<std::byte> data, std::uint64_t stamp) noexcept {
  coding::encode_u64(data.data() + head_stamp_offset, stamp);
  coding::encode_u64(data.data() + tail_stamp_offset, stamp);
}

}  // namespace vove::lmu
