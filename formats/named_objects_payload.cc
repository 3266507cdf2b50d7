#include "formats/named_objects_payload.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

#include "common/byte_coding.h"
#include "formats/payload_damage.h"

namespace vove {

namespace {

constexpr std::size_t header_size = 8;
constexpr std::size_t entry_head_size = 2 + 4 + 4;  // name length, size, length, before the name's bytes

}  // namespace

NamedObjectsPayloadBuilder::NamedObjectsPayloadBuilder() : payload_(header_size) {
  std::memcpy(payload_.data(), named_objects_magic.data(), named_objects_magic.size());
}

std::span<std::uint8_t> NamedObjectsPayloadBuilder::add(std::string_view name, std::uint32_t size,
                                                        std::uint32_t length) {
  if (count_ >= max_named_objects) throw std::invalid_argument("more than 64 named objects in one frame");
  if (name.empty() || name.size() > max_object_name_length) {
    throw std::invalid_argument("object name of " + std::to_string(name.size()) + " bytes");
  }
  if (size > max_named_object_size || length > size) {
    throw std::invalid_argument("object " + std::string(name) + " of " + std::to_string(size) + " bytes, " +
                                std::to_string(length) + " of them copied");
  }
  for (const std::string& earlier : names_) {
    if (earlier == name) throw std::invalid_argument("object " + std::string(name) + " twice in one frame");
  }
  names_.emplace_back(name);
  const std::size_t at = payload_.size();
  payload_.resize(at + entry_head_size + name.size() + length);
  std::uint8_t* entry = payload_.data() + at;
  coding::encode_u16(entry, static_cast<std::uint16_t>(name.size()));
  std::memcpy(entry + 2, name.data(), name.size());
  coding::encode_u32(entry + 2 + name.size(), size);
  coding::encode_u32(entry + 6 + name.size(), length);
  ++count_;
  coding::encode_u32(payload_.data() + 4, count_);
  return {entry + entry_head_size + name.size(), length};
}

void NamedObjectsPayloadBuilder::add(std::string_view name, std::uint32_t size, std::span<const std::uint8_t> bytes) {
  if (bytes.size() > size)
    throw std::invalid_argument("object " + std::string(name) + " with more bytes than its size");
  const std::span<std::uint8_t> into = add(name, size, static_cast<std::uint32_t>(bytes.size()));
  std::copy(bytes.begin(), bytes.end(), into.begin());
}

FramePayload NamedObjectsPayloadBuilder::take() {
  if (count_ == 0) throw std::invalid_argument("a frame of no named objects");
  FramePayload payload = std::move(payload_);
  *this = NamedObjectsPayloadBuilder();
  return payload;
}

std::vector<NamedObjectView> read_named_objects(std::span<const std::uint8_t> payload) {
  // Length, then magic, then each field before it is used.
  if (payload.size() < header_size) {
    throw PayloadDamage("named-object frame of " + std::to_string(payload.size()) + " bytes, shorter than its header");
  }
  if (std::memcmp(payload.data(), named_objects_magic.data(), named_objects_magic.size()) != 0) {
    throw PayloadDamage("not a named-object frame (no \"VNO1\" at its start)");
  }
  const std::uint32_t count = coding::decode_u32(payload.data() + 4);
  if (count == 0 || count > max_named_objects) {
    throw PayloadDamage("named-object frame declaring " + std::to_string(count) + " objects");
  }
  std::vector<NamedObjectView> objects;
  objects.reserve(count);
  std::size_t at = header_size;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::string which = "object " + std::to_string(i + 1) + " of " + std::to_string(count);
    if (payload.size() - at < 2) throw PayloadDamage(which + " is cut short");
    const std::size_t name_length = coding::decode_u16(payload.data() + at);
    if (name_length == 0 || name_length > max_object_name_length) {
      throw PayloadDamage(which + " declares a name of " + std::to_string(name_length) + " bytes");
    }
    if (payload.size() - at < entry_head_size + name_length) throw PayloadDamage(which + " is cut short");
    NamedObjectView object;
    object.name = {reinterpret_cast<const char*>(payload.data() + at + 2), name_length};
    object.size = coding::decode_u32(payload.data() + at + 2 + name_length);
    const std::uint32_t length = coding::decode_u32(payload.data() + at + 6 + name_length);
    if (object.size > max_named_object_size || length > object.size) {
      throw PayloadDamage(which + " declares " + std::to_string(length) + " of " + std::to_string(object.size) +
                          " bytes");
    }
    at += entry_head_size + name_length;
    if (payload.size() - at < length) throw PayloadDamage(which + " is cut short");
    object.bytes = payload.subspan(at, length);
    at += length;
    if (find_named_object(objects, object.name) != nullptr) throw PayloadDamage(which + " repeats a name");
    objects.push_back(object);
  }
  if (at != payload.size()) {
    throw PayloadDamage(std::to_string(payload.size() - at) + " bytes after the last named object");
  }
  return objects;
}

const NamedObjectView* find_named_object(std::span<const NamedObjectView> objects, std::string_view name) noexcept {
  for (const NamedObjectView& object : objects) {
    if (object.name == name) return &object;
  }
  return nullptr;
}

}  // namespace vove
