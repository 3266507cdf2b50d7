#include "tools/sim_standin/rf1_content.h"

#include "common/byte_coding.h"

namespace vove::rf1 {

void write_standin_memory(std::span<std::byte> memory, std::uint64_t update) noexcept {
  const auto shift = static_cast<std::size_t>(update % 255);
  for (std::size_t i = 0; i < memory.size(); ++i) memory[i] = static_cast<std::byte>(1 + (shift + i) % 255);
}

void stamp_memory(std::span<std::byte> memory, std::uint64_t stamp) noexcept {
  coding::encode_u64(memory.data() + head_stamp_offset, stamp);
  coding::encode_u64(memory.data() + tail_stamp_offset, stamp);
}

}  // namespace vove::rf1
