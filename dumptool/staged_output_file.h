// An output file that appears only when it is complete: written under a
// temporary name beside the target and renamed over it at the end, so a
// failed or interrupted run leaves no half-written result behind, and an
// existing file of that name stays as it was until then.
#pragma once

#include <filesystem>
#include <fstream>

class StagedOutputFile {
 public:
  // Refuses (std::invalid_argument) a target that is the input itself, so
  // a slip of the command line never destroys a recording; throws
  // std::runtime_error naming the file and the system's reason when the
  // temporary file cannot be created.
  StagedOutputFile(const std::filesystem::path& target, const std::filesystem::path& input);
  StagedOutputFile(const StagedOutputFile&) = delete;
  StagedOutputFile& operator=(const StagedOutputFile&) = delete;
  // Removes the temporary file unless commit() succeeded.
  ~StagedOutputFile();

  // Binary, seekable.
  std::ofstream& stream() noexcept { return stream_; }
  const std::filesystem::path& target() const noexcept { return target_; }

  // Flushes and closes the file and gives it the target's name. Throws
  // std::runtime_error naming the target when either fails.
  void commit();

 private:
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  std::ofstream stream_;
  bool committed_ = false;
};
