#include "simulators/rf2/rf2_emulator.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "common/byte_coding.h"
#include "formats/rf2_layout.h"

namespace vove::rf2 {

namespace {

// Begin bumped, the bytes after the version block, End set equal: a reader
// comparing the two on both sides of its copy never takes a half-written
// buffer.
void write_versioned(std::span<std::uint8_t> target, std::uint32_t version, std::span<const std::uint8_t> data) {
  coding::encode_u32(target.data() + version_begin_offset, version);
  std::atomic_thread_fence(std::memory_order_release);
  if (data.size() > version_block_size && target.size() > version_block_size) {
    const std::size_t length = std::min(data.size(), target.size()) - version_block_size;
    std::memcpy(target.data() + version_block_size, data.data() + version_block_size, length);
  }
  std::atomic_thread_fence(std::memory_order_release);
  coding::encode_u32(target.data() + version_end_offset, version);
}

void copy_as_recorded(CreatedObject& target, std::span<const std::uint8_t> recorded) noexcept {
  const std::span<std::uint8_t> bytes = target.bytes();
  std::memcpy(bytes.data(), recorded.data(), std::min(bytes.size(), recorded.size()));
}

}  // namespace

bool PluginBufferWriter::is_plugin_buffer(std::string_view name) noexcept { return find_buffer(name) != nullptr; }

std::uint32_t PluginBufferWriter::smallest_size(std::string_view name) noexcept {
  const BufferDescription* buffer = find_buffer(name);
  return buffer == nullptr ? 0 : buffer->size;
}

void PluginBufferWriter::write(CreatedObject& target, const NamedObjectView& recorded, bool pass_begins) {
  const BufferDescription* buffer = find_buffer(recorded.name);
  if (buffer == nullptr || !buffer->versioned || recorded.bytes.size() < version_block_size ||
      target.size < version_block_size) {
    copy_as_recorded(target, recorded.bytes);
    return;
  }
  Versions& versions = versions_[target.name];
  const std::uint32_t recorded_version = coding::decode_u32(recorded.bytes.data() + version_end_offset);
  if (!pass_begins && versions.published != 0 && recorded_version == versions.recorded) return;
  versions.recorded = recorded_version;
  write_versioned(target.bytes(), ++versions.published, recorded.bytes);
}

void PluginBufferWriter::finish(CreatedObject& target) {
  const std::span<std::uint8_t> bytes = target.bytes();
  const BufferDescription* buffer = find_buffer(target.name);
  if (buffer == nullptr || !buffer->versioned || bytes.size() < version_block_size) {
    std::fill(bytes.begin(), bytes.end(), std::uint8_t{0});
    return;
  }
  const std::vector<std::uint8_t> zeros(bytes.size());
  write_versioned(bytes, ++versions_[target.name].published, zeros);
}

std::uint32_t Emulator::smallest_size(std::string_view name) const { return PluginBufferWriter::smallest_size(name); }

std::vector<std::string_view> Emulator::standing_names() const {
  std::vector<std::string_view> names;
  for (const BufferDescription& buffer : buffers) {
    if (buffer.required) names.push_back(buffer.name);
  }
  return names;
}

void Emulator::write_object(CreatedObject& target, const NamedObjectView& recorded, bool pass_begins) {
  writer_.write(target, recorded, pass_begins);
}

void Emulator::finish_object(CreatedObject& target) { writer_.finish(target); }

}  // namespace vove::rf2
