// Moving the platform handles is the same on every backend: the moved-from
// object is left empty, and assignment releases the old resource first.
#include <utility>

#include "common/platform/fine_timer_resolution.h"
#include "common/platform/platform.h"

namespace vove::platform {

FineTimerResolution::FineTimerResolution(FineTimerResolution&& other) noexcept
    : held_(std::exchange(other.held_, false)) {}

FineTimerResolution& FineTimerResolution::operator=(FineTimerResolution&& other) noexcept {
  if (this != &other) {
    release();
    held_ = std::exchange(other.held_, false);
  }
  return *this;
}

MappedView::MappedView(MappedView&& other) noexcept
    : address_(std::exchange(other.address_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      failure_(std::exchange(other.failure_, Failure())) {}

MappedView& MappedView::operator=(MappedView&& other) noexcept {
  if (this != &other) {
    unmap();
    address_ = std::exchange(other.address_, nullptr);
    size_ = std::exchange(other.size_, 0);
    failure_ = std::exchange(other.failure_, Failure());
  }
  return *this;
}

SharedMemory::SharedMemory(SharedMemory&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)),
      access_(other.access_),
      owned_name_(std::exchange(other.owned_name_, std::string())),
      failure_(std::exchange(other.failure_, Failure())) {}

SharedMemory& SharedMemory::operator=(SharedMemory&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = std::exchange(other.handle_, -1);
    access_ = other.access_;
    owned_name_ = std::exchange(other.owned_name_, std::string());
    failure_ = std::exchange(other.failure_, Failure());
  }
  return *this;
}

NamedEvent::NamedEvent(NamedEvent&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)),
      wakes_(other.wakes_),
      owned_name_(std::exchange(other.owned_name_, std::string())),
      failure_(std::exchange(other.failure_, Failure())) {}

NamedEvent& NamedEvent::operator=(NamedEvent&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = std::exchange(other.handle_, -1);
    wakes_ = other.wakes_;
    owned_name_ = std::exchange(other.owned_name_, std::string());
    failure_ = std::exchange(other.failure_, Failure());
  }
  return *this;
}

}  // namespace vove::platform
