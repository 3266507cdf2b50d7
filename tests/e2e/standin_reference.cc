#include "standin_reference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <span>

#include "common/byte_coding.h"
#include "e2e_support.h"
#include "tools/sim_standin/acc_page_content.h"
#include "tools/sim_standin/iracing_fault_modes.h"
#include "tools/sim_standin/iracing_memory_layout.h"
#include "tools/sim_standin/iracing_session_text.h"
#include "tools/sim_standin/iracing_variables.h"

namespace vove {

namespace {

// The stand-in's moving values come from the C library's trigonometry; a
// stand-in built for another platform may differ from ours in the last bit.
bool values_comparable() { return !programs_run_under_runner(); }

// The iRacing payload's layout, as documented: header, N variable headers
// of 144 bytes, u64 S, S text bytes, u64 D, D row bytes.
constexpr std::size_t header_bytes = 112;
constexpr std::size_t variable_bytes = 144;

std::int32_t i32_at(const std::vector<std::uint8_t>& payload, std::size_t offset) {
  return coding::decode_i32(payload.data() + offset);
}

std::vector<std::uint8_t> copy_of(std::span<const std::byte> bytes) {
  std::vector<std::uint8_t> result(bytes.size());
  std::memcpy(result.data(), bytes.data(), bytes.size());
  return result;
}

bool equal_at(const std::vector<std::uint8_t>& payload, std::size_t offset, const std::vector<std::uint8_t>& expected) {
  return payload.size() >= offset + expected.size() &&
         std::equal(expected.begin(), expected.end(), payload.begin() + static_cast<std::ptrdiff_t>(offset));
}

bool zero_between(const std::vector<std::uint8_t>& payload, std::size_t from, std::size_t to) {
  return std::all_of(payload.begin() + static_cast<std::ptrdiff_t>(from),
                     payload.begin() + static_cast<std::ptrdiff_t>(to), [](std::uint8_t b) { return b == 0; });
}

}  // namespace

std::int32_t newest_tick_of(const std::vector<std::uint8_t>& payload) {
  const std::int32_t count = std::clamp(i32_at(payload, 32), 1, 4);
  std::int32_t newest = i32_at(payload, 48);
  for (std::int32_t slot = 1; slot < count; ++slot)
    newest = std::max(newest, i32_at(payload, 48 + 16 * static_cast<std::size_t>(slot)));
  return newest;
}

namespace {

struct IracingExpectations {
  IracingReference reference;
  std::int32_t row_length = 0;
  iracing::StandinLayout layout;
  std::vector<std::uint8_t> variable_headers;
};

// One frame; `text_expected` says whether it must carry a session text, and
// `carried` receives whether it did.
void expect_published_iracing_frame(const std::vector<std::uint8_t>& p, const IracingExpectations& e,
                                    bool text_expected, bool& carried) {
  const auto& variables = iracing::standin_variables();
  const std::size_t n = variables.size();
  const iracing::StandinLayout& layout = e.layout;
  ASSERT_GE(p.size(), header_bytes + n * variable_bytes + 16);
  // The header, field by field.
  EXPECT_EQ(i32_at(p, 0), iracing::standin_header_version);
  EXPECT_EQ(i32_at(p, 4) & 1, 1) << "connected";
  EXPECT_EQ(i32_at(p, 8), iracing::standin_tick_rate);
  EXPECT_EQ(i32_at(p, 16), layout.session_info_capacity);
  EXPECT_EQ(i32_at(p, 20), layout.session_info_offset);
  EXPECT_EQ(i32_at(p, 24), static_cast<std::int32_t>(n));
  EXPECT_EQ(i32_at(p, 28), layout.variable_header_offset);
  EXPECT_EQ(i32_at(p, 32), e.reference.stamped_rows ? 1 : iracing::standin_buffer_count);
  EXPECT_EQ(i32_at(p, 36), e.row_length);
  for (std::size_t slot = 0; slot < layout.buffer_offsets.size(); ++slot) {
    EXPECT_EQ(i32_at(p, 48 + 16 * slot + 4), layout.buffer_offsets[slot]) << "slot " << slot;
  }
  EXPECT_TRUE(equal_at(p, header_bytes, e.variable_headers)) << "variable headers";

  const std::size_t text_at = header_bytes + n * variable_bytes + 8;
  const std::uint64_t s = coding::decode_u64(p.data() + text_at - 8);
  ASSERT_LE(s, p.size() - text_at - 8);
  carried = s != 0;
  const std::int32_t update = i32_at(p, 12);
  if (e.reference.check_session_text) {
    EXPECT_EQ(carried, text_expected) << "session text carried when, and only when, it changed (update " << update
                                      << ")";
    if (carried) {
      const std::string text(p.begin() + static_cast<std::ptrdiff_t>(text_at),
                             p.begin() + static_cast<std::ptrdiff_t>(text_at + s));
      EXPECT_EQ(text, iracing::standin_session_text(update)) << "update " << update;
    }
  }

  const std::size_t row_at = text_at + s + 8;
  EXPECT_EQ(coding::decode_u64(p.data() + row_at - 8), static_cast<std::uint64_t>(e.row_length));
  ASSERT_EQ(p.size(), row_at + static_cast<std::size_t>(e.row_length)) << "payload length";
  if (values_comparable()) {
    const std::int32_t tick = newest_tick_of(p);
    std::vector<std::byte> row(static_cast<std::size_t>(e.row_length));
    iracing::fill_standin_row(row, variables, tick, iracing::standin_tick_rate);
    if (e.reference.stamped_rows) iracing::stamp_row(row, tick);
    EXPECT_TRUE(equal_at(p, row_at, copy_of(row))) << "the row of tick " << tick;
  }
}

}  // namespace

int expect_published_iracing_frames(const Payloads& payloads, const IracingReference& reference) {
  const auto& variables = iracing::standin_variables();
  IracingExpectations e;
  e.reference = reference;
  e.row_length = reference.stamped_rows ? iracing::stamped_row_length : iracing::standin_row_length(variables);
  e.layout = iracing::plan_standin_layout(static_cast<std::int32_t>(variables.size()), e.row_length);
  std::vector<std::byte> encoded(variables.size() * variable_bytes);
  iracing::encode_variable_headers(encoded, variables);
  e.variable_headers = copy_of(encoded);

  int with_text = 0;
  for (std::size_t frame = 0; frame < payloads.size(); ++frame) {
    SCOPED_TRACE("frame " + std::to_string(frame));
    const bool changed = frame == 0 || (payloads[frame].size() >= 16 && payloads[frame - 1].size() >= 16 &&
                                        i32_at(payloads[frame], 12) != i32_at(payloads[frame - 1], 12));
    bool carried = false;
    expect_published_iracing_frame(payloads[frame], e, changed, carried);
    if (carried) ++with_text;
  }
  return with_text;
}

void expect_acc_size_and_gaps(const std::vector<std::uint8_t>& payload) {
  ASSERT_EQ(payload.size(), 3700u);
  EXPECT_TRUE(zero_between(payload, 1588, 1700) && zero_between(payload, 2500, 2700) &&
              zero_between(payload, 3520, 3700))
      << "gaps";
}

void expect_published_acc_frames(const Payloads& payloads, double rate, int allowed_torn) {
  std::vector<std::byte> page(acc::standin_page_size);
  std::vector<std::byte> static_page(acc::standin_page_size);
  acc::write_standin_static_page(static_page);
  const std::vector<std::uint8_t> static_image = copy_of(std::span(static_page).first(820));
  int differing = 0;
  for (std::size_t frame = 0; frame < payloads.size(); ++frame) {
    SCOPED_TRACE("frame " + std::to_string(frame));
    const auto& p = payloads[frame];
    expect_acc_size_and_gaps(p);
    if (p.size() != 3700u) return;
    EXPECT_EQ(static_image, std::vector<std::uint8_t>(p.begin() + 2700, p.begin() + 2700 + 820)) << "static page";

    const std::int32_t graphics_packet = i32_at(p, 0);
    std::fill(page.begin(), page.end(), std::byte{0});
    acc::update_standin_graphics_page(page, graphics_packet, rate, i32_at(p, 4));
    const bool graphics_ok = equal_at(p, 0, copy_of(std::span(page).first(1588)));
    EXPECT_EQ(i32_at(p, 4), acc::sim_status_live);

    // The physics page takes several steps per update of the graphics page.
    const std::int32_t physics_packet = i32_at(p, 1700);
    EXPECT_EQ(physics_packet % acc::physics_steps_per_update, 0);
    const std::int32_t physics_update = physics_packet / acc::physics_steps_per_update;
    std::fill(page.begin(), page.end(), std::byte{0});
    acc::update_standin_physics_page(page, physics_update, rate);
    const bool physics_ok = equal_at(p, 1700, copy_of(std::span(page).first(800)));
    // Copied one after the other while the stand-in writes on: at most an update apart.
    EXPECT_LE(std::abs(graphics_packet - physics_update), 1);
    if (values_comparable() && (!graphics_ok || !physics_ok)) ++differing;
  }
  EXPECT_LE(differing, allowed_torn) << "frames whose pages differ from what the stand-in wrote";
}

}  // namespace vove
