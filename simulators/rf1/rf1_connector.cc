#include "simulators/rf1/rf1_connector.h"

#include <algorithm>

#include "formats/named_objects_payload.h"

namespace vove::rf1 {

namespace {

// With no header known, any size is taken: a mapping of another layout is
// still recorded as it is, at its created size.
constexpr std::uint32_t smallest_mapping = 1;

bool all_zero(std::span<const std::uint8_t> bytes) noexcept {
  return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

// FNV-1a over the bytes: the only mark there is without a known counter.
std::uint64_t content_mark(std::span<const std::uint8_t> bytes) noexcept {
  std::uint64_t mark = 14695981039346656037ull;
  for (const std::uint8_t b : bytes) mark = (mark ^ b) * 1099511628211ull;
  return mark;
}

}  // namespace

bool Connector::connect(std::chrono::milliseconds /*timeout*/) {
  stopped_ = false;
  last_.clear();
  last_mark_.reset();
  attach_failure_ = {};
  if (!mapping_.attach(mapping_name, smallest_mapping)) {
    attach_failure_ = mapping_.failure();
    return false;
  }
  copy_.resize(mapping_.size());
  copy_shared(mapping_.bytes(), copy_);
  if (!all_zero(copy_) && !(idle_mark_ && *idle_mark_ == content_mark(copy_))) {
    idle_mark_.reset();
    return true;
  }
  mapping_.release();
  return false;
}

void Connector::disconnect_idle() {
  idle_mark_ = last_mark_;
  mapping_.release();
}

FramePayload Connector::read_frame(std::chrono::milliseconds timeout) {
  if (!mapping_.is_attached()) return {};
  return poll_until(timeout, [this] { return stopped_ ? FramePayload{} : try_read(); });
}

FramePayload Connector::try_read() {
  // Polled every millisecond; the whole struct is the only sign of news.
  copy_shared(mapping_.bytes(), copy_);
  if (copy_ == last_) return {};
  if (all_zero(copy_)) {
    stopped_ = true;
    return {};
  }
  last_ = copy_;
  last_mark_ = content_mark(copy_);
  NamedObjectsPayloadBuilder builder;
  builder.add(mapping_name, mapping_.size(), copy_);
  return builder.take();
}

}  // namespace vove::rf1
