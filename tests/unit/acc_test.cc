// The ACC page formats, the readiness test, and the connector and the
// emulator on real named pages.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "common/byte_coding.h"
#include "simulators/acc/acc_page_mappings.h"
#include "formats/acc_pages.h"
#include "formats/acc_readiness.h"
#include "simulators/acc/acc_connector.h"
#include "simulators/acc/acc_emulator.h"
#include "unit/scoped_name_prefix.h"

namespace vove {

namespace {

bool page_exists(const acc::PageDescription& page) {
  return platform::SharedMemory::open_existing(page.mapping_name, platform::Access::read).is_open();
}

// Zero-ended UTF-16LE text, as the simulator writes its wchar_t fields.
std::vector<std::uint8_t> utf16_field(std::u16string_view text, std::size_t units) {
  std::vector<std::uint8_t> field(2 * units, 0);
  for (std::size_t i = 0; i < text.size() && i + 1 < units; ++i) {
    field[2 * i] = static_cast<std::uint8_t>(text[i] & 0xff);
    field[2 * i + 1] = static_cast<std::uint8_t>(text[i] >> 8);
  }
  return field;
}

// A page as the simulator publishes it: created at its own size (no larger,
// so that on POSIX nothing lies past it) and written through a view.
class PublishedPage {
 public:
  PublishedPage(std::string_view name, std::size_t size)
      : memory_(platform::SharedMemory::create_or_open(name, static_cast<std::uint32_t>(size))),
        view_(memory_.map(platform::Access::write, size)) {
    if (!view_) throw std::runtime_error("cannot publish " + std::string(name));
  }
  void put(std::size_t offset, const std::vector<std::uint8_t>& bytes) {
    std::memcpy(view_.data() + offset, bytes.data(), bytes.size());
  }
  std::byte* data() const { return view_.data(); }

