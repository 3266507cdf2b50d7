#include "dumptool/staged_output_file.h"

#include <cerrno>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

namespace {

std::string with_reason(std::string message, int error) {
  if (error != 0) message += ": " + std::generic_category().message(error);
  return message;
}

// Beside the target, so the final rename stays on one file system; the
// random part keeps two runs writing the same target apart.
std::filesystem::path temporary_beside(const std::filesystem::path& target) {
  std::random_device random;
  return std::filesystem::path(target).concat(".partial-" + std::to_string(random() % 1000000));
}

}  // namespace

StagedOutputFile::StagedOutputFile(const std::filesystem::path& target, const std::filesystem::path& input)
    : target_(target), temporary_(temporary_beside(target)) {
  std::error_code error;
  if (std::filesystem::equivalent(target, input, error)) {
    throw std::invalid_argument("The output " + target.string() + " is the input file; choose another name");
  }
  errno = 0;
  stream_.open(temporary_, std::ios::binary | std::ios::out | std::ios::trunc);
  if (!stream_) throw std::runtime_error(with_reason("Failed to create the file " + temporary_.string(), errno));
}

StagedOutputFile::~StagedOutputFile() {
  if (committed_) return;
  stream_.close();
  std::error_code ignored;
  std::filesystem::remove(temporary_, ignored);
}

void StagedOutputFile::commit() {
  errno = 0;
  stream_.flush();
  stream_.close();
  if (stream_.fail()) throw std::runtime_error(with_reason("Failed to write the file " + target_.string(), errno));
  std::error_code error;
  std::filesystem::rename(temporary_, target_, error);
  if (error) throw std::runtime_error("Failed to create the file " + target_.string() + ": " + error.message());
  committed_ = true;
}
