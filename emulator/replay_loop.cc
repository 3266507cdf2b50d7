#include "emulator/replay_loop.h"

#include <iostream>
#include <vector>

ReplayEnd run_replay_loop(const StopSignal& stop, Emulator& producer, DumpReader& reader,
                          std::int32_t fps, const SteadyClock& clock, const Sleeper& sleeper) {
  const auto replay_one_frame = [&]() -> Iteration {
    const std::vector<std::uint8_t> payload = reader.next_frame();
    if (payload.empty()) {
      std::cout << "Emulator reached end of file" << std::endl;
      return Iteration::leave;
    }
    producer.write_frame(payload);
    return Iteration::next;
  };
  const bool reached_end = run_paced_loop(stop, static_cast<double>(fps), clock, sleeper, replay_one_frame);
  return reached_end ? ReplayEnd::end_of_file : ReplayEnd::stopped;
}
