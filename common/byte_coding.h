// Fixed-width integer and float coding for files, payloads and shared memory.
//
// Every multi-byte value this system stores or reads is little-endian and
// unaligned. These helpers are the only place that knows it: each goes
// through memcpy on a byte array, never through a pointer cast, so they are
// valid at any address and on any host byte order.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace vove::coding {

inline void encode_u16(void* destination, std::uint16_t value) noexcept {
  const unsigned char bytes[2] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8)};
  std::memcpy(destination, bytes, 2);
}

inline void encode_u32(void* destination, std::uint32_t value) noexcept {
  unsigned char bytes[4];
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
  std::memcpy(destination, bytes, 4);
}

inline void encode_i32(void* destination, std::int32_t value) noexcept {
  encode_u32(destination, static_cast<std::uint32_t>(value));
}

inline void encode_u64(void* destination, std::uint64_t value) noexcept {
  unsigned char bytes[8];
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
  std::memcpy(destination, bytes, 8);
}

inline void encode_f32(void* destination, float value) noexcept {
  encode_u32(destination, std::bit_cast<std::uint32_t>(value));
}

inline std::uint16_t decode_u16(const void* source) noexcept {
  unsigned char bytes[2];
  std::memcpy(bytes, source, 2);
  return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

inline std::uint32_t decode_u32(const void* source) noexcept {
  unsigned char bytes[4];
  std::memcpy(bytes, source, 4);
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
  return value;
}

inline std::int32_t decode_i32(const void* source) noexcept { return static_cast<std::int32_t>(decode_u32(source)); }

inline std::uint64_t decode_u64(const void* source) noexcept {
  unsigned char bytes[8];
  std::memcpy(bytes, source, 8);
  std::uint64_t value = 0;
  for (int i = 0; i < 8; ++i) value |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
  return value;
}

inline float decode_f32(const void* source) noexcept { return std::bit_cast<float>(decode_u32(source)); }

inline double decode_f64(const void* source) noexcept { return std::bit_cast<double>(decode_u64(source)); }

inline void encode_f64(void* destination, double value) noexcept {
  encode_u64(destination, std::bit_cast<std::uint64_t>(value));
}

}  // namespace vove::coding
