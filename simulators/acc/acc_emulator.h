// The replay's ACC producer: creates the three ACC pages and writes recorded
// frame payloads into them.
#pragma once

#include <cstdint>
#include <vector>

#include "common/source_id.h"
#include "simulators/acc/acc_page_mappings.h"
#include "simulators/producer.h"

namespace vove::acc {

class Emulator final : public Producer {
 public:
  Emulator() noexcept = default;
  Emulator(const Emulator&) = delete;
  Emulator& operator=(const Emulator&) = delete;
  ~Emulator() override { stop(); }

  // Creates (or opens) the three pages with 5000 bytes each and maps them
  // writable. Throws std::runtime_error and holds nothing on failure.
  void start() override;
  // Writes the payload's three images to the start of their pages. A payload
  // shorter than 3700 bytes writes the default page set. Nothing when not
  // started.
  void write_frame(const std::vector<std::uint8_t>& payload) override;
  // Marks the simulator off (sim_status 0) for readers still holding the
  // graphics page, then releases the pages. Nothing when not started.
  void stop() override;

  static SourceId source_id() noexcept;

 private:
  // Why the first page that failed in start() did.
  const platform::Failure& first_failure() const noexcept;

  PageMappings pages_;
};

}  // namespace vove::acc
