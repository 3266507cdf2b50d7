// Cost of one ACC frame on each side: the recorder's copy of the three pages
// into a payload, and the replay's write of a payload into the pages.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "formats/acc_pages.h"
#include "simulators/acc/acc_connector.h"
#include "simulators/acc/acc_emulator.h"

namespace vove {

namespace {

// Pages under a name of this process only, so a benchmark run never meets a
// real consumer or another run.
void use_private_names() {
  static std::string assignment = "VOVE_NAME_PREFIX=vovebench_" + std::to_string(::getpid()) + "_";
  ::putenv(assignment.data());
}

acc::PageSet running_page_set() {
  acc::PageSet pages = acc::default_page_set();
  pages.graphics[acc::sim_status_offset] = 2;
  pages.graphics[200] = 'A';  // readiness strings differ
  return pages;
}

void AccReadFrame(benchmark::State& state) {
  use_private_names();
  acc::Emulator emulator;
  emulator.start();
  emulator.write_frame(acc::to_payload(running_page_set()));
  acc::Connector connector;
  if (!connector.connect(std::chrono::milliseconds{0})) {
    state.SkipWithError("connector did not attach");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(connector.read_frame(std::chrono::milliseconds{0}));
}
BENCHMARK(AccReadFrame);

void AccWriteFrame(benchmark::State& state) {
  use_private_names();
  acc::Emulator emulator;
  emulator.start();
  const auto payload = acc::to_payload(running_page_set());
  for (auto _ : state) emulator.write_frame(payload);
}
BENCHMARK(AccWriteFrame);

}  // namespace

}  // namespace vove
