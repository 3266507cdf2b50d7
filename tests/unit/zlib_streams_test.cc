// One deflate and one inflate stream serve every frame: what they write and
// read must be what zlib's one-shot calls write and read, frame after frame.
#include "formats/zlib_streams.h"

#include <gtest/gtest.h>

#include <span>
#include <string>

#include "formats/acc_pages.h"
#include "tools/sim_standin/acc_page_content.h"
#include "unit/dump_test_support.h"

namespace vove {

namespace {

using namespace dump_test;

// Successive ACC frames of the stand-in, interleaved with frames unlike them
// (text, noise, long runs, a single byte), so that whatever one frame leaves
// in the stream would show in the next one's bytes.
std::vector<Bytes> varied_frames() {
  acc::PageSet pages = acc::default_page_set();
  acc::write_standin_static_page(std::as_writable_bytes(std::span(pages.static_image)));
  std::vector<Bytes> frames;
  const std::string text = "WeekendInfo:\n TrackName: test ring\n DriverInfo:\n  Drivers:\n";
  for (std::int32_t packet = 1; packet <= 12; ++packet) {
    acc::update_standin_graphics_page(std::as_writable_bytes(std::span(pages.graphics)), packet, 60.0,
                                      acc::sim_status_live);
    acc::update_standin_physics_page(std::as_writable_bytes(std::span(pages.physics)), packet, 60.0);
    frames.push_back(acc::to_payload(pages));
    switch (packet % 4) {
      case 0: frames.push_back(noise(70000, static_cast<std::uint32_t>(packet))); break;
      case 1: frames.emplace_back(text.begin(), text.end()); break;
      case 2: frames.push_back(Bytes(200000, static_cast<std::uint8_t>(packet))); break;
      default: frames.push_back(Bytes{static_cast<std::uint8_t>(packet)}); break;
    }
  }
  return frames;
}

TEST(ZlibStreams, EveryFrameDeflatesToTheBytesOfCompress2AndInflatesBack) {
  DeflateStream deflater;
  InflateStream inflater;
  Bytes output;
  Bytes payload;
  for (const Bytes& frame : varied_frames()) {
    output.assign(compressBound(static_cast<uLong>(frame.size())), 0xee);
    const std::size_t length = deflater.compress(frame, output);
    const Bytes expected = compress2_default(frame);
    ASSERT_EQ(Bytes(output.begin(), output.begin() + static_cast<std::ptrdiff_t>(length)), expected) << frame.size();

    ASSERT_TRUE(inflater.inflate_into(expected, static_cast<std::uint32_t>(frame.size()), payload));
    EXPECT_EQ(payload, frame);
  }
}

TEST(ZlibStreams, InflatingKeepsTheOneShotOutcomes) {
  InflateStream inflater;
  const Bytes frame = noise(3000);
  const Bytes stream = compress2_default(frame);
  Bytes payload;

  // Fewer bytes than declared: the tail is zero.
  ASSERT_TRUE(inflater.inflate_into(stream, 5000, payload));
  EXPECT_EQ(Bytes(payload.begin(), payload.begin() + 3000), frame);
  EXPECT_EQ(Bytes(payload.begin() + 3000, payload.end()), Bytes(2000, 0));
  // More than declared, a stream cut short, a damaged one: refused.
  EXPECT_FALSE(inflater.inflate_into(stream, 2999, payload));
  EXPECT_FALSE(inflater.inflate_into(std::span(stream).first(stream.size() - 1), 3000, payload));
  Bytes damaged = stream;
  damaged[damaged.size() / 2] ^= 0x55;
  damaged[damaged.size() - 1] ^= 0x55;
  EXPECT_FALSE(inflater.inflate_into(damaged, 3000, payload));
  // The compressed form of no bytes declared as 0: an empty payload.
  ASSERT_TRUE(inflater.inflate_into(compress2_default({}), 0, payload));
  EXPECT_TRUE(payload.empty());
  // The stream works again after each failure.
  ASSERT_TRUE(inflater.inflate_into(stream, 3000, payload));
  EXPECT_EQ(payload, frame);
}

}  // namespace

}  // namespace vove
