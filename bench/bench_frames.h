// Frame payloads shaped like the ones the recorder produces, built from the
// stand-in's content, plus the helpers the frame benchmarks share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "formats/iracing_snapshot.h"

namespace vove::bench {

// Successive frames, so compression and copies see rows that change the way
// live telemetry does rather than one buffer over and over.
inline constexpr std::size_t frame_cycle = 60;

// The stand-in's iRacing snapshot at `tick`: its variable headers and row,
// and its first session text when `with_session_text` is set.
iracing::Snapshot iracing_snapshot(std::int32_t tick, bool with_session_text);

// `count` iRacing payloads for successive ticks.
std::vector<std::vector<std::uint8_t>> iracing_payloads(std::size_t count, bool with_session_text);

// `count` 3700-byte ACC payloads for successive stand-in updates.
std::vector<std::vector<std::uint8_t>> acc_payloads(std::size_t count);

// Total bytes of `payloads`.
std::size_t total_size(const std::vector<std::vector<std::uint8_t>>& payloads) noexcept;

// Puts this process's named objects under a prefix of its own (with `tag`),
// so a benchmark never meets a real consumer, another run or another
// benchmark of the same run.
void use_private_names(std::string_view tag);

}  // namespace vove::bench
