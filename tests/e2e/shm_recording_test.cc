// dumper --shm and its replay as a user runs them: named mappings of any
// program recorded at their full sizes, replayed under the same names, and
// the replay recorded again frame for frame; a bad list of names refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "formats/named_objects_payload.h"

namespace vove {

namespace {

using namespace std::chrono_literals;

constexpr int shm_fps = 10;

// Frame `i`: two mappings as another program would keep them, one of an
// odd size, their bytes telling the frame apart.
std::vector<std::uint8_t> frame_of(int i) {
  NamedObjectsPayloadBuilder builder;
  const std::span<std::uint8_t> a = builder.add("vove_e2e_a", 5'001, 5'001);
  std::fill(a.begin(), a.end(), static_cast<std::uint8_t>(i));
  a[5'000] = static_cast<std::uint8_t>(255 - i);
  const std::span<std::uint8_t> b = builder.add("Local\\vove_e2e_b", 64, 64);
  std::fill(b.begin(), b.end(), static_cast<std::uint8_t>(i * 3));
  return builder.take();
}

TEST(ShmRecording, AReplayedSetOfMappingsIsRecordedAgainFrameForFrame) {
  E2eSandbox sandbox("shm_recording");
  std::vector<std::vector<std::uint8_t>> frames;
  for (int i = 0; i < 40; ++i) frames.push_back(frame_of(i));
  const auto recording = sandbox.directory() / "recorded.bin";
  write_dump(recording, shm_fps, make_source_id("shmz"), frames);

  auto replay = sandbox.start("emulator", {"--input-file", recording.string(), "--loop"}, "replay");
  ASSERT_TRUE(replay->wait_for_output("Emulator started\n", 30s)) << replay->standard_output();
  auto dumper = sandbox.start("dumper", {"--fps", std::to_string(shm_fps), "--shm", "vove_e2e_a,Local\\vove_e2e_b"},
                              "rerecord", "again");
  ASSERT_TRUE(dumper->wait_for_output("Saver started\n", 30s)) << dumper->standard_output();
  ASSERT_TRUE(replay->wait_for_output("(loop 2)", 30s));
  stop_with_interrupt(*dumper, "dumper");
  stop_with_interrupt(*replay, "emulator");
  EXPECT_NE(dumper->standard_output().find("Frames per second: 10\nRecording named shared memory: no consistency "
                                           "protocol is known for it, so a frame may hold a write half done\n"
                                           "Waiting for the connection\nConnected to shmz\n"),
            std::string::npos)
      << dumper->standard_output();

  const auto files = sandbox.dump_files("again");
  ASSERT_EQ(files.size(), 1u);
  const DumpContents again = read_dump(files.front());
  EXPECT_EQ(again.source_id, make_source_id("shmz"));
  ASSERT_GE(again.frames.size(), 20u);
  // Every frame recorded again is one of the replayed frames (written
  // between two reads, a frame may be seen twice or not at all), and the
  // sizes are those recorded, not a page-rounded view's. Wine keeps only
  // whole pages for a mapping, so there a size is rounded up and the bytes
  // past the recorded ones are zero.
  const auto as_replayed = [](const std::vector<std::uint8_t>& payload) {
    NamedObjectsPayloadBuilder builder;
    for (const NamedObjectView& object : read_named_objects(payload)) {
      const std::uint32_t size = object.name == "vove_e2e_a" ? 5'001 : 64;
      const bool rounded = programs_run_under_runner() && object.size == (size + 4095) / 4096 * 4096;
      EXPECT_TRUE(object.size == size || rounded) << object.name << ": " << object.size;
      if (object.size != size && !rounded) return std::vector<std::uint8_t>();
      const auto tail = object.bytes.subspan(std::min<std::size_t>(size, object.bytes.size()));
      EXPECT_TRUE(std::all_of(tail.begin(), tail.end(), [](std::uint8_t b) { return b == 0; }));
      const std::uint32_t kept = std::min<std::uint32_t>(size, static_cast<std::uint32_t>(object.bytes.size()));
      std::ranges::copy(object.bytes.first(kept), builder.add(object.name, size, kept).begin());
    }
    return builder.take();
  };
  std::size_t matched = 0;
  for (const auto& frame : again.frames) {
    if (std::find(frames.begin(), frames.end(), as_replayed(frame)) != frames.end()) ++matched;
  }
  EXPECT_GE(matched, again.frames.size() - 2) << "a frame read while the replay wrote may mix two";
  EXPECT_EQ(read_named_objects(again.frames.back()).size(), 2u);

  const RunResult info = run_dumptool(sandbox, {"info", files.front().string()});
  const std::string sizes = programs_run_under_runner()
                                ? "  vove_e2e_a (8192 bytes)\n  Local\\vove_e2e_b (4096 bytes)\n"
                                : "  vove_e2e_a (5001 bytes)\n  Local\\vove_e2e_b (64 bytes)\n";
  EXPECT_NE(info.output.find("Source:          shmz (named shared memory)\nObjects:         2\n" + sizes),
            std::string::npos)
      << info.output;
  EXPECT_TRUE(shared_memory_names(sandbox.name_prefix()).empty()) << "the replay removed its names";
}

TEST(ShmRecording, ABadListOfNamesIsRefusedBeforeAnythingStarts) {
  E2eSandbox sandbox("shm_names");
  for (const std::string& list : {std::string(""), std::string("a,,b"), std::string("a,a"), std::string(256, 'n')}) {
    const RunResult result = run_to_end(sandbox, "dumper", {"--shm", list}, "names");
    EXPECT_EQ(result.status.code, 1) << list;
    EXPECT_EQ(result.output.find("Invalid shm value: "), 0u) << result.output;
    EXPECT_TRUE(sandbox.dump_files().empty());
  }
}

}  // namespace

}  // namespace vove
