#include "formats/dump_file.h"

#include <cerrno>
#include <system_error>

#include "common/explained_error.h"
#include "common/platform/platform.h"
#include "formats/dump_file_name.h"
#include "formats/dump_scan.h"

namespace vove {

namespace {

// Creates a file no one had before: an earlier recording of the same second
// must never be overwritten.
std::filesystem::path create_unused_file(const std::filesystem::path& directory, const std::string& time_stamp) {
  std::filesystem::path candidate;
  for (int attempt = 0; attempt < max_dump_names_per_stamp; ++attempt) {
    candidate = directory / dump_file_name(time_stamp, attempt);
    platform::Failure failure;
    switch (platform::create_new_file(candidate.string(), &failure)) {
      case platform::CreateFileResult::created: return candidate;
      case platform::CreateFileResult::exists: continue;
      case platform::CreateFileResult::failed: throw DumpFileOpenError(candidate.string(), failure);
    }
  }
  throw DumpFileOpenError(candidate.string());
}

// Drops a partial record left at the end by a failed write.
void cut_to_intact_length(const std::filesystem::path& path) noexcept {
  try {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error) return;
    const auto intact = complete_dump_length(path);
    if (!intact) return;
    if (*intact == 0) {
      // Not even the header made it: the file holds no recording to keep.
      std::filesystem::remove(path, error);
    } else if (*intact < size) {
      std::filesystem::resize_file(path, *intact, error);
    }
  } catch (...) {
    // Best effort on a path that is already failing: the caller reports the
    // write failure either way.
  }
}

}  // namespace

DumpFile::DumpFile(const std::filesystem::path& directory, const std::string& time_stamp,
                   std::unique_ptr<std::filebuf> buffer)
    : path_(create_unused_file(directory, time_stamp)), name_(path_.string()), buffer_(std::move(buffer)) {
  // Unbuffered, so that each record reaches the file in one write: a failed
  // write then leaves at most a partial record at the end, and a buffer that
  // could not be flushed is never written again behind it. Asked before the
  // open and again after it: some standard libraries honour the request only
  // on a closed file, others only on an open one.
  buffer_->pubsetbuf(nullptr, 0);
  errno = 0;
  if (!buffer_->open(path_, std::ios::out | std::ios::binary | std::ios::trunc)) {
    const platform::Failure failure = file_failure(errno, name_);
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
    throw DumpFileOpenError(name_, failure);
  }
  buffer_->pubsetbuf(nullptr, 0);
  stream_.rdbuf(buffer_.get());
}

DumpFile::~DumpFile() {
  if (!closed_) close_and_cut(nullptr);
}

void DumpFile::close() {
  if (closed_) return;
  platform::Failure failure;
  if (!close_and_cut(&failure)) throw DumpFileWriteError(name_, failure);
}

bool DumpFile::close_and_cut(platform::Failure* failure) noexcept {
  closed_ = true;
  const bool written = !stream_.fail();
  errno = 0;
  bool closed = buffer_->close() != nullptr;
  if (!closed && failure != nullptr) {
    try {
      *failure = file_failure(errno, name_);
    } catch (...) {  // std::bad_alloc: the failure stays unexplained
    }
  }
  // A recording is complete only once it is on the disk: a power cut must
  // not leave it empty under its name.
  if (written && closed) closed = platform::flush_file_to_disk(path_.string(), failure);
  if (written && closed) return true;
  cut_to_intact_length(path_);
  return false;
}

}  // namespace vove
