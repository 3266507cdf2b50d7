#include "common/replacing_file.h"

#include <cerrno>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

#include "common/platform/platform.h"

namespace vove {

namespace {

// Large enough that a text export spends its time formatting, not in writes.
constexpr std::size_t buffer_size = std::size_t{1} << 20;
constexpr int name_attempts = 100;

[[noreturn]] void fail(const std::string& action, const std::filesystem::path& path, const std::string& reason) {
  std::string message = "Failed to " + action + " the file " + path.string();
  if (!reason.empty()) message += ": " + reason;
  throw std::runtime_error(message);
}

[[noreturn]] void fail(const std::string& action, const std::filesystem::path& path, int error) {
  fail(action, path, error == 0 ? std::string() : std::generic_category().message(error));
}

std::filesystem::path create_temporary_beside(const std::filesystem::path& destination) {
  std::random_device random;
  const std::string stem = "." + destination.filename().string() + ".partial-";
  for (int attempt = 0; attempt < name_attempts; ++attempt) {
    const auto candidate = destination.parent_path() / (stem + std::to_string(random() % 1000000u));
    platform::Failure failure;
    switch (platform::create_new_file(candidate.string(), &failure)) {
      case platform::CreateFileResult::created: return candidate;
      case platform::CreateFileResult::exists: continue;
      case platform::CreateFileResult::failed: fail("create", destination, failure.reason);
    }
  }
  fail("create", destination, EEXIST);
}

// The directory that holds `path`, as a path the system can open.
std::filesystem::path directory_of(const std::filesystem::path& path) {
  const std::filesystem::path parent = path.parent_path();
  return parent.empty() ? std::filesystem::path(".") : parent;
}

}  // namespace

ReplacingFile::ReplacingFile(std::filesystem::path destination, Existing existing)
    : destination_(std::move(destination)), existing_(existing) {
  std::error_code error;
  const auto status = std::filesystem::status(destination_, error);
  if (std::filesystem::is_directory(status)) {
    throw std::runtime_error("Cannot write the file " + destination_.string() + ": it is a directory");
  }
  if (existing_ == Existing::refuse && std::filesystem::exists(status)) {
    throw std::runtime_error("The file " + destination_.string() + " exists already; add --force to replace it");
  }
  temporary_ = create_temporary_beside(destination_);
  buffer_ = std::make_unique<char[]>(buffer_size);
  stream_.rdbuf()->pubsetbuf(buffer_.get(), static_cast<std::streamsize>(buffer_size));
  errno = 0;
  stream_.open(temporary_, std::ios::binary | std::ios::out | std::ios::trunc);
  if (!stream_) {
    const int reason = errno;
    discard();
    fail("create", destination_, reason);
  }
}

ReplacingFile::~ReplacingFile() {
  if (!done_) discard();
}

void ReplacingFile::discard() noexcept {
  done_ = true;
  if (stream_.is_open()) stream_.close();
  std::error_code ignored;
  std::filesystem::remove(temporary_, ignored);
}

void ReplacingFile::commit() {
  if (done_) throw std::logic_error("The file " + destination_.string() + " was already completed");
  errno = 0;
  stream_.flush();
  const bool written = static_cast<bool>(stream_);
  int reason = errno;
  stream_.close();
  if (!written || !stream_) {
    if (reason == 0) reason = errno;
    discard();
    fail("write", destination_, reason);
  }
  std::error_code error;
  if (existing_ == Existing::refuse && std::filesystem::exists(destination_, error)) {
    discard();  // another program created it meanwhile
    throw std::runtime_error("The file " + destination_.string() + " exists already; add --force to replace it");
  }
  // On the disk before it takes the destination's name, and the name on
  // the disk after: a power cut leaves the old file or the whole new one,
  // never an empty file under the final name.
  platform::Failure failure;
  if (!platform::flush_file_to_disk(temporary_.string(), &failure)) {
    discard();
    fail("write", destination_, failure.reason);
  }
  std::filesystem::rename(temporary_, destination_, error);
  if (error) {
    discard();
    throw std::runtime_error("Failed to write the file " + destination_.string() + ": " + error.message());
  }
  done_ = true;
  if (!platform::flush_directory_to_disk(directory_of(destination_).string(), &failure))
    fail("write", destination_, failure.reason);
}

bool is_same_existing_file(const std::filesystem::path& first, const std::filesystem::path& second) noexcept {
  std::error_code error;
  const bool same = std::filesystem::equivalent(first, second, error);
  return !error && same;
}

}  // namespace vove
