// The two sides of a named mapping as the protocol tests play them: the
// simulator that creates and writes it, and a client that opens what the
// replay published. Offsets in the tests are the simulators' own, written
// out, so that a wrong constant in the product shows.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/byte_coding.h"
#include "common/platform/mapped_page.h"
#include "formats/named_objects_payload.h"

namespace vove::memory_test {

// A mapping as a simulator makes it: created at `size`, written through a view.
class SimulatorMapping {
 public:
  SimulatorMapping(std::string_view name, std::uint32_t size) : size_(size) {
    if (!page_.create_or_open(name, size) || !page_.map(platform::Access::write, size))
      throw std::runtime_error("cannot create " + std::string(name));
  }
  std::span<std::uint8_t> bytes() const { return {reinterpret_cast<std::uint8_t*>(page_.data()), size_}; }
  std::uint8_t* at(std::size_t offset) const { return bytes().data() + offset; }
  void put_u32(std::size_t offset, std::uint32_t value) const { coding::encode_u32(at(offset), value); }
  std::uint32_t u32(std::size_t offset) const { return coding::decode_u32(at(offset)); }
  void put_text(std::size_t offset, std::string_view text) const { std::memcpy(at(offset), text.data(), text.size()); }

 private:
  platform::MappedPage page_;
  std::uint32_t size_;
};

// A mapping the replay published, as a client opens it: at least `length`
// bytes mapped, read-only.
class ClientView {
 public:
  ClientView(std::string_view name, std::size_t length) {
    if (!page_.open_existing(name, platform::Access::read) || !page_.map(platform::Access::read, length))
      throw std::runtime_error("cannot open " + std::string(name));
    length_ = length;
  }
  std::uint32_t u32(std::size_t offset) const { return coding::decode_u32(page_.data() + offset); }
  std::int32_t i32(std::size_t offset) const { return coding::decode_i32(page_.data() + offset); }
  double f64(std::size_t offset) const { return coding::decode_f64(page_.data() + offset); }
  std::uint8_t byte(std::size_t offset) const { return std::to_integer<std::uint8_t>(page_.data()[offset]); }
  std::optional<std::uint64_t> region_size() const { return page_.region_size(); }
  bool all_zero(std::size_t from, std::size_t to) const {
    for (std::size_t i = from; i < to; ++i)
      if (byte(i) != 0) return false;
    return true;
  }
  std::size_t length() const { return length_; }

 private:
  platform::MappedPage page_;
  std::size_t length_ = 0;
};

inline bool exists(std::string_view name) {
  platform::MappedPage page;
  return page.open_existing(name, platform::Access::read);
}

// A recorded object: its name, created size, and bytes in use.
struct Recorded {
  std::string name;
  std::uint32_t size;
  std::vector<std::uint8_t> bytes;
};

inline std::vector<std::uint8_t> payload_of(const std::vector<Recorded>& objects) {
  NamedObjectsPayloadBuilder builder;
  for (const Recorded& object : objects) {
    const std::span<std::uint8_t> into =
        builder.add(object.name, object.size, static_cast<std::uint32_t>(object.bytes.size()));
    std::memcpy(into.data(), object.bytes.data(), object.bytes.size());
  }
  return builder.take();
}

// The object of that name a payload holds; fails the test when it holds none.
inline NamedObjectView object_named(const std::vector<NamedObjectView>& objects, std::string_view name) {
  const NamedObjectView* object = find_named_object(objects, name);
  if (object == nullptr) throw std::runtime_error("no object " + std::string(name));
  return *object;
}

// Payloads that are no frame a producer may write: garbage, one declaring
// an object larger than any may be (64 MiB + 1), one of another magic.
inline std::vector<std::vector<std::uint8_t>> hostile_payloads(std::string_view name) {
  std::vector<std::uint8_t> huge = {'V', 'N', 'O', '1', 1, 0, 0, 0};
  huge.push_back(static_cast<std::uint8_t>(name.size()));
  huge.push_back(0);
  huge.insert(huge.end(), name.begin(), name.end());
  const std::size_t size_at = huge.size();
  huge.resize(size_at + 8 + 4, 0);
  coding::encode_u32(huge.data() + size_at, (64u << 20) + 1);
  coding::encode_u32(huge.data() + size_at + 4, 4);
  std::vector<std::uint8_t> other_magic = huge;
  coding::encode_u32(other_magic.data() + size_at, 16);
  other_magic[3] = '2';
  return {std::vector<std::uint8_t>(37, 0xa5), huge, other_magic, {}};
}

// Generous: only a hang fails it.
inline constexpr auto hang_bound = std::chrono::seconds{5};

// The size a region made with `size` bytes says it has: exactly that on
// POSIX and Windows; Wine keeps only whole pages. Asked of the system, so
// that no test needs to know where it runs.
inline std::uint64_t kept_size(std::uint32_t size) {
  static const bool whole_pages = [] {
    const platform::SharedMemory probe = platform::SharedMemory::create_or_open("Local\\vove_page_probe", 1);
    return probe.size().value_or(1) != 1;
  }();
  return whole_pages ? (std::uint64_t{size} + 4095) / 4096 * 4096 : size;
}

}  // namespace vove::memory_test
