// How the probe notices a new frame, as any consumer would: by the tick in
// the iRacing memory header, or by the growth of a dump file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

#include "common/platform/platform.h"

namespace vove::probe {

// Each watcher's poll() returns how many frames arrived since the previous
// poll: 0 when none (or the source is not there yet), more than 1 when
// frames were overwritten before the probe looked.
class FrameWatcher {
 public:
  virtual ~FrameWatcher() = default;
  virtual std::uint64_t poll() = 0;
};

// The newest tick of the iRacing memory header (under this process's name
// prefix). The tick seen when the mapping is first found is taken as known.
class IracingTickWatcher final : public FrameWatcher {
 public:
  std::uint64_t poll() override;

 private:
  platform::SharedMemory memory_;
  platform::MappedView header_;
  std::optional<std::int32_t> last_tick_;
};

// Records completed in the dump file in `directory`. The file may be seen
// part way through a record's write (its size grows a page at a time), so a
// record counts when its last byte is there.
class DumpFileGrowthWatcher final : public FrameWatcher {
 public:
  explicit DumpFileGrowthWatcher(std::filesystem::path directory) : directory_(std::move(directory)) {}
  ~DumpFileGrowthWatcher() override;
  DumpFileGrowthWatcher(const DumpFileGrowthWatcher&) = delete;
  DumpFileGrowthWatcher& operator=(const DumpFileGrowthWatcher&) = delete;
  std::uint64_t poll() override;

 private:
  std::filesystem::path directory_;
  int descriptor_ = -1;
  std::uint64_t next_record_ = 0;  // offset of the first record not yet complete
};

}  // namespace vove::probe
