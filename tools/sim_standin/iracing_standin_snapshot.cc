#include "tools/sim_standin/iracing_standin_snapshot.h"

#include <cstddef>
#include <utility>
#include <vector>

#include "tools/sim_standin/iracing_memory_layout.h"
#include "tools/sim_standin/iracing_variables.h"

namespace vove::iracing {

Snapshot standin_snapshot(std::int32_t tick, const StandinLaps& laps, std::string session_text) {
  const auto& variables = standin_variables();
  const auto layout = plan_standin_layout(static_cast<std::int32_t>(variables.size()), standin_row_length(variables));
  Snapshot snapshot;
  snapshot.header = standin_memory_header(layout);
  snapshot.header.status = status_connected;
  snapshot.header.session_info_update = 1;
  snapshot.header.buffer_slots[0].tick_count = tick;

  std::vector<std::byte> headers(variables.size() * variable_header_size);
  encode_variable_headers(headers, variables);
  snapshot.variable_headers.resize(variables.size());
  for (std::size_t i = 0; i < variables.size(); ++i) {
    const std::byte* first = headers.data() + i * variable_header_size;
    for (std::size_t b = 0; b < variable_header_size; ++b) {
      snapshot.variable_headers[i].bytes[b] = std::to_integer<std::uint8_t>(first[b]);
    }
  }

  std::vector<std::byte> row(static_cast<std::size_t>(layout.buffer_length));
  fill_standin_row(row, variables, tick, standin_tick_rate, laps);
  snapshot.row.resize(row.size());
  for (std::size_t i = 0; i < row.size(); ++i) snapshot.row[i] = std::to_integer<std::uint8_t>(row[i]);

  snapshot.session_info = std::move(session_text);
  return snapshot;
}

}  // namespace vove::iracing
