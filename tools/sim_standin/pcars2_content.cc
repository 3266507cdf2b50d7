#include "tools/sim_standin/pcars2_content.h"

namespace vove::pcars2 {

void write_standin_state(std::span<std::byte> memory, std::uint32_t game_state) noexcept {
  coding::encode_u32(memory.data() + version_offset, largest_layout_version);
  coding::encode_u32(memory.data() + build_version_offset, standin_build_version);
  coding::encode_u32(memory.data() + game_state_offset, game_state);
}

void stamp_memory(std::span<std::byte> memory, std::uint64_t stamp) noexcept {
  coding::encode_u64(memory.data() + head_stamp_offset, stamp);
  coding::encode_u64(memory.data() + tail_stamp_offset, stamp);
}

}  // namespace vove::pcars2
