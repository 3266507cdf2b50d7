// rFactor 2, the $pcars2$ games, RaceRoom, Le Mans Ultimate, Assetto Corsa
// 1 and EVO and rFactor 1 end to end: the stand-in recorded by dumper, the
// recording replayed by emulator and recorded again object for object; and
// readers that follow each simulator's protocol, as the simulators'
// documentation describes it, watching the stand-in's fault mode and the
// replay: never a torn frame, counters that never go back.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/byte_coding.h"
#include "common/platform/mapped_page.h"
#include "e2e_support.h"
#include "formats/named_objects_payload.h"

namespace vove {

namespace {

using namespace std::chrono_literals;

struct Simulator {
  std::string mode;
  std::string id;
  std::string layout;  // as info names it
};
// An empty layout: info names none.
const Simulator simulators[] = {{"rf2", "rf2z", "3.7.15.1"},       {"ams2", "pc2z", "14"}, {"r3e", "r3ez", "3.5"},
                                {"lmu", "lmuz", "game version 1"}, {"ac1", "ac1z", "1.9"}, {"acevo", "acez", ""},
                                {"rf1", "rf1z", "3.0.0.0"}};

// rFactor 1's layout is told by the mapping's size alone: exactly the
// struct's 11,367 bytes. Wine keeps whole pages of a section, so a
// recording made there holds 12,288 bytes, whose layout is not known.
std::string expected_layout(const Simulator& simulator, const std::vector<std::uint8_t>& first_payload) {
  if (simulator.mode != "rf1") return simulator.layout;
  const std::vector<NamedObjectView> objects = read_named_objects(first_payload);
  const NamedObjectView* mapping = find_named_object(objects, "$rFactorShared$");
  return mapping != nullptr && mapping->size == 11'367 ? simulator.layout : "not known";
}

// The bytes of each object with the replay's own counters left out: rFactor
// 2's version block (every buffer starts with one), the $pcars2$ sequence
// number at 7,320.
std::map<std::string, std::vector<std::uint8_t>> contents_of(const std::vector<std::uint8_t>& payload) {
  std::map<std::string, std::vector<std::uint8_t>> contents;
  for (const NamedObjectView& object : read_named_objects(payload)) {
    std::vector<std::uint8_t> bytes(object.bytes.begin(), object.bytes.end());
    if (object.name.rfind("$rFactor2SMMP_", 0) == 0 && bytes.size() >= 8) std::fill_n(bytes.begin(), 8, 0);
    if (object.name == "$pcars2$" && bytes.size() >= 7'324) std::fill_n(bytes.begin() + 7'320, 4, 0);
    contents[std::string(object.name)] = std::move(bytes);
  }
  return contents;
}

// The same content, also where the replay made an object larger than
// recorded (never smaller than the largest layout readers map): the
// bytes past the recorded ones are zero.
bool same_content(const std::vector<std::uint8_t>& recorded, const std::vector<std::uint8_t>& replayed) {
  if (replayed.size() < recorded.size()) return false;
  return std::equal(recorded.begin(), recorded.end(), replayed.begin()) &&
         std::all_of(replayed.begin() + static_cast<std::ptrdiff_t>(recorded.size()), replayed.end(),
                     [](std::uint8_t b) { return b == 0; });
}

// Each object's successive contents in the recording of the replay appear
// in the same order in the recording replayed (the simulators write their
// objects one by one, so only each object on its own is a frame recorded).
// Returns how many contents of the replay's recording were found.
std::size_t expect_each_object_replayed_in_order(const DumpContents& recorded, const DumpContents& replayed) {
  std::map<std::string, std::vector<std::vector<std::uint8_t>>> original;
  for (const auto& payload : recorded.frames) {
    for (auto& [name, bytes] : contents_of(payload)) {
      auto& sequence = original[name];
      if (sequence.empty() || sequence.back() != bytes) sequence.push_back(std::move(bytes));
    }
  }
  std::map<std::string, std::size_t> position;
  std::size_t found = 0;
  for (const auto& payload : replayed.frames) {
    for (const auto& [name, bytes] : contents_of(payload)) {
      const auto& sequence = original[name];
      std::size_t& at = position[name];
      std::size_t next = at;
      while (next < sequence.size() && !same_content(sequence[next], bytes)) ++next;
      // The replay's way out zeroes rF2's buffers one after another, so a
      // recorder may take one zeroed buffer before Extended says stopped.
      if (next == sequence.size() && std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; })) {
        continue;
      }
      // Assetto Corsa 1's way out is one more graphics update with status 0.
      if (next == sequence.size() && name == "Local\\acpmf_graphics" && bytes.size() >= 8 &&
          coding::decode_i32(bytes.data() + 4) == 0) {
        continue;
      }
      if (next == sequence.size()) {
        ADD_FAILURE() << name << ": a content the recording does not hold at or after its place";
        continue;
      }
      at = next;
      ++found;
    }
  }
  return found;
}

