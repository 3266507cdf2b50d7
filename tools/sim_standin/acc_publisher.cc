// The ACC stand-in: the graphics, physics and static pages.
#include <cstdint>
#include <iostream>
#include <string>

#include "tools/sim_standin/acc_page_content.h"
#include "tools/sim_standin/published_region.h"
#include "tools/sim_standin/standin_options.h"
#include "tools/sim_standin/standin_timeline.h"

namespace vove {

namespace {

class AccStandin final : public TimelinePublisher {
 public:
  explicit AccStandin(const StandinOptions& options)
      : rate_(options.rate_hz),
        laps_(options.lap_seconds.empty() ? StandinLaps() : StandinLaps(options.lap_seconds)),
        graphics_(acc::graphics_page.mapping_name, acc::standin_page_size),
        physics_(acc::physics_page.mapping_name, acc::standin_page_size),
        static_(acc::static_page.mapping_name, acc::standin_page_size) {
    acc::write_standin_static_page(static_.bytes());
    acc::update_standin_physics_page(physics_.bytes(), packet_, rate_, laps_);
    // Live from the first update on.
    acc::update_standin_graphics_page(graphics_.bytes(), packet_, rate_, acc::sim_status_live, laps_);
  }

  void produce() override {
    packet_ = acc::next_standin_packet(packet_);
    acc::update_standin_physics_page(physics_.bytes(), packet_, rate_, laps_);
    acc::update_standin_graphics_page(graphics_.bytes(), packet_, rate_, acc::sim_status_live, laps_);
    ++updates_;
  }

  void pause() override {
    acc::set_standin_sim_status(graphics_.bytes(), acc::sim_status_off);
    std::cout << "Paused ACC telemetry: status 0" << std::endl;
  }

  void resume() override {
    acc::set_standin_sim_status(graphics_.bytes(), acc::sim_status_live);
    std::cout << "Resumed ACC telemetry" << std::endl;
  }

  // The status a simulator leaves behind when it closes.
  void finish() { acc::set_standin_sim_status(graphics_.bytes(), acc::sim_status_off); }

  std::int64_t updates() const noexcept { return updates_; }

 private:
  double rate_;
  StandinLaps laps_;
  PublishedRegion graphics_;
  PublishedRegion physics_;
  PublishedRegion static_;
  std::int32_t packet_ = 1;
  std::int64_t updates_ = 0;
};

}  // namespace

int run_acc_standin(const StandinOptions& options, const StandinStop& stop) {
  AccStandin standin(options);
  std::cout << "Publishing ACC telemetry (pages of " << acc::standin_page_size << " bytes, " << options.rate_hz
            << " updates a second)" << std::endl;
  run_standin_timeline(options, stop, standin);
  standin.finish();
  std::cout << "Stopped publishing ACC telemetry after " << standin.updates() << " updates" << std::endl;
  return 0;
}

}  // namespace vove