 private:
  platform::SharedMemory memory_;
  platform::MappedView view_;
};

// Graphics bytes a running session shows: status 2 (live), and the two
// readiness strings different.
void make_live(PublishedPage& graphics) {
  coding::encode_i32(graphics.data() + 4, 2);
  graphics.put(200, utf16_field(u"1:02.345", 33));
}

std::vector<std::uint8_t> slice(const std::vector<std::uint8_t>& bytes, std::size_t begin, std::size_t end) {
  return {bytes.begin() + static_cast<std::ptrdiff_t>(begin), bytes.begin() + static_cast<std::ptrdiff_t>(end)};
}

}  // namespace

// A payload too short for the three images gives the default set.
TEST(AccPayload, ShortPayloadGivesTheDefaultSet) {
  const auto fallback = acc::to_payload(acc::default_page_set());
  ASSERT_EQ(fallback.size(), 3700u);
  EXPECT_EQ(coding::decode_f32(fallback.data() + 2700 + 456), -273.0f);
  for (const std::size_t size : {0u, 1u, 3699u})
    EXPECT_EQ(acc::to_payload(acc::from_payload(std::vector<std::uint8_t>(size, 0x5a))), fallback) << size;
}

TEST(AccReadiness, NeedsAStatusAndDifferentStringsBelowByte756) {
  struct Case {
    std::int32_t status;
    std::u16string_view first, second;
    bool ready;
  };
  for (const Case& c : {Case{2, u"", u"", false},  // nobody wrote the page
                        Case{0, u"1:02", u"", false}, Case{2, u"1:02", u"1:02", false}, Case{2, u"1:02", u"", true},
                        Case{-1, u"1:02", u"1:03", true}, Case{2, u"1:02", u"1:02x", true},
                        Case{1, u"\u0141", u"\u0041", true}}) {  // units, not bytes, are compared
    std::vector<std::uint8_t> graphics(acc::graphics_page.image_size, 0);
    coding::encode_i32(graphics.data() + acc::sim_status_offset, c.status);
    const auto put = [&](std::size_t offset, std::u16string_view text) {
      for (const char16_t unit : text) {
        graphics[offset++] = static_cast<std::uint8_t>(unit & 0xff);
        graphics[offset++] = static_cast<std::uint8_t>(unit >> 8);
      }
    };
    put(acc::readiness_first_offset, c.first);
    put(acc::readiness_second_offset, c.second);
    EXPECT_EQ(acc::is_simulator_ready(graphics), c.ready) << c.status << " " << c.first.size();
  }
  // Strings without terminators are compared up to byte 756 and no further
  // (the sanitizer build catches a read past the end of the shorter buffers).
  std::vector<std::uint8_t> graphics(acc::graphics_page.image_size, 0x41);
  graphics[756] = 0x42;
  EXPECT_FALSE(acc::is_simulator_ready(graphics));
  std::vector<std::uint8_t> limited(graphics.begin(), graphics.begin() + 756);
  EXPECT_FALSE(acc::is_simulator_ready(limited));
  limited[754] = 0x42;  // the last unit wholly below 756 still counts
  EXPECT_TRUE(acc::is_simulator_ready(limited));
  EXPECT_FALSE(acc::is_simulator_ready({}));
  EXPECT_FALSE(acc::is_simulator_ready(std::vector<std::uint8_t>(7, 0xff)));
}

TEST(AccConnector, NoSimulatorReturnsFalseAndLeavesNoName) {
  ScopedNamePrefix prefix;
  acc::Connector connector;  // still alive: the failed attempt holds nothing
  EXPECT_FALSE(connector.connect(std::chrono::milliseconds{0}));
  EXPECT_TRUE(connector.read_frame(std::chrono::milliseconds{0}).empty());
  for (const auto& page : {acc::graphics_page, acc::physics_page, acc::static_page})
    EXPECT_FALSE(page_exists(page)) << page.mapping_name;
}

// The simulator's pages of the current layout (graphics 1588, physics 800,
// static 820 bytes) with a wet tyre name that fills its whole field, bytes
// 754 to 819 of the static page: the recording carries it, the replay puts
// it back. Offsets are the simulator's published ones.
TEST(AccConnector, RecordsTheWholeStaticPageAndTheEmulatorWritesItBack) {
  ScopedNamePrefix prefix;
  const std::vector<std::uint8_t> dry = utf16_field(u"DHE 2026 dry", 33);
  const std::vector<std::uint8_t> wet = utf16_field(u"WH 2026 wet compound, full field", 33);
  ASSERT_NE(wet[2 * 31], 0);  // 32 units of text and the terminator fill all 66 bytes
  std::vector<std::uint8_t> payload;
  {
    PublishedPage graphics(acc::graphics_page.mapping_name, 1588);
    PublishedPage physics(acc::physics_page.mapping_name, 800);
    PublishedPage static_page(acc::static_page.mapping_name, 820);
    make_live(graphics);
    static_page.put(688, dry);
    static_page.put(754, wet);
    acc::Connector connector;
    ASSERT_TRUE(connector.connect(std::chrono::milliseconds{0}));
    payload = connector.read_frame(std::chrono::milliseconds{0});
    connector.disconnect();  // lets go of the pages, so the replay makes its own
  }
  ASSERT_EQ(payload.size(), 3700u);
  EXPECT_EQ(slice(payload, 2700 + 688, 2700 + 754), dry);
  EXPECT_EQ(slice(payload, 2700 + 754, 2700 + 820), wet);

  acc::Emulator emulator;
  emulator.start();
  emulator.write_frame(payload);
  const auto page = platform::SharedMemory::open_existing(acc::static_page.mapping_name, platform::Access::read);
  const auto view = page.map(platform::Access::read, 820);
  ASSERT_TRUE(view);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(view.data());
  EXPECT_EQ(std::vector<std::uint8_t>(bytes + 754, bytes + 820), wet);
}

// A recording made while the static image was 756 bytes holds zero past
// byte 756; it reads, and replays, as it did.
TEST(AccPayload, AnOlderRecordingsStaticSlotReadsAsBefore) {
  std::vector<std::uint8_t> payload(3700, 0);
  for (std::size_t at = 2700; at < 2700 + 756; ++at) payload[at] = static_cast<std::uint8_t>(at * 7 + 1);
  const acc::PageSet pages = acc::from_payload(payload);
  EXPECT_EQ(std::vector<std::uint8_t>(pages.static_image.begin(), pages.static_image.begin() + 756),
            slice(payload, 2700, 2700 + 756));
  EXPECT_EQ(std::vector<std::uint8_t>(pages.static_image.begin() + 756, pages.static_image.end()),
            std::vector<std::uint8_t>(64, 0));
  EXPECT_EQ(acc::to_payload(pages), payload);
}

// An older game publishes shorter pages (graphics 1580 bytes in one layout,
// static 688 in another). The recorder attaches and records what they hold;
// the fields they lack read as zero, on POSIX too, where bytes past a
// region's end cannot be touched.
TEST(AccConnector, PagesOfAnOlderLayoutAreRecordedWithTheMissingFieldsZero) {
  ScopedNamePrefix prefix;
  PublishedPage graphics(acc::graphics_page.mapping_name, 1580);
  PublishedPage physics(acc::physics_page.mapping_name, 800);
  PublishedPage static_page(acc::static_page.mapping_name, 688);
  const std::vector<std::uint8_t> graphics_bytes(1580, 0x5a), static_bytes(688, 0xa5);
  graphics.put(0, graphics_bytes);
  static_page.put(0, static_bytes);
  make_live(graphics);
  acc::Connector connector;
  ASSERT_TRUE(connector.connect(std::chrono::milliseconds{0}));
  const auto payload = connector.read_frame(std::chrono::milliseconds{0});
  ASSERT_EQ(payload.size(), 3700u);
  EXPECT_EQ(slice(payload, 1000, 1580), slice(graphics_bytes, 1000, 1580));
  EXPECT_EQ(slice(payload, 1580, 1700), std::vector<std::uint8_t>(120, 0));
  EXPECT_EQ(slice(payload, 2700, 2700 + 688), static_bytes);
  EXPECT_EQ(slice(payload, 2700 + 688, 3700), std::vector<std::uint8_t>(3700 - 2700 - 688, 0));
}

// While the simulator has published only some pages the recorder waits,
// silently (the others are missing, not refused), and makes none of them.
TEST(AccConnector, WaitsForAllThreePagesAndCreatesNone) {
  ScopedNamePrefix prefix;
  PublishedPage graphics(acc::graphics_page.mapping_name, 1588);
  make_live(graphics);
  acc::Connector connector;
  EXPECT_FALSE(connector.connect(std::chrono::milliseconds{0}));
  EXPECT_TRUE(connector.attach_failure().missing());
  EXPECT_FALSE(page_exists(acc::physics_page));
  EXPECT_FALSE(page_exists(acc::static_page));
  PublishedPage physics(acc::physics_page.mapping_name, 800);
  EXPECT_FALSE(connector.connect(std::chrono::milliseconds{0}));
  EXPECT_FALSE(page_exists(acc::static_page));
  PublishedPage static_page(acc::static_page.mapping_name, 820);
  EXPECT_TRUE(connector.connect(std::chrono::milliseconds{0}));
}

// Released as idle, the recorder attaches again only once either page's
// packetId (the int32 at its start) has moved, whatever the status says;
// a plain disconnect holds no such condition.
TEST(AccConnector, AfterAnIdleEndOnlyANewPacketConnectsAgain) {
  ScopedNamePrefix prefix;
  PublishedPage graphics(acc::graphics_page.mapping_name, 1588);
  PublishedPage physics(acc::physics_page.mapping_name, 800);
  PublishedPage static_page(acc::static_page.mapping_name, 820);
  make_live(graphics);
  coding::encode_i32(graphics.data(), 41);
  coding::encode_i32(physics.data(), 700);
  acc::Connector connector;
  ASSERT_TRUE(connector.connect(std::chrono::milliseconds{0}));
  ASSERT_FALSE(connector.read_frame(std::chrono::milliseconds{0}).empty());
  const auto mark = connector.publication_mark();
  ASSERT_TRUE(mark.has_value());
  connector.disconnect_idle();
  EXPECT_FALSE(connector.connect(std::chrono::milliseconds{0})) << "the pages still stand where they stood";
  coding::encode_i32(physics.data(), 701);
  ASSERT_TRUE(connector.connect(std::chrono::milliseconds{0}));
  ASSERT_FALSE(connector.read_frame(std::chrono::milliseconds{0}).empty());
  EXPECT_NE(connector.publication_mark(), mark);
  connector.disconnect_idle();
  coding::encode_i32(graphics.data(), 42);
  EXPECT_TRUE(connector.connect(std::chrono::milliseconds{0})) << "the graphics page alone moved";
  connector.read_frame(std::chrono::milliseconds{0});
  connector.disconnect();
  EXPECT_TRUE(connector.connect(std::chrono::milliseconds{0}));
}

// A reader still holding the graphics page sees the simulator go off; the
// other pages are given back.
TEST(AccEmulator, StopMarksTheSimulatorOffForAHolder) {
  ScopedNamePrefix prefix;
  acc::Emulator emulator;
  emulator.start();
  auto payload = acc::to_payload(acc::default_page_set());
  coding::encode_i32(payload.data() + acc::sim_status_offset, 2);
  emulator.write_frame(payload);
  const auto page = platform::SharedMemory::open_existing(acc::graphics_page.mapping_name, platform::Access::write);
  const auto view = page.map(platform::Access::write, acc::graphics_page.image_size);
  ASSERT_TRUE(view);
  ASSERT_EQ(coding::decode_i32(view.data() + acc::sim_status_offset), 2);
  emulator.stop();
  EXPECT_EQ(coding::decode_i32(view.data() + acc::sim_status_offset), 0);
  EXPECT_FALSE(page_exists(acc::physics_page));
  EXPECT_FALSE(page_exists(acc::static_page));
}

// A page moved into another takes its name along: the moved-from object no
// longer removes it, and the page the target held before is given back.
TEST(MappedPage, MoveAssignmentCarriesThePageAndReleasesTheOldOne) {
  ScopedNamePrefix prefix;
  platform::MappedPage target;
  ASSERT_TRUE(target.create_or_open(acc::physics_page.mapping_name, acc::emulator_page_size));
  {
    platform::MappedPage source;
    ASSERT_TRUE(source.create_or_open(acc::graphics_page.mapping_name, acc::emulator_page_size));
    ASSERT_TRUE(source.map(platform::Access::write, acc::emulator_page_size));
    target = std::move(source);
  }
  EXPECT_FALSE(page_exists(acc::physics_page));
  EXPECT_TRUE(page_exists(acc::graphics_page));
  EXPECT_TRUE(target.is_mapped());
  EXPECT_TRUE(target.map(platform::Access::read, acc::graphics_page.image_size));
  target.release();
  EXPECT_FALSE(page_exists(acc::graphics_page));
}

}  // namespace vove