TEST(NamedMemoryRoundTrip, EachSimulatorFromTheStandinIsReplayedAsRecorded) {
  E2eSandbox sandbox("named_memory_round_trip");
  for (const Simulator& simulator : simulators) {
    SCOPED_TRACE(simulator.mode);
    // rFactor 2's stand-in keeps the plugin's own rates.
    std::vector<std::string> arguments{"--sim", simulator.mode};
    if (simulator.mode != "rf2") arguments.insert(arguments.end(), {"--rate", "30"});
    const auto recording = record_standin(sandbox, arguments, 20, 3s, simulator.mode);
    ASSERT_FALSE(recording.empty());
    const DumpContents recorded = read_dump(recording);
    EXPECT_EQ(source_id_text(recorded.source_id, SourceIdStyle::as_stored), simulator.id);
    ASSERT_GE(recorded.frames.size(), 30u);

    const RunResult info = run_dumptool(sandbox, {"info", recording.string()});
    if (simulator.layout.empty()) {
      EXPECT_EQ(info.output.find("Layout:"), std::string::npos) << info.output;
    } else {
      EXPECT_NE(info.output.find("Layout:          " + expected_layout(simulator, recorded.frames.front()) + "\n"),
                std::string::npos)
          << info.output;
    }

    // AC1 and EVO share ACC's physics page, and its field decoding.
    if (simulator.mode == "ac1" || simulator.mode == "acevo") {
      const RunResult csv = run_dumptool(sandbox, {"csv", recording.string(), "--vars", "physics.speedKmh"});
      ASSERT_EQ(csv.status.code, 0) << csv.error;
      EXPECT_EQ(std::count(csv.output.begin(), csv.output.end(), '\n'),
                static_cast<std::ptrdiff_t>(recorded.frames.size() + 1));
      const std::size_t last_line = csv.output.rfind('\n', csv.output.size() - 2) + 1;
      const std::size_t comma = csv.output.find(',', last_line);
      ASSERT_NE(comma, std::string::npos) << csv.output;
      EXPECT_GT(std::stod(csv.output.substr(comma + 1)), 1.0) << "the car drives: " << csv.output.substr(last_line);
    }

    const DumpContents replayed = record_replay(sandbox, recording, 20, simulator.mode + "_replay");
    EXPECT_EQ(source_id_text(replayed.source_id, SourceIdStyle::as_stored), simulator.id) << "replayed as itself";
    EXPECT_GE(replayed.frames.size(), 20u);
    EXPECT_GE(expect_each_object_replayed_in_order(recorded, replayed), replayed.frames.size());

    // cut keeps a stretch that replays on its own, its objects intact.
    const auto cut = sandbox.directory() / (simulator.mode + "_cut.bin");
    const RunResult cut_run =
        run_dumptool(sandbox, {"cut", recording.string(), "--from", "1", "--to", "2", "-o", cut.string()});
    ASSERT_EQ(cut_run.status.code, 0) << cut_run.output << cut_run.error;
    const DumpContents piece = read_dump(cut);
    ASSERT_EQ(piece.frames.size(), 20u);
    EXPECT_EQ(piece.frames.front(), recorded.frames[20]);
  }
  EXPECT_TRUE(shared_memory_names(sandbox.name_prefix()).empty());
}

