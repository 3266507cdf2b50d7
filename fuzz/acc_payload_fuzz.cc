// ACC frame payloads from the fuzzer, around the whole loop: the replay's
// producer writes them into the three pages (views with inaccessible pages
// on both sides in this build), and the recorder's connector, attached once
// to those pages, reads them back. What comes out must be exactly what the
// payload carried; the readiness test must judge any graphics image
// without reading past it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "common/byte_coding.h"
#include "formats/acc_pages.h"
#include "formats/acc_readiness.h"
#include "simulators/acc/acc_connector.h"
#include "simulators/acc/acc_emulator.h"
#include "fuzz_support.h"

using namespace vove;

namespace {

struct Loop {
  acc::Emulator producer;
  acc::Connector connector;

  // Attaching costs system calls that tell nothing new input after input:
  // the connector attaches once, to pages that show a running simulator.
  Loop() {
    producer.start();
    acc::PageSet live = acc::default_page_set();
    coding::encode_i32(live.graphics.data() + acc::sim_status_offset, 2);
    live.graphics[acc::readiness_first_offset] = '1';
    producer.write_frame(acc::to_payload(live));
    fuzz::check(connector.connect(std::chrono::milliseconds{0}), "the connector attaches to live pages");
  }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::use_private_names();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Loop loop;
  const std::vector<std::uint8_t> payload(data, data + size);
  const acc::PageSet pages = acc::from_payload(payload);
  const std::vector<std::uint8_t> carried = acc::to_payload(pages);
  fuzz::check(carried.size() == acc::payload_size, "a payload is always 3700 bytes");
  if (size >= acc::payload_size) {
    for (const auto& page : {acc::graphics_page, acc::physics_page, acc::static_page}) {
      fuzz::check(std::memcmp(carried.data() + page.payload_offset, data + page.payload_offset, page.image_size) == 0,
                  "each image travels byte for byte");
    }
  }
  // Also on an image cut short, which the test must not read past.
  acc::is_simulator_ready(std::span<const std::uint8_t>(data, std::min(size, acc::graphics_page.image_size)));

  loop.producer.write_frame(payload);
  fuzz::check(loop.connector.read_frame(std::chrono::milliseconds{0}) == carried,
              "the pages read back as the payload written");
  return 0;
}
