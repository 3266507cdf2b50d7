// The independent reference of the end-to-end tests: what the stand-in
// published, recomputed from the stand-in's own content functions, and
// compared with recorded payloads field by field at the payload's documented
// offsets, without the programs' own payload parsers. A fault that the
// recorder and the replay share (two images swapped on both sides, a field
// written at the wrong offset by both) shows here, where a round trip alone
// would pass.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vove {

using Payloads = std::vector<std::vector<std::uint8_t>>;

struct IracingReference {
  bool stamped_rows = false;  // the stand-in ran with --stamped-rows
  // Whether to check the session text (a replay may carry an older text's
  // tail in memory, which the recorder cannot tell from the text).
  bool check_session_text = true;
};

// Checks every payload against the iRacing stand-in's header layout,
// variable headers, rows (the row of the newest slot's tick) and session
// texts (the text of the header's update counter). Also checks that the
// text travels in the first frame and in exactly those frames whose update
// counter differs from the frame before. Returns the number of frames that
// carried a text.
int expect_published_iracing_frames(const Payloads& payloads, const IracingReference& reference = {});

// The tick of an iRacing payload's newest buffer slot, read at its offsets.
std::int32_t newest_tick_of(const std::vector<std::uint8_t>& payload);

// An ACC payload is 3700 bytes whose gaps between the images are zero.
void expect_acc_size_and_gaps(const std::vector<std::uint8_t>& payload);

// Checks every ACC payload against the stand-in's pages at `rate` updates a
// second: each image at its payload offset (graphics 0, physics 1700,
// static 2700) equal to the page the stand-in wrote for the packet the image
// names, the status live and the gaps zero. The pages carry no consistency
// protocol, so `allowed_torn` frames may differ (a copy overlapping a write).
void expect_published_acc_frames(const Payloads& payloads, double rate, int allowed_torn = 1);

}  // namespace vove
