#include "formats/ibt_format.h"

#include <bit>

#include "common/byte_coding.h"

namespace vove::iracing {

namespace {

constexpr std::size_t start_date_offset = 0;
constexpr std::size_t start_time_offset = 8;
constexpr std::size_t end_time_offset = 16;
constexpr std::size_t lap_count_offset = 24;
constexpr std::size_t record_count_offset = 28;

}  // namespace

IbtDiskHeader decode_ibt_disk_header(std::span<const std::uint8_t, ibt_disk_header_size> bytes) noexcept {
  IbtDiskHeader header;
  header.start_date = static_cast<std::int64_t>(coding::decode_u64(bytes.data() + start_date_offset));
  header.start_time = std::bit_cast<double>(coding::decode_u64(bytes.data() + start_time_offset));
  header.end_time = std::bit_cast<double>(coding::decode_u64(bytes.data() + end_time_offset));
  header.lap_count = coding::decode_i32(bytes.data() + lap_count_offset);
  header.record_count = coding::decode_i32(bytes.data() + record_count_offset);
  return header;
}

IbtDiskHeaderBytes encode_ibt_disk_header(const IbtDiskHeader& header) noexcept {
  IbtDiskHeaderBytes bytes{};
  coding::encode_u64(bytes.data() + start_date_offset, static_cast<std::uint64_t>(header.start_date));
  coding::encode_u64(bytes.data() + start_time_offset, std::bit_cast<std::uint64_t>(header.start_time));
  coding::encode_u64(bytes.data() + end_time_offset, std::bit_cast<std::uint64_t>(header.end_time));
  coding::encode_i32(bytes.data() + lap_count_offset, header.lap_count);
  coding::encode_i32(bytes.data() + record_count_offset, header.record_count);
  return bytes;
}

}  // namespace vove::iracing
