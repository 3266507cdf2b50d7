// The frame payload of the simulators whose named mappings are recorded as
// they are (rFactor 2, the $pcars2$ games, RaceRoom) and of any named
// mappings recorded with --shm: each object's name, the size it was created
// with and the bytes copied from its start.
//
// Little-endian throughout:
//   [0, 4)  "VNO1"
//   [4, 8)  u32 object count, 1 to max_named_objects
//   then per object, in the order recorded:
//     u16 name length (1 to max_object_name_length), the name's bytes as
//         the simulator names the object ("$rFactor2SMMP_Telemetry$")
//     u32 size: the object's size as its creator made it
//     u32 length: how many bytes follow, at most the size; the object's
//         bytes [0, length). The rest was not copied: a simulator that says
//         how much of a buffer is in use gets only that much copied.
//     the bytes
// Nothing follows the last object.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "formats/frame_payload.h"

namespace vove {

inline constexpr std::string_view named_objects_magic = "VNO1";
inline constexpr std::uint32_t max_named_objects = 64;
inline constexpr std::size_t max_object_name_length = 255;
// The largest object recorded or replayed: well above any simulator's
// (rFactor 2's telemetry, the largest, is 241,680 bytes), and a bound on
// what a hostile record can make the replay create.
inline constexpr std::uint32_t max_named_object_size = 64u << 20;

// One object of a payload, pointing into the payload's bytes.
struct NamedObjectView {
  std::string_view name;
  std::uint32_t size = 0;
  std::span<const std::uint8_t> bytes;  // the object's first bytes.size() bytes
};

// Builds a payload one object at a time, each object's bytes copied once,
// straight into the payload.
class NamedObjectsPayloadBuilder {
 public:
  NamedObjectsPayloadBuilder();
  // Adds an object and returns where its `length` bytes go (valid until the
  // next add). Throws std::invalid_argument for a name, size or length out
  // of bounds, a name added before, or one object too many.
  std::span<std::uint8_t> add(std::string_view name, std::uint32_t size, std::uint32_t length);
  // Adds an object whose copied bytes are `bytes`.
  void add(std::string_view name, std::uint32_t size, std::span<const std::uint8_t> bytes);
  std::uint32_t objects() const noexcept { return count_; }
  // The payload; the builder is empty afterwards. Throws
  // std::invalid_argument when no object was added.
  FramePayload take();

 private:
  FramePayload payload_;
  std::uint32_t count_ = 0;
  std::vector<std::string> names_;
};

// The objects of a payload, in their order. Throws PayloadDamage when the
// bytes are no such payload: short, another magic, a count, name, size or
// length out of bounds, bytes after the last object.
std::vector<NamedObjectView> read_named_objects(std::span<const std::uint8_t> payload);

// The object of that name, if the payload holds one.
const NamedObjectView* find_named_object(std::span<const NamedObjectView> objects, std::string_view name) noexcept;

}  // namespace vove