// The rF2 plugin publishing beside Le Mans Ultimate: one recording, as
// Le Mans Ultimate, holds both, and its replay publishes both again.
TEST(NamedMemoryRoundTrip, LeMansUltimateWithTheRf2PluginBesideItIsOneRecording) {
  E2eSandbox sandbox("lmu_with_rf2");
  std::filesystem::path recording;
  {
    auto plugin = start_standin(sandbox, {"--sim", "rf2"}, "rf2_beside");
    recording = record_standin(sandbox, {"--sim", "lmu", "--rate", "30"}, 20, 3s, "lmu");
    stop_with_interrupt(*plugin, "rF2 stand-in");
  }
  ASSERT_FALSE(recording.empty());
  const DumpContents recorded = read_dump(recording);
  EXPECT_EQ(source_id_text(recorded.source_id, SourceIdStyle::as_stored), "lmuz");
  ASSERT_GE(recorded.frames.size(), 30u);
  const auto holds_both = [](const std::vector<std::uint8_t>& payload) {
    const std::vector<NamedObjectView> objects = read_named_objects(payload);
    return find_named_object(objects, "LMU_Data") != nullptr &&
           find_named_object(objects, "$rFactor2SMMP_Telemetry$") != nullptr &&
           find_named_object(objects, "$rFactor2SMMP_Extended$") != nullptr;
  };
  EXPECT_TRUE(std::all_of(recorded.frames.begin() + 1, recorded.frames.end(), holds_both));

  const DumpContents replayed = record_replay(sandbox, recording, 20, "lmu_replay");
  EXPECT_EQ(source_id_text(replayed.source_id, SourceIdStyle::as_stored), "lmuz");
  ASSERT_GE(replayed.frames.size(), 20u);
  EXPECT_TRUE(std::all_of(replayed.frames.begin() + 1, replayed.frames.end() - 1, holds_both));
  EXPECT_GE(expect_each_object_replayed_in_order(recorded, replayed), replayed.frames.size());
  EXPECT_TRUE(shared_memory_names(sandbox.name_prefix()).empty());
}

// ---- Readers written from the simulators' documentation ----------------

std::uint32_t u32_at(const platform::MappedPage& page, std::size_t offset) {
  std::atomic_thread_fence(std::memory_order_acquire);
  return coding::decode_u32(page.data() + offset);
}

// rFactor 2: Begin (offset 0) equal to End (offset 4) before and after the
// copy, tried up to 10 times a millisecond apart.
std::optional<std::vector<std::uint8_t>> read_rf2(const platform::MappedPage& page, std::size_t length) {
  for (int attempt = 0; attempt < 10; ++attempt) {
    const std::uint32_t begin = u32_at(page, 0);
    if (begin == u32_at(page, 4)) {
      std::vector<std::uint8_t> copy(length);
      std::memcpy(copy.data(), page.data(), length);
      if (u32_at(page, 0) == begin && u32_at(page, 4) == begin) return copy;
    }
    std::this_thread::sleep_for(1ms);
  }
  return std::nullopt;
}

