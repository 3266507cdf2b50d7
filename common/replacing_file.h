// An output file written under a temporary name beside its destination and
// moved there only once it is complete: a run that fails half-way leaves no
// partial file posing as a result, and whatever stood at the destination
// stays untouched until the new file is whole.
#pragma once

#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>

namespace vove {

class ReplacingFile {
 public:
  enum class Existing { refuse, replace };

  // Creates the temporary file in the destination's directory. With
  // Existing::refuse a destination that exists is an error. Throws
  // std::runtime_error naming the destination and, where there is one, the
  // system's reason.
  ReplacingFile(std::filesystem::path destination, Existing existing);
  // Removes the temporary file unless commit() moved it into place.
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // Buffered; its state is checked by commit().
  std::ostream& stream() noexcept { return stream_; }
  const std::filesystem::path& destination() const noexcept { return destination_; }

  // Flushes and closes the file, writes it through to the disk and moves it
  // to the destination, then makes the move durable. Throws
  // std::runtime_error naming the destination when any write, the close,
  // the flush or the move failed; the temporary file is removed then.
  void commit();

 private:
  void discard() noexcept;

  std::filesystem::path destination_;
  Existing existing_;
  std::filesystem::path temporary_;
  std::unique_ptr<char[]> buffer_;
  std::ofstream stream_;
  bool done_ = false;
};

// Whether `first` and `second` name one file that exists (also through a
// link or a different spelling).
bool is_same_existing_file(const std::filesystem::path& first, const std::filesystem::path& second) noexcept;

}  // namespace vove
