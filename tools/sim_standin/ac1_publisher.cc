// The Assetto Corsa 1 and EVO stand-ins: the ACC stand-in's session,
// published under each title's names at each title's page sizes.
#include <cstdint>
#include <iostream>
#include <vector>

#include "formats/ac1_layout.h"
#include "formats/acevo_layout.h"
#include "tools/sim_standin/ac1_page_content.h"
#include "tools/sim_standin/acc_page_content.h"
#include "tools/sim_standin/published_region.h"
#include "tools/sim_standin/standin_options.h"
#include "tools/sim_standin/standin_timeline.h"

namespace vove {

namespace {

// The ACC pages of the moment, written in full, from which each title's
// pages are cut.
class AccSession {
 public:
  explicit AccSession(const StandinOptions& options)
      : rate_(options.rate_hz),
        laps_(options.lap_seconds.empty() ? StandinLaps() : StandinLaps(options.lap_seconds)),
        graphics_(acc::graphics_page.image_size),
        physics_(acc::physics_page.image_size),
        static_(acc::static_page.image_size) {
    acc::write_standin_static_page(static_);
    update();
  }
  void advance() {
    packet_ = acc::next_standin_packet(packet_);
    update();
  }
  std::span<const std::byte> graphics() const noexcept { return graphics_; }
  std::span<const std::byte> physics() const noexcept { return physics_; }
  std::span<const std::byte> static_page() const noexcept { return static_; }

 private:
  void update() {
    acc::update_standin_physics_page(physics_, packet_, rate_, laps_);
    acc::update_standin_graphics_page(graphics_, packet_, rate_, acc::sim_status_live, laps_);
  }

  double rate_;
  StandinLaps laps_;
  std::vector<std::byte> graphics_, physics_, static_;
  std::int32_t packet_ = 1;
};

void copy_front(std::span<const std::byte> from, std::span<std::byte> to) noexcept {
  std::copy_n(from.begin(), std::min(from.size(), to.size()), to.begin());
}

class Ac1Standin final : public TimelinePublisher {
 public:
  explicit Ac1Standin(const StandinOptions& options)
      : session_(options),
        graphics_(ac1::graphics_name, ac1::standin_graphics_size),
        physics_(ac1::physics_name, ac1::standin_physics_size),
        static_(ac1::static_name, ac1::standin_static_size) {
    copy_front(session_.static_page(), static_.bytes());
    publish();
  }
  void produce() override {
    session_.advance();
    publish();
    ++updates_;
  }
  void pause() override {
    acc::set_standin_sim_status(graphics_.bytes(), acc::sim_status_off);
    std::cout << "Paused Assetto Corsa 1 telemetry: status 0" << std::endl;
  }
  void resume() override {
    acc::set_standin_sim_status(graphics_.bytes(), acc::sim_status_live);
    std::cout << "Resumed Assetto Corsa 1 telemetry" << std::endl;
  }
  // AC_OFF, as the game leaves its pages when it closes.
  void finish() { acc::set_standin_sim_status(graphics_.bytes(), acc::sim_status_off); }
  std::int64_t updates() const noexcept { return updates_; }

 private:
  void publish() {
    copy_front(session_.physics(), physics_.bytes());
    ac1::graphics_from_acc(session_.graphics(), graphics_.bytes());
  }

  AccSession session_;
  PublishedRegion graphics_, physics_, static_;
  std::int64_t updates_ = 0;
};

// EVO's physics page is ACC's; its graphics and static pages have layouts
// this build does not know, so they are published empty at their sizes.
class AcevoStandin final : public TimelinePublisher {
 public:
  explicit AcevoStandin(const StandinOptions& options)
      : session_(options),
        physics_(acevo::physics_name, acevo::physics_size),
        graphics_(acevo::graphics_name, acevo::graphics_size),
        static_(acevo::static_name, acevo::static_size) {
    copy_front(session_.physics(), physics_.bytes());
  }
  void produce() override {
    session_.advance();
    copy_front(session_.physics(), physics_.bytes());
    ++updates_;
  }
  void pause() override { std::cout << "Paused Assetto Corsa EVO telemetry: no more updates" << std::endl; }
  void resume() override { std::cout << "Resumed Assetto Corsa EVO telemetry" << std::endl; }
  std::int64_t updates() const noexcept { return updates_; }

 private:
  AccSession session_;
  PublishedRegion physics_, graphics_, static_;
  std::int64_t updates_ = 0;
};

}  // namespace

int run_ac1_standin(const StandinOptions& options, const StandinStop& stop) {
  Ac1Standin standin(options);
  std::cout << "Publishing Assetto Corsa 1 telemetry (physics " << ac1::standin_physics_size << ", graphics "
            << ac1::standin_graphics_size << ", static " << ac1::standin_static_size << " bytes, " << options.rate_hz
            << " updates a second)" << std::endl;
  run_standin_timeline(options, stop, standin);
  standin.finish();
  std::cout << "Stopped publishing Assetto Corsa 1 telemetry after " << standin.updates() << " updates" << std::endl;
  return 0;
}

int run_acevo_standin(const StandinOptions& options, const StandinStop& stop) {
  AcevoStandin standin(options);
  std::cout << "Publishing Assetto Corsa EVO telemetry (physics " << acevo::physics_size << ", graphics "
            << acevo::graphics_size << ", static " << acevo::static_size << " bytes, " << options.rate_hz
            << " updates a second)" << std::endl;
  run_standin_timeline(options, stop, standin);
  std::cout << "Stopped publishing Assetto Corsa EVO telemetry after " << standin.updates() << " updates" << std::endl;
  return 0;
}

}  // namespace vove
