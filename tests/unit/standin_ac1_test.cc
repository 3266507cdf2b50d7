// The Assetto Corsa 1 and EVO stand-ins: each title's pages at its sizes,
// AC1's graphics fields at the offsets its layout gives (literal here, so a
// wrong constant shows), and the pages told as AC1's, not ACC's.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <thread>
#include <vector>

#include "formats/acpmf_title.h"
#include "unit/published_bytes.h"
#include "unit/scoped_name_prefix.h"
#include "unit/standin_background.h"

namespace vove {

using namespace published;

TEST(StandinAc1, PublishesAc1sPagesAndLayoutAndLeavesAcOff) {
  const ScopedNamePrefix prefix;
  StandinOptions options;
  options.simulator = StandinSimulator::ac1;
  options.rate_hz = 200;
  BackgroundStandin standin(run_ac1_standin, options);
  const HeldRegion graphics = hold_region("Local\\acpmf_graphics", 296);
  const HeldRegion physics = hold_region("Local\\acpmf_physics", 712);
  const HeldRegion static_page = hold_region("Local\\acpmf_static", 684);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const auto g = graphics.bytes();
  ASSERT_EQ(g.size(), 296u);
  EXPECT_EQ(i32_at(g, 4), 2);  // status AC_LIVE
  const float x = f32_at(g, 252), y = f32_at(g, 256), z = f32_at(g, 260);
  EXPECT_TRUE(std::isfinite(x) && std::isfinite(y) && std::isfinite(z));
  EXPECT_NE(std::abs(x) + std::abs(z), 0.0f) << "the car stands somewhere";
  EXPECT_GE(i32_at(g, 268), 0);  // flag, AC1's 0 … 6
  EXPECT_LE(i32_at(g, 268), 6);
  for (std::size_t boolean : {272u, 276u, 284u}) EXPECT_TRUE(i32_at(g, boolean) == 0 || i32_at(g, boolean) == 1);
  EXPECT_FLOAT_EQ(f32_at(g, 280), 0.98f);               // surfaceGrip
  EXPECT_FLOAT_EQ(f32_at(g, 288), 2.5f);                // windSpeed
  EXPECT_FLOAT_EQ(f32_at(g, 292), 1.2f);                // windDirection
  EXPECT_GT(f32_at(physics.bytes(), 28), 0.0f);         // speedKmh
  EXPECT_EQ(i32_at(static_page.bytes(), 0), 0x2e0031);  // smVersion "1." in UTF-16

  std::vector<std::uint8_t> image(296);
  std::memcpy(image.data(), g.data(), 296);
  EXPECT_EQ(acpmf::tell_title({graphics.memory.size(), physics.memory.size(), static_page.memory.size(), image}).title,
            acpmf::Title::ac1);
  EXPECT_EQ(acpmf::tell_title({std::nullopt, std::nullopt, std::nullopt, image}).title, acpmf::Title::ac1)
      << "by the layout alone";
  ASSERT_EQ(standin.stop(), 0);
  EXPECT_EQ(i32_at(graphics.bytes(), 4), 0) << "AC_OFF at exit";
}

TEST(StandinAcevo, PublishesAccsPhysicsPageAndEmptyPagesOfEvosSizes) {
  const ScopedNamePrefix prefix;
  StandinOptions options;
  options.simulator = StandinSimulator::acevo;
  options.rate_hz = 200;
  BackgroundStandin standin(run_acevo_standin, options);
  const HeldRegion physics = hold_region("Local\\acevo_pmf_physics", 800);
  const HeldRegion graphics = hold_region("Local\\acevo_pmf_graphics", 4'900);
  const HeldRegion static_page = hold_region("Local\\acevo_pmf_static", 208);
  const std::int32_t first = i32_at(physics.bytes(), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_GT(i32_at(physics.bytes(), 0), first) << "packetId advances";
  EXPECT_GT(f32_at(physics.bytes(), 28), 0.0f);  // speedKmh
  for (const HeldRegion* page : {&graphics, &static_page}) {
    for (std::byte b : page->bytes()) ASSERT_EQ(b, std::byte{0}) << "no field of a layout this build does not know";
  }
  ASSERT_EQ(standin.stop(), 0);
}

}  // namespace vove
