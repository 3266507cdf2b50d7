#include "bench/pacing_probe/frame_watchers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <span>

#include "formats/dump_format.h"
#include "formats/iracing_layout.h"

namespace vove::probe {

std::uint64_t IracingTickWatcher::poll() {
  if (!header_) {
    memory_ = platform::SharedMemory::open_existing(iracing::memory_map_name, platform::Access::read);
    if (!memory_) return 0;
    header_ = memory_.map(platform::Access::read, iracing::memory_header_size);
    if (!header_) return 0;
  }
  std::array<std::uint8_t, iracing::memory_header_size> bytes{};
  std::memcpy(bytes.data(), header_.data(), bytes.size());
  const iracing::MemoryHeader header = iracing::decode_memory_header(bytes);
  const std::int32_t tick = iracing::newest_tick(header);
  // What the header holds when the probe first finds it was published at an
  // unknown time: only changes after that are arrivals.
  if (!last_tick_) {
    last_tick_ = tick;
    return 0;
  }
  if (tick == *last_tick_) return 0;
  const auto advance = static_cast<std::int64_t>(tick) - *last_tick_;
  const bool from_empty = *last_tick_ == 0;
  last_tick_ = tick;
  // The first frame into an empty header, or a step back (a new
  // recording), counts as one frame.
  return from_empty || advance <= 0 ? 1 : static_cast<std::uint64_t>(advance);
}

DumpFileGrowthWatcher::~DumpFileGrowthWatcher() {
  if (descriptor_ >= 0) ::close(descriptor_);
}

std::uint64_t DumpFileGrowthWatcher::poll() {
  if (descriptor_ < 0) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(directory_, error)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind("vove_dump_", 0) == 0 && entry.path().extension() == ".bin") {
        descriptor_ = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
        next_record_ = dump_header_size;
        break;
      }
    }
    if (descriptor_ < 0) return 0;
  }
  struct stat status {};
  if (::fstat(descriptor_, &status) != 0 || status.st_size < 0) return 0;
  const auto size = static_cast<std::uint64_t>(status.st_size);
  std::uint64_t completed = 0;
  std::array<std::uint8_t, frame_record_header_size> sizes{};
  while (size >= next_record_ + sizes.size() &&
         ::pread(descriptor_, sizes.data(), sizes.size(), static_cast<off_t>(next_record_)) ==
             static_cast<ssize_t>(sizes.size())) {
    const std::uint64_t end = next_record_ + sizes.size() + decode_frame_record(sizes.data()).compressed_size;
    if (size < end) break;
    next_record_ = end;
    ++completed;
  }
  return completed;
}

}  // namespace vove::probe
