#include "bench/bench_frames.h"

#include <unistd.h>

#include <cstdlib>
#include <map>
#include <span>
#include <string>

#include "formats/acc_pages.h"
#include "tools/sim_standin/acc_page_content.h"
#include "tools/sim_standin/iracing_standin_snapshot.h"
#include "tools/sim_standin/iracing_session_text.h"

namespace vove::bench {

iracing::Snapshot iracing_snapshot(std::int32_t tick, bool with_session_text) {
  static const StandinLaps laps;
  return iracing::standin_snapshot(tick, laps, with_session_text ? iracing::standin_session_text(1) : std::string());
}

std::vector<std::vector<std::uint8_t>> iracing_payloads(std::size_t count, bool with_session_text) {
  std::vector<std::vector<std::uint8_t>> payloads;
  payloads.reserve(count);
  for (std::size_t i = 0; i < count; ++i)
    payloads.push_back(
        iracing::serialise_snapshot(iracing_snapshot(1000 + static_cast<std::int32_t>(i), with_session_text)));
  return payloads;
}

std::vector<std::vector<std::uint8_t>> acc_payloads(std::size_t count) {
  constexpr double rate = 60.0;
  acc::PageSet pages = acc::default_page_set();
  acc::write_standin_static_page(std::as_writable_bytes(std::span(pages.static_image)));
  std::vector<std::vector<std::uint8_t>> payloads;
  payloads.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const auto packet = 1000 + static_cast<std::int32_t>(i);
    acc::update_standin_graphics_page(std::as_writable_bytes(std::span(pages.graphics)), packet, rate,
                                      acc::sim_status_live);
    acc::update_standin_physics_page(std::as_writable_bytes(std::span(pages.physics)), packet, rate);
    payloads.push_back(acc::to_payload(pages));
  }
  return payloads;
}

std::size_t total_size(const std::vector<std::vector<std::uint8_t>>& payloads) noexcept {
  std::size_t total = 0;
  for (const auto& payload : payloads) total += payload.size();
  return total;
}

void use_private_names(std::string_view tag) {
  // putenv keeps the pointer, so every assignment lives as long as the process.
  static std::map<std::string, std::string, std::less<>> assignments;
  auto found = assignments.find(tag);
  if (found == assignments.end()) {
    found = assignments
                .emplace(std::string(tag),
                         "VOVE_NAME_PREFIX=vovebench_" + std::to_string(::getpid()) + "_" + std::string(tag) + "_")
                .first;
  }
  ::putenv(found->second.data());
}

}  // namespace vove::bench
