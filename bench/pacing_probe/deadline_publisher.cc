#include "bench/pacing_probe/deadline_publisher.h"

#include <chrono>
#include <stdexcept>
#include <thread>

#include "formats/dump_frames.h"
#include "simulators/iracing/iracing_emulator.h"

namespace vove::probe {

void publish_at_deadlines(const std::filesystem::path& path) {
  DumpFrames frames(path);
  if (frames.header().fps == 0) throw std::invalid_argument("the dump has a rate of 0");
  const std::chrono::nanoseconds period(1'000'000'000 / frames.header().fps);
  iracing::Emulator producer;
  producer.start();
  FramePayload payload;
  auto deadline = std::chrono::steady_clock::now();
  for (std::size_t frame = 0; frame < frames.size(); ++frame) {
    frames.read(frame, payload);
    producer.write_frame(payload);
    deadline += period;
    std::this_thread::sleep_until(deadline);
  }
}

}  // namespace vove::probe
