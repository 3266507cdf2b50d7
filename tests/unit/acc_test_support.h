// Helpers for the ACC tests: a per-test name prefix for the named pages and
// a stand-in for the simulator's side of the three pages.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "common/byte_coding.h"
#include "formats/acc_page_mapping.h"
#include "formats/acc_pages.h"
#include "formats/acc_readiness.h"

namespace acc_test {

// Gives the current test its own namespace of shared-memory names, so test
// runs in parallel never meet; cleared again when the test ends. putenv is
// used because it exists on every platform the tests run on; it keeps the
// string itself, so the string lives as long as the prefix is set.
class ScopedNamePrefix {
 public:
  ScopedNamePrefix() {
    static int next = 0;
    prefix_ = "vovetest_" + std::to_string(::getpid()) + "_acc" + std::to_string(next++) + "_";
    assignment_ = "VOVE_NAME_PREFIX=" + prefix_;
    ::putenv(assignment_.data());
  }
  ScopedNamePrefix(const ScopedNamePrefix&) = delete;
  ScopedNamePrefix& operator=(const ScopedNamePrefix&) = delete;
  ~ScopedNamePrefix() {
    static char cleared[] = "VOVE_NAME_PREFIX=";  // an empty prefix is no prefix
    ::putenv(cleared);
  }

  const std::string& prefix() const { return prefix_; }

 private:
  std::string prefix_;
  std::string assignment_;
};

// A page set of random bytes that passes the readiness test.
inline ACC::PageSet live_page_set(std::uint32_t seed) {
  std::mt19937 random(seed);
  ACC::PageSet pages{};
  for (auto& byte : pages.graphics) byte = static_cast<std::uint8_t>(random());
  for (auto& byte : pages.physics) byte = static_cast<std::uint8_t>(random());
  for (auto& byte : pages.static_image) byte = static_cast<std::uint8_t>(random());
  coding::encode_i32(pages.graphics.data() + ACC::sim_status_offset, 2);
  const std::uint8_t first[] = {'A', 0, 'B', 0, 0, 0};
  const std::uint8_t second[] = {'C', 0, 0, 0};
  std::memcpy(pages.graphics.data() + ACC::readiness_first_offset, first, sizeof first);
  std::memcpy(pages.graphics.data() + ACC::readiness_second_offset, second, sizeof second);
  return pages;
}

// The simulator's side: holds one page writable.
inline ACC::PageMapping publish_page(const ACC::PageDescription& page, std::uint32_t size) {
  ACC::PageMapping mapping;
  if (mapping.create_or_open(page.mapping_name, size)) mapping.map(platform::Access::write, size);
  return mapping;
}

// A reader of an existing page, as a telemetry consumer holds it.
struct OpenedPage {
  platform::SharedMemory memory;
  platform::MappedView view;
};

// Opens an existing page and maps its first `length` bytes; the view is
// unmapped when there is no such page or it is shorter.
inline OpenedPage open_page(const ACC::PageDescription& page, std::size_t length,
                            platform::Access access = platform::Access::read) {
  OpenedPage opened;
  opened.memory = platform::SharedMemory::open_existing(page.mapping_name, access);
  if (opened.memory) opened.view = opened.memory.map(access, length);
  return opened;
}

// A copy of the first `count` bytes of a view.
inline std::vector<std::uint8_t> bytes_of(const std::byte* data, std::size_t count) {
  std::vector<std::uint8_t> bytes(count);
  std::memcpy(bytes.data(), data, count);
  return bytes;
}

inline bool page_exists(const ACC::PageDescription& page) {
  return platform::SharedMemory::open_existing(page.mapping_name, platform::Access::read).is_open();
}

}  // namespace acc_test
