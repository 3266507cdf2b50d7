// One dump file on disk: created under a name no earlier recording holds,
// written without buffering, and cut back to its intact part when a write
// or the close fails.
#pragma once

#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>

#include "common/platform/platform.h"
#include "formats/dump_file_errors.h"

namespace vove {

class DumpFile {
 public:
  // Creates "vove_dump_<time_stamp>.bin" in `directory` (the working
  // directory when empty), or the first of "_1", "_2", ... that does not
  // exist, and opens it through `buffer`. Throws DumpFileOpenError.
  DumpFile(const std::filesystem::path& directory, const std::string& time_stamp,
           std::unique_ptr<std::filebuf> buffer = std::make_unique<std::filebuf>());
  // Closes the file if close() was not called, cutting it like close().
  ~DumpFile();
  DumpFile(const DumpFile&) = delete;
  DumpFile& operator=(const DumpFile&) = delete;

  // The file's path as it is shown to the user.
  const std::string& name() const noexcept { return name_; }
  std::ostream& stream() noexcept { return stream_; }

  // Closes the file and writes it through to the disk. When a write, the
  // close or the flush failed, the file is cut to its header and complete
  // records and DumpFileWriteError is thrown.
  void close();

 private:
  // Closes, flushes to the disk and, on failure, cuts; true when everything
  // was written. Says why it failed in `failure`, when given.
  bool close_and_cut(platform::Failure* failure) noexcept;

  std::filesystem::path path_;
  std::string name_;
  std::unique_ptr<std::filebuf> buffer_;
  std::ostream stream_{nullptr};
  bool closed_ = false;
};

}  // namespace vove
