#include "simulators/iracing/iracing_connector.h"

#include <algorithm>
#include <stdexcept>

#include "formats/iracing_snapshot.h"
#include "simulators/iracing/iracing_client.h"

namespace vove::iracing {

namespace {

// The parts of the layout the frame's contents were read by.
bool same_layout(const MemoryHeader& a, const MemoryHeader& b) {
  return a.variable_count == b.variable_count && a.variable_header_offset == b.variable_header_offset &&
         a.session_info_offset == b.session_info_offset;
}

}  // namespace

void Connector::fit_row_buffer(std::int32_t buffer_length) {
  // A negative length fits nothing; the client then copies no row. Nor can a
  // row longer than the mapped region ever be copied, so the header's word
  // is not taken for more memory than the region holds.
  const std::size_t length =
      buffer_length > 0 ? std::min(static_cast<std::size_t>(buffer_length), client_.view_size()) : 0;
  if (length == row_buffer_.size()) return;
  row_buffer_ = std::vector<std::uint8_t>(length);
}

bool Connector::connect(std::chrono::milliseconds timeout) {
  if (!client_.open()) return false;
  const auto header = client_.current_header();
  if (!header) {
    client_.close();
    return false;
  }
  fit_row_buffer(header->buffer_length);
  if (!client_.wait_for_new_data(timeout, row_destination(), row_buffer_.size())) {
    client_.close();
    return false;
  }
  session_text_sent_ = false;
  last_tick_.reset();
  return true;
}

void Connector::disconnect() { client_.close(); }

platform::Failure Connector::attach_failure() const { return client_.open_failure(); }

FramePayload Connector::repeat_of(const FramePayload& last) const {
  Snapshot snapshot = parse_snapshot(last);
  if (snapshot.session_info.empty()) return {};
  snapshot.session_info.clear();
  return serialise_snapshot(snapshot);
}

FramePayload Connector::read_frame(std::chrono::milliseconds timeout) {
  if (const auto live = client_.current_header()) fit_row_buffer(live->buffer_length);
  std::uint8_t* const destination = row_destination();

  // Every count of the frame comes from the header the row was chosen by.
  Snapshot snapshot;
  if (!client_.wait_for_new_data(timeout, destination, row_buffer_.size(), &snapshot.header)) return {};
  const MemoryHeader& header = snapshot.header;
  if (destination == nullptr || header.buffer_length <= 0) return {};
  if (header.variable_count < 0) throw std::length_error("iRacing header declares a negative variable count");

  const auto row_length = static_cast<std::size_t>(header.buffer_length);
  snapshot.row.assign(row_buffer_.begin(), row_buffer_.begin() + static_cast<std::ptrdiff_t>(row_length));

  const bool carry_text = !session_text_sent_ || header.session_info_update != last_session_info_update_;
  if (carry_text) {
    if (const auto text = client_.session_info_text()) snapshot.session_info.assign(text->begin(), text->end());
  }

  // No more entries than the view can hold, whatever the count says.
  snapshot.variable_headers.reserve(std::min<std::size_t>(static_cast<std::size_t>(header.variable_count),
                                                          client_.view_size() / variable_header_size));
  for (std::int32_t i = 0; i < header.variable_count; ++i) {
    auto entry = client_.variable_header_at(i);
    if (!entry) return {};  // the live header no longer has N entries in view
    snapshot.variable_headers.push_back(*entry);
  }

  // A layout changed under the read would pair parts that do not belong together.
  const auto after = client_.current_header();
  if (!after || !same_layout(header, *after)) return {};

  FramePayload payload = serialise_snapshot(snapshot);
  if (carry_text) {
    last_session_info_update_ = header.session_info_update;
    session_text_sent_ = true;
  }
  last_tick_ = static_cast<std::uint32_t>(newest_tick(header));
  return payload;
}

}  // namespace vove::iracing
