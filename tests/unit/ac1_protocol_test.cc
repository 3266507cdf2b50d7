// Assetto Corsa 1 beside ACC, and Assetto Corsa EVO: the pages carry no
// protocol, only packetIds; AC1 and ACC share the pages' names and are
// told apart by the pages themselves. Offsets are written out as the
// games' published layouts have them.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "formats/acpmf_title.h"
#include "simulators/ac1/ac1_connector.h"
#include "simulators/ac1/ac1_emulator.h"
#include "simulators/acc/acc_connector.h"
#include "simulators/acevo/acevo_connector.h"
#include "simulators/acevo/acevo_emulator.h"
#include "unit/named_memory_test_support.h"
#include "unit/scoped_name_prefix.h"

namespace vove {

namespace {

using namespace std::chrono_literals;
using memory_test::ClientView;
using memory_test::SimulatorMapping;

constexpr std::string_view graphics_name = "Local\\acpmf_graphics";
constexpr std::string_view physics_name = "Local\\acpmf_physics";
constexpr std::string_view static_name = "Local\\acpmf_static";

// A live AC1 graphics page: status AC_LIVE at 4, the car's world position
// at 252, flag 0 at 268, ideal line on (272), not in the pit lane (276),
// surface grip at 280, mandatory stop not done (284), wind at 288 and 292.
void make_ac1_live(std::span<std::uint8_t> graphics) {
  coding::encode_i32(graphics.data() + 4, 2);
  coding::encode_f32(graphics.data() + 252, -412.5f);
  coding::encode_f32(graphics.data() + 256, 14.25f);
  coding::encode_f32(graphics.data() + 260, 833.0f);
  coding::encode_i32(graphics.data() + 268, 0);
  coding::encode_i32(graphics.data() + 272, 1);
  coding::encode_i32(graphics.data() + 276, 0);
  coding::encode_f32(graphics.data() + 280, 0.98f);
  coding::encode_i32(graphics.data() + 284, 0);
  coding::encode_f32(graphics.data() + 288, 2.5f);
  coding::encode_f32(graphics.data() + 292, 1.2f);
}

// A live ACC graphics page: activeCars 3 at 252, three cars' positions
// from 256, the time of day (Clock) at 1488.
void make_acc_live(std::span<std::uint8_t> graphics) {
  coding::encode_i32(graphics.data() + 4, 2);
  coding::encode_i32(graphics.data() + 252, 3);
  for (std::size_t car = 0; car < 3; ++car) {
    coding::encode_f32(graphics.data() + 256 + 12 * car, -412.5f + 30.0f * static_cast<float>(car));
    coding::encode_f32(graphics.data() + 264 + 12 * car, 833.0f);
  }
  coding::encode_f32(graphics.data() + 1488, 50'400.0f);
}

acpmf::Title title_of(std::optional<std::uint64_t> graphics_size, std::optional<std::uint64_t> physics_size,
                      std::optional<std::uint64_t> static_size, const std::vector<std::uint8_t>& graphics) {
  return acpmf::tell_title({graphics_size, physics_size, static_size, graphics}).title;
}

// The three AC1 pages as the game makes them.
struct Ac1Game {
  SimulatorMapping graphics{graphics_name, 296};
  SimulatorMapping physics{physics_name, 712};
  SimulatorMapping static_page{static_name, 684};
  Ac1Game() {
    make_ac1_live(graphics.bytes());
    graphics.put_u32(0, 500);
    physics.put_u32(0, 2'500);
    static_page.put_text(0, std::string("1\0.\0"
                                        "7\0",
                                        6));  // smVersion, UTF-16 "1.7"
    // Texts at 200 and 266 that differ: ACC's readiness test alone would
    // take these pages.
    graphics.put_text(200, std::string("1\0:\0", 4));
  }
};

}  // namespace

TEST(AcpmfTitle, TellsEachTitleBySizeOrByItsGraphicsLayout) {
  std::vector<std::uint8_t> ac1(1588, 0), acc(1588, 0);
  make_ac1_live(ac1);
  make_acc_live(acc);
  // Sizes as Windows reports a section's own: AC1's pages are smaller than
  // any ACC layout has, ACC's are exactly a layout's.
  EXPECT_EQ(title_of(296, 712, 684, ac1), acpmf::Title::ac1);
  EXPECT_EQ(title_of(296, 580, 648, std::vector<std::uint8_t>(1588, 0)), acpmf::Title::ac1) << "sizes alone";
  EXPECT_EQ(title_of(1588, 800, 820, acc), acpmf::Title::acc);
  // Whole pages (Wine), a bridge's 2,048 bytes or no size at all: the
  // layout alone tells.
  EXPECT_EQ(title_of(4096, 4096, 4096, ac1), acpmf::Title::ac1);
  EXPECT_EQ(title_of(2048, 2048, 2048, ac1), acpmf::Title::ac1);
  EXPECT_EQ(title_of(std::nullopt, std::nullopt, std::nullopt, ac1), acpmf::Title::ac1);
  EXPECT_EQ(title_of(4096, 4096, 4096, acc), acpmf::Title::acc);
  // Not live, or no position, or an ACC field past 296: not AC1's layout.
  std::vector<std::uint8_t> off = ac1;
  coding::encode_i32(off.data() + 4, 0);
  EXPECT_EQ(title_of(4096, 4096, 4096, off), acpmf::Title::acc);
  std::vector<std::uint8_t> nowhere = ac1;
  std::fill_n(nowhere.begin() + 252, 12, 0);
  EXPECT_EQ(title_of(4096, 4096, 4096, nowhere), acpmf::Title::acc);
  std::vector<std::uint8_t> flagged = ac1;
  coding::encode_i32(flagged.data() + 268, 7);  // ACC's green flag; AC1's end at 6
  EXPECT_EQ(title_of(4096, 4096, 4096, flagged), acpmf::Title::acc);
  // Pages with hardly anything set read as ACC, as they always have.
  std::vector<std::uint8_t> bare(1588, 0);
  coding::encode_i32(bare.data() + 4, 2);
  EXPECT_EQ(title_of(4096, 4096, 4096, bare), acpmf::Title::acc);
}

TEST(AcpmfTitle, SignsOfBothAreAConflictThatNamesThem) {
  std::vector<std::uint8_t> acc(1588, 0);
  make_acc_live(acc);
  const acpmf::Verdict small = acpmf::tell_title({296, 800, 820, acc});
  EXPECT_EQ(small.title, acpmf::Title::conflicting);
  EXPECT_NE(small.signs.find("graphics page of 296 bytes"), std::string::npos) << small.signs;
  EXPECT_NE(small.signs.find("activeCars 3"), std::string::npos) << small.signs;
  std::vector<std::uint8_t> ac1(1588, 0);
  make_ac1_live(ac1);
  EXPECT_EQ(title_of(1588, 800, 820, ac1), acpmf::Title::conflicting) << "ACC's sizes, AC1's layout";
  // Bytes of any kind, cut at any length, never read past what is given.
  for (std::size_t length : {0u, 3u, 8u, 255u, 256u, 295u}) {
    EXPECT_NO_FATAL_FAILURE(
        acpmf::tell_title({std::nullopt, std::nullopt, std::nullopt, std::span(ac1.data(), length)}));
  }
}

TEST(Ac1Recorder, TakesAc1PagesAtTheirSizesAndLeavesThemToNoAccRecording) {
  const ScopedNamePrefix prefix;
  const Ac1Game game;
  acc::Connector acc_recorder;
  EXPECT_FALSE(acc_recorder.connect(1ms)) << "an ACC recording of AC1's pages";
  EXPECT_TRUE(acc_recorder.attach_failure().empty()) << acc_recorder.attach_failure().reason;

  ac1::Connector recorder;
  ASSERT_TRUE(recorder.connect(1ms));
  const FramePayload frame = recorder.read_frame(5ms);
  const std::vector<NamedObjectView> objects = read_named_objects(frame);
  ASSERT_EQ(objects.size(), 3u);
  EXPECT_EQ(memory_test::object_named(objects, graphics_name).size, memory_test::kept_size(296));
  EXPECT_EQ(memory_test::object_named(objects, physics_name).size, memory_test::kept_size(712));
  EXPECT_EQ(memory_test::object_named(objects, static_name).size, memory_test::kept_size(684));
  EXPECT_EQ(coding::decode_f32(memory_test::object_named(objects, graphics_name).bytes.data() + 252), -412.5f);
  EXPECT_EQ(ac1::layout_version(frame), "1.7");

  // No packetId moved: nothing new. Either one moving is news.
  EXPECT_TRUE(recorder.read_frame(3ms).empty());
  game.physics.put_u32(0, 2'501);
  EXPECT_FALSE(recorder.read_frame(3ms).empty());
  game.graphics.put_u32(0, 501);
  EXPECT_FALSE(recorder.read_frame(3ms).empty());
  EXPECT_FALSE(recorder.has_stopped());
  // AC_OFF: the session is over.
  coding::encode_i32(game.graphics.at(4), 0);
  game.graphics.put_u32(0, 502);
  EXPECT_FALSE(recorder.read_frame(3ms).empty());
  EXPECT_TRUE(recorder.has_stopped());
  recorder.disconnect();
  EXPECT_FALSE(recorder.connect(1ms)) << "AC_OFF pages";
}

TEST(Ac1Recorder, AccPagesStayAnAccRecordingAndConflictsAreSaid) {
  const ScopedNamePrefix prefix;
  {
    SimulatorMapping graphics(graphics_name, 1588), physics(physics_name, 800), static_page(static_name, 820);
    make_acc_live(graphics.bytes());
    graphics.put_text(200, std::string("1\0:\0", 4));  // differs from the text at 266
    ac1::Connector ac1_recorder;
    EXPECT_FALSE(ac1_recorder.connect(1ms));
    acc::Connector acc_recorder;
    EXPECT_TRUE(acc_recorder.connect(1ms));
    EXPECT_EQ(acc_recorder.read_frame(1ms).size(), 3700u);
  }
  if (memory_test::kept_size(296) != 296) GTEST_SKIP() << "section sizes come in whole pages here";
  // AC1's sizes with ACC's activeCars: recorded as neither, and said once.
  SimulatorMapping graphics(graphics_name, 296), physics(physics_name, 712), static_page(static_name, 684);
  make_acc_live(graphics.bytes());
  graphics.put_text(200, std::string("1\0:\0", 4));
  acc::Connector acc_recorder;
  EXPECT_FALSE(acc_recorder.connect(1ms));
  EXPECT_NE(acc_recorder.attach_failure().reason.find("both ACC and Assetto Corsa 1"), std::string::npos)
      << acc_recorder.attach_failure().reason;
  ac1::Connector ac1_recorder;
  EXPECT_FALSE(ac1_recorder.connect(1ms));
}

// Under Wine or a Linux bridge the sizes tell nothing: an AC1 session
// that starts with its car nowhere shows no sign of either title and is
// taken as ACC, until AC1's layout shows.
TEST(Ac1Recorder, AnAccRecordingOfPagesThatTurnOutAc1sEndsForAc1sSource) {
  const ScopedNamePrefix prefix;
  SimulatorMapping graphics(graphics_name, 4096), physics(physics_name, 4096), static_page(static_name, 4096);
  make_ac1_live(graphics.bytes());
  std::fill_n(graphics.at(252), 12, 0);  // no world position yet
  graphics.put_text(200, std::string("1\0:\0", 4));
  acc::Connector acc_recorder;
  ASSERT_TRUE(acc_recorder.connect(1ms));
  EXPECT_EQ(acc_recorder.read_frame(1ms).size(), 3700u);
  EXPECT_FALSE(acc_recorder.has_stopped());
  coding::encode_f32(graphics.at(252), -412.5f);
  EXPECT_TRUE(acc_recorder.read_frame(1ms).empty());
  EXPECT_TRUE(acc_recorder.has_stopped());
  acc_recorder.disconnect();
  EXPECT_FALSE(acc_recorder.connect(1ms));
  ac1::Connector ac1_recorder;
  EXPECT_TRUE(ac1_recorder.connect(1ms));
}

TEST(Ac1Recorder, RefusesAPageTooSmallForAnyLayoutAndSaysSo) {
  const ScopedNamePrefix prefix;
  if (memory_test::kept_size(100) != 100) GTEST_SKIP() << "section sizes come in whole pages here";
  SimulatorMapping graphics(graphics_name, 296), physics(physics_name, 100), static_page(static_name, 684);
  make_ac1_live(graphics.bytes());
  ac1::Connector recorder;
  EXPECT_FALSE(recorder.connect(1ms));
  EXPECT_NE(recorder.attach_failure().reason.find("physics page is 100 bytes, smaller than any Assetto Corsa 1 layout"),
            std::string::npos)
      << recorder.attach_failure().reason;
}

TEST(Ac1Replay, CreatesThePagesAsRecordedKeepsPacketsRisingAndLeavesAcOff) {
  const ScopedNamePrefix prefix;
  auto frame = [](std::uint32_t packet, std::uint32_t graphics_size) {
    std::vector<std::uint8_t> graphics(graphics_size, 0), physics(712, 0), static_page(684, 0);
    make_ac1_live(graphics);
    coding::encode_u32(graphics.data(), packet);
    coding::encode_u32(physics.data(), packet * 5);
    return memory_test::payload_of({{std::string(graphics_name), graphics_size, graphics},
                                    {std::string(physics_name), 712, physics},
                                    {std::string(static_name), 684, static_page}});
  };
  ac1::Emulator replay;
  replay.prepare(frame(10, 4096));
  replay.start();
  replay.begin_pass();
  replay.write_frame(frame(10, 4096));
  const ClientView graphics(graphics_name, 4096), physics(physics_name, 712);
  EXPECT_GE(physics.region_size().value_or(712), 712u);
  EXPECT_EQ(graphics.u32(0), 10u);
  replay.write_frame(frame(11, 4096));
  EXPECT_EQ(physics.u32(0), 55u);
  // The loop starts again: packetIds go on from where they stood.
  replay.begin_pass();
  replay.write_frame(frame(10, 4096));
  EXPECT_EQ(graphics.u32(0), 12u);
  EXPECT_EQ(physics.u32(0), 56u);
  EXPECT_EQ(graphics.i32(4), 2);
  replay.stop();
  EXPECT_EQ(graphics.i32(4), 0) << "AC_OFF for a reader still holding the page";
  EXPECT_EQ(graphics.u32(0), 13u) << "as an update a reader watching packetId sees";
}

TEST(AcevoRecorder, RecordsItsOwnPagesOnceThePhysicsPacketMoves) {
  const ScopedNamePrefix prefix;
  acevo::Connector recorder;
  EXPECT_FALSE(recorder.connect(1ms));
  const SimulatorMapping physics("Local\\acevo_pmf_physics", 800);
  EXPECT_FALSE(recorder.connect(1ms)) << "a physics page nobody wrote";
  physics.put_u32(0, 7);
  coding::encode_f32(physics.at(28), 212.5f);  // speedKmh
  ASSERT_TRUE(recorder.connect(1ms)) << "the graphics and static pages may be missing";
  FramePayload frame = recorder.read_frame(3ms);
  std::vector<NamedObjectView> objects = read_named_objects(frame);
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(coding::decode_f32(objects[0].bytes.data() + 28), 212.5f);
  EXPECT_TRUE(recorder.read_frame(3ms).empty());
  recorder.disconnect();

  const SimulatorMapping graphics("Local\\acevo_pmf_graphics", 4'900), static_page("Local\\acevo_pmf_static", 208);
  graphics.put_u32(100, 0xfeed);
  ASSERT_TRUE(recorder.connect(1ms));
  frame = recorder.read_frame(3ms);
  objects = read_named_objects(frame);
  ASSERT_EQ(objects.size(), 3u);
  EXPECT_EQ(memory_test::object_named(objects, "Local\\acevo_pmf_graphics").size, memory_test::kept_size(4'900));
  EXPECT_EQ(coding::decode_u32(memory_test::object_named(objects, "Local\\acevo_pmf_graphics").bytes.data() + 100),
            0xfeedu);
  // A graphics page changing alone is no news: its counter's place in
  // EVO's layout is not known.
  graphics.put_u32(0, 99);
  EXPECT_TRUE(recorder.read_frame(3ms).empty());
  // Taken for down as idle, the pages are not recorded again until a
  // packetId moves.
  recorder.disconnect_idle();
  EXPECT_FALSE(recorder.connect(1ms)) << "the pages still stand where they stood";
  physics.put_u32(0, 8);
  EXPECT_TRUE(recorder.connect(1ms));
  EXPECT_FALSE(recorder.read_frame(3ms).empty());
}

TEST(AcevoReplay, MakesEveryPageAtLeastAsLargeAsTheGameDoes) {
  const ScopedNamePrefix prefix;
  std::vector<std::uint8_t> physics(800, 0);
  coding::encode_u32(physics.data(), 41);
  const auto frame = memory_test::payload_of({{"Local\\acevo_pmf_physics", 800, physics}});
  acevo::Emulator replay;
  replay.prepare(frame);
  replay.start();
  replay.write_frame(frame);
  EXPECT_EQ(ClientView("Local\\acevo_pmf_physics", 800).u32(0), 41u);
  EXPECT_GE(ClientView("Local\\acevo_pmf_graphics", 4'900).region_size().value_or(4'900), 4'900u);
  EXPECT_GE(ClientView("Local\\acevo_pmf_static", 208).region_size().value_or(208), 208u);
}

}  // namespace vove