// $pcars2$: skip while mSequenceNumber (7,320) is odd; discard a copy over
// which it changed.
std::optional<std::vector<std::uint8_t>> read_pcars2(const platform::MappedPage& page, std::size_t length) {
  const std::uint32_t before = u32_at(page, 7'320);
  if (before % 2 != 0) return std::nullopt;
  std::vector<std::uint8_t> copy(length);
  std::memcpy(copy.data(), page.data(), length);
  if (u32_at(page, 7'320) != before) return std::nullopt;
  return copy;
}

// Le Mans Ultimate: wait on LMU_Data_Event, take the shared lock (busy at
// 4 from 0 to 1, up to 4,000 tries, then counted in waiters at 0 and a wait
// on the lock event before trying again), copy, give the lock back (busy 0,
// the lock event signalled when someone waits).
struct LmuObjects {
  platform::NamedEvent event;
  platform::MappedPage lock;
  platform::NamedEvent lock_event;
  bool open() {
    event = platform::NamedEvent::open_existing("LMU_Data_Event");
    lock_event = platform::NamedEvent::open_existing("LMU_SharedMemoryLockEvent", platform::Access::write);
    return event && lock_event && lock.open_existing("LMU_SharedMemoryLockData", platform::Access::write) &&
           lock.map(platform::Access::write, 8);
  }
  std::atomic_ref<std::int32_t> word(std::size_t offset) {
    return std::atomic_ref<std::int32_t>(*reinterpret_cast<std::int32_t*>(lock.data() + offset));
  }
};

std::optional<std::vector<std::uint8_t>> read_lmu(const platform::MappedPage& page, std::size_t length,
                                                  LmuObjects& objects) {
  if (!objects.event.wait(10ms)) return std::nullopt;
  const auto give_up = std::chrono::steady_clock::now() + 1s;
  for (;;) {
    bool taken = false;
    for (int spin = 0; spin < 4'000 && !taken; ++spin) {
      std::int32_t expected = 0;
      taken = objects.word(4).compare_exchange_strong(expected, 1);
    }
    if (taken) break;
    if (std::chrono::steady_clock::now() > give_up) return std::nullopt;
    objects.word(0).fetch_add(1);
    objects.lock_event.wait(5ms);
    objects.word(0).fetch_sub(1);
  }
  std::vector<std::uint8_t> copy(length);
  std::memcpy(copy.data(), page.data(), length);
  objects.word(4).store(0);
  if (objects.word(0).load() > 0) objects.lock_event.signal();
  return copy;
}

// The stand-in's fault mode stamps each rewrite at both ends of what a
// reader copies: rFactor 2's telemetry at 16 and in the used part's last
// 8 bytes (8 + mBytesUpdatedHint), $pcars2$ at 20 and 20,692, LMU_Data at
// 128,468 and 324,812 (the stand-in's own choice of places, not the
// simulators' fields).
bool stamps_agree(const std::string& mode, const std::vector<std::uint8_t>& copy) {
  if (mode == "rf2") {
    const auto hint = static_cast<std::size_t>(coding::decode_i32(copy.data() + 8));
    const std::size_t end = hint == 0 ? copy.size() : 8 + hint;
    return end >= 24 && end <= copy.size() &&
           coding::decode_u64(copy.data() + 16) == coding::decode_u64(copy.data() + end - 8);
  }
  if (mode == "lmu") return coding::decode_u64(copy.data() + 128'468) == coding::decode_u64(copy.data() + 324'812);
  return coding::decode_u64(copy.data() + 20) == coding::decode_u64(copy.data() + 20'692);
}

// Reads the mapping by its protocol until `stop`, checking every accepted
// copy; the counter (rFactor 2's End, the sequence number) must never go
// back. LMU_Data has no counter: only its stamps are checked.
struct Watch {
  std::atomic<bool> stop{false};
  std::atomic<int> accepted{0};
  std::atomic<int> torn{0};
  std::atomic<int> went_back{0};
};

void watch(const std::string& prefix, const std::string& mode, Watch& result) {
  // RaceRoom has no protocol: a plain copy, and only its ticks (44) watched.
  const std::string name = mode == "rf2"    ? "$rFactor2SMMP_Telemetry$"
                           : mode == "ams2" ? "$pcars2$"
                           : mode == "lmu"  ? "LMU_Data"
                                            : "$R3E";
  const std::size_t counter = mode == "rf2" ? 4 : mode == "ams2" ? 7'320 : 44;
  const std::size_t size = mode == "rf2" ? 241'680 : mode == "ams2" ? 20'700 : mode == "lmu" ? 324'824 : 43'996;
  ::setenv("VOVE_NAME_PREFIX", prefix.c_str(), 1);
  platform::MappedPage page;
  LmuObjects lmu;
  while (!result.stop.load() && !(page.open_existing(name, platform::Access::read) &&
                                  page.map(platform::Access::read, size) && (mode != "lmu" || lmu.open()))) {
    std::this_thread::sleep_for(5ms);
  }
  std::uint32_t last = 0;
  while (!result.stop.load()) {
    std::optional<std::vector<std::uint8_t>> copy;
    if (mode == "rf2") {
      copy = read_rf2(page, size);
    } else if (mode == "ams2") {
      copy = read_pcars2(page, size);
    } else if (mode == "lmu") {
      copy = read_lmu(page, size, lmu);
    } else {
      copy.emplace(size);
      std::memcpy(copy->data(), page.data(), size);
      std::this_thread::sleep_for(1ms);
    }
    if (!copy) continue;
    const std::uint32_t now = coding::decode_u32(copy->data() + counter);
    if (mode != "lmu" && now < last) ++result.went_back;
    last = now;
    if (mode != "r3e" && !stamps_agree(mode, *copy)) ++result.torn;
    ++result.accepted;
  }
}

TEST(NamedMemoryProtocols, AProtocolReaderSeesNoTornFrameFromTheStandinNorTheReplay) {
  if (programs_run_under_runner()) GTEST_SKIP() << "the readers open the names natively, in /dev/shm";
  E2eSandbox sandbox("named_memory_protocols");
  for (const std::string mode : {"rf2", "ams2", "r3e", "lmu"}) {
    SCOPED_TRACE(mode);
    std::vector<std::filesystem::path> recordings;
    {
      Watch live;
      std::thread reader(watch, sandbox.name_prefix(), mode, std::ref(live));
      recordings = record_standin_files(sandbox, {"--sim", mode, "--stamped-rows"}, 60, 2s, mode);
      live.stop.store(true);
      reader.join();
      EXPECT_GT(live.accepted.load(), 100) << "the reader kept up with the rewrites";
      EXPECT_EQ(live.torn.load(), 0);
      EXPECT_EQ(live.went_back.load(), 0);
    }
    ASSERT_FALSE(recordings.empty());
    // A loaded machine can hold every copy of the recorder over a rewrite
    // for a third of a second, so that it rightly takes the source for down
    // and starts a second file; then only the frames are judged, not their
    // number. The longest file is replayed.
    std::filesystem::path recording;
    std::size_t recorded_frames = 0;
    for (const std::filesystem::path& file : recordings) {
      const DumpContents recorded = read_dump(file);
      EXPECT_FALSE(recorded.frames.empty()) << file;
      if (recorded.frames.size() > recorded_frames) {
        recording = file;
        recorded_frames = recorded.frames.size();
      }
      // What the recorder copied by the protocol is no torn frame either.
      if (mode == "r3e") continue;
      const std::string name = mode == "rf2" ? "$rFactor2SMMP_Telemetry$" : mode == "lmu" ? "LMU_Data" : "$pcars2$";
      int torn = 0;
      for (const auto& payload : recorded.frames) {
        const auto objects = read_named_objects(payload);
        const NamedObjectView* object = find_named_object(objects, name);
        ASSERT_NE(object, nullptr);
        if (!stamps_agree(mode, std::vector<std::uint8_t>(object->bytes.begin(), object->bytes.end()))) ++torn;
      }
      EXPECT_EQ(torn, 0) << "of " << recorded.frames.size() << " frames recorded in " << file;
    }
    if (mode != "r3e" && recordings.size() == 1) {
      EXPECT_GE(recorded_frames, 90u);
    }
    // The replay at 60 fps, looping: still no torn frame, and the counters
    // keep rising across the restart.
    Watch replayed;
    std::thread reader(watch, sandbox.name_prefix(), mode, std::ref(replayed));
    auto replay = sandbox.start("emulator", {"--input-file", recording.string(), "--loop"}, mode + "_replay");
    EXPECT_TRUE(replay->wait_for_output("(loop 2)", 30s)) << replay->standard_output();
    std::this_thread::sleep_for(500ms);
    stop_with_interrupt(*replay, "emulator");
    replayed.stop.store(true);
    reader.join();
    EXPECT_GT(replayed.accepted.load(), 50);
    EXPECT_EQ(replayed.torn.load(), 0);
    EXPECT_EQ(replayed.went_back.load(), 0);
  }
  ::unsetenv("VOVE_NAME_PREFIX");
}

}  // namespace

}  // namespace vove
