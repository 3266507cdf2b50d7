// What only the POSIX build can measure of the recorder's client: the
// processor time a wait costs.
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <vector>

#include "simulators/iracing/iracing_client.h"
#include "unit/iracing_test_support.h"
#include "unit/scoped_name_prefix.h"

namespace vove {

namespace {

double processor_seconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& time) { return static_cast<double>(time.tv_sec) + time.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace

// A recorder waiting for a tick that does not come sleeps on the event; a
// wait that polled instead would cost a whole processor during a race.
TEST(IracingClientWait, SleepsOnTheEventInsteadOfPolling) {
  const ScopedNamePrefix prefix;
  iracing_test::Telemetry simulator;
  simulator.publish_layout(iracing_test::sample_header());
  simulator.publish_tick(1);
  std::vector<std::uint8_t> row(64);
  iracing::Client client;
  ASSERT_FALSE(client.poll_new_data(row.data(), row.size()));
  const double before = processor_seconds();
  EXPECT_FALSE(client.wait_for_new_data(std::chrono::milliseconds{300}, row.data(), row.size()));
  EXPECT_LT(processor_seconds() - before, 0.05);
}

}  // namespace vove
