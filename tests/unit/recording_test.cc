// The recorder's polling, and its cycle of one dump file per connection.
#include <gtest/gtest.h>

#include <cerrno>
#include <optional>
#include <system_error>

#include "common/explained_error.h"
#include "dumper/recording_cycle.h"
#include "dumper/recording_loops.h"
#include "formats/dump_file_name.h"
#include "unit/dump_test_support.h"
#include "unit/scripted_clock.h"

namespace vove {

namespace {

using namespace dump_test;
using namespace std::chrono_literals;

// A source that follows a script and logs every connect; a connect past the
// script requests a stop.
class ScriptedSource : public Source {
 public:
  ScriptedSource(std::string id, std::vector<std::string>& log, std::atomic<bool>& stop)
      : id_(std::move(id)), log_(log), stop_(stop) {}

  std::vector<bool> connects;  // false when used up
  std::vector<Bytes> frames;   // empty when used up

  bool connect(std::chrono::milliseconds timeout) override {
    log_.push_back(id_ + " connect(" + std::to_string(timeout.count()) + ")");
    if (next_connect_ == connects.size()) stop_ = true;
    return next_connect_ < connects.size() && connects[next_connect_++];
  }
  void disconnect() override {}
  FramePayload read_frame(std::chrono::milliseconds) override {
    return next_frame_ < frames.size() ? frames[next_frame_++] : FramePayload{};
  }
  SourceId source_id() const override { return make_source_id(id_); }

  // One connection: the frames, then the 21 empty reads that end it.
  void script_recording(const std::vector<Bytes>& recorded) {
    connects.push_back(true);
    frames.insert(frames.end(), recorded.begin(), recorded.end());
    frames.insert(frames.end(), 21, Bytes{});
  }

 private:
  std::string id_;
  std::vector<std::string>& log_;
  std::atomic<bool>& stop_;
  std::size_t next_connect_ = 0, next_frame_ = 0;
};

struct Recorder : ::testing::Test {
  TempDirectory directory;
  std::vector<std::string> calls;
  std::atomic<bool> stop_flag{false};
  std::shared_ptr<ScriptedSource> iracing = std::make_shared<ScriptedSource>("irac", calls, stop_flag);
  std::ostringstream console;
  std::ostringstream diagnostics;

  // Runs the cycle on the iRacing source until its script is used up; the
  // message of the error it ended with, if any.
  std::string cycle(std::function<std::unique_ptr<std::filebuf>()> make_file_buffer = [] {
    return std::make_unique<std::filebuf>();
  }) {
    stop_flag = false;
    console.str("");
    explanation.clear();
    diagnostics.str("");
    try {
      run_recording_cycle(StopSignal::watching(stop_flag), RecordingSettings{5, std::chrono::duration<double>(0.0), {}},
                          {{iracing},
                           stepping_clock(1'000'000),
                           [](std::chrono::milliseconds) {},
                           [] { return std::chrono::system_clock::time_point{1710511629750ms}; },
                           directory.path(),
                           std::move(make_file_buffer),
                           &console,
                           &diagnostics});
    } catch (const std::ios_base::failure& error) {
      if (const auto* explained = dynamic_cast<const ErrorExplanation*>(&error)) explanation = explained->explanation();
      return error.what();
    }
    return "";
  }
  std::string explanation;  // the line under the error the last cycle ended with
  // The dump file of 2024-03-15 14:07:09.750 UTC.
  std::string path(const std::string& suffix = "") const {
    return (directory.path() / ("vove_dump_2024-03-15-14-07-09" + suffix + ".bin")).string();
  }
};

TEST_F(Recorder, SourcesArePolledInOrderAndTheFirstToConnectWins) {
  const auto acc = std::make_shared<ScriptedSource>("accz", calls, stop_flag);
  const SourceList sources{iracing, acc};
  std::shared_ptr<Source> active;
  const auto wait = [&] {
    return wait_for_connection(
        StopSignal::watching(stop_flag), WaitContext{&sources, &active}, 1.0, stepping_clock(1'000'000),
        [](std::chrono::milliseconds) {}, console);
  };
  iracing->connects = {false, false, true};
  acc->connects = {false, true, true};
  EXPECT_TRUE(wait());
  EXPECT_EQ(active, acc);
  calls.clear();
  EXPECT_TRUE(wait());
  EXPECT_EQ(calls, std::vector<std::string>{"irac connect(1000)"});
  EXPECT_EQ(active, iracing);
  EXPECT_EQ(console.str(), "Connected to accz\nConnected to irac\n");
}

// Twenty empty reads, a frame that starts the count again, then 21 more;
// a second connection gets a new file and an earlier file is never overwritten.
TEST_F(Recorder, TheTwentyFirstEmptyReadInARowEndsTheConnectionAndItsFile) {
  std::ofstream(path(), std::ios::binary) << "an earlier recording";
  iracing->frames.assign(20, Bytes{});
  iracing->script_recording({{1, 2, 3}, noise(500)});
  iracing->script_recording({{4}});
  EXPECT_EQ(cycle(), "");
  const auto recording = [](const std::string& name) {
    return "Waiting for the connection\nConnected to irac\nDump will be saved to " + name +
           "\nSaver started\nSource is down, disconnecting\n";
  };
  EXPECT_EQ(console.str(), recording(path("_1")) + recording(path("_2")) + "Waiting for the connection\n");
  EXPECT_EQ(contents(path()), "an earlier recording");
  EXPECT_EQ(frames_of(path("_1")), (std::vector<Bytes>{{1, 2, 3}, noise(500)}));
  EXPECT_EQ(frames_of(path("_2")), std::vector<Bytes>{{4}});
  EXPECT_EQ(iracing.use_count(), 1) << "the cycle released its sources";
}

// The repeats are counted on the diagnostics stream once the file is
// closed, and only for a recording that has any; the console's transcript
// does not change.
TEST_F(Recorder, RepeatedFramesAreCountedOnlyWhenThereAreAny) {
  iracing->script_recording({{1}, {}, {2}, {}, {}, {3}});
  iracing->script_recording({{4}, {5}});
  iracing->script_recording({{6}, {}, {7}});
  EXPECT_EQ(cycle(), "");
  EXPECT_EQ(frames_of(path()), (std::vector<Bytes>{{1}, {1}, {2}, {2}, {2}, {3}}));
  EXPECT_EQ(frames_of(path("_1")), (std::vector<Bytes>{{4}, {5}}));
  EXPECT_EQ(frames_of(path("_2")), (std::vector<Bytes>{{6}, {6}, {7}}));
  const std::string why =
      " the frame before, for moments when the source had nothing new or the recorder was held up\n";
  EXPECT_EQ(diagnostics.str(), "3 of 6 frames repeat" + why + "1 of 3 frames repeats" + why);
  EXPECT_EQ(console.str().find("repeat"), std::string::npos);
}

TEST_F(Recorder, FileErrorsNameTheFileAndKeepTheCompleteRecords) {
  // Room for the header and the first record, not for the second.
  iracing->script_recording({Bytes(100, 7), noise(1000), {3}});
  EXPECT_EQ(cycle([] { return std::make_unique<RunsOutOfRoom<std::filebuf>>(300); }),
            "Failed to write the file " + path() + ": iostream stream error");
  EXPECT_EQ(explanation, "Reason: " + std::generic_category().message(ENOSPC) + " (file " + path() + ")");
  EXPECT_LT(std::filesystem::file_size(path()), 300u) << "the partial record was cut off";
  EXPECT_EQ(frames_of(path()), std::vector<Bytes>{Bytes(100, 7)});

  // Not even the header fits: no empty, unreadable file is left behind.
  iracing->script_recording({{1}});
  EXPECT_EQ(cycle([] { return std::make_unique<RunsOutOfRoom<std::filebuf>>(40); }),
            "Failed to write the file " + path("_1") + ": iostream stream error");
  EXPECT_EQ(explanation, "Reason: " + std::generic_category().message(ENOSPC) + " (file " + path("_1") + ")");
  EXPECT_FALSE(std::filesystem::exists(path("_1")));
}

// record_frames on a clock that moves only by the reads and the sleeps; the
// source follows a script and requests a stop once it is used up.
struct PacedRecording : ::testing::Test {
  struct Read {
    Bytes frame;                          // empty: nothing new
    std::int64_t takes = 0;               // nanoseconds the read keeps the caller
    std::optional<std::uint64_t> mark{};  // the source's publication mark after a frame
  };
  class PacedSource : public Source {
   public:
    explicit PacedSource(PacedRecording& test) : test_(test) {}
    bool connect(std::chrono::milliseconds) override { return true; }
    void disconnect() override { ++test_.disconnects; }
    void disconnect_idle() override { ++test_.idle_disconnects; }
    std::optional<std::uint64_t> publication_mark() const override { return test_.mark; }
    FramePayload read_frame(std::chrono::milliseconds) override {
      test_.reads.push_back(test_.now - test_.start);
      if (test_.next_read == test_.script.size()) {
        test_.stop_flag = true;
        return {};
      }
      const Read& read = test_.script[test_.next_read++];
      test_.now += read.takes;
      if (!read.frame.empty()) test_.mark = read.mark;
      return read.frame;
    }
    SourceId source_id() const override { return make_source_id("irac"); }
    // A frame that starts with `carried` carries a part only when it
    // changed; its repeats go without that byte.
    FramePayload repeat_of(const FramePayload& last) const override {
      if (last.empty() || last.front() != carried) return {};
      return FramePayload(last.begin() + 1, last.end());
    }
    static constexpr std::uint8_t carried = 0xee;

   private:
    PacedRecording& test_;
  };

  const std::int64_t start = 7'000 * ms;
  std::int64_t now = start;
  std::vector<Read> script;
  std::size_t next_read = 0;
  std::vector<std::int64_t> reads;  // when each read began, from the start
  std::vector<std::int32_t> sleeps;
  std::int64_t overshoot = 0;  // added to the next sleep, once
  int disconnects = 0;
  int idle_disconnects = 0;
  std::optional<std::uint64_t> mark;  // of the frame read last
  std::chrono::duration<double> idle_end{};
  std::atomic<bool> stop_flag{false};
  std::ostringstream console;
  std::shared_ptr<Source> source = std::make_shared<PacedSource>(*this);
  std::int32_t empty_reads = 0;

  // Records at `fps` into `out`; record_frames' result.
  bool run(std::int32_t fps, std::ostream& out, std::unique_ptr<DumpWriter>& writer) {
    writer = std::make_unique<DumpWriter>(out, static_cast<std::uint32_t>(fps), make_source_id("irac"));
    const RecordContext context{&source, writer.get(), &empty_reads, fps, idle_end};
    return record_frames(
        StopSignal::watching(stop_flag), context, static_cast<double>(fps), scripted_clock::reading(now),
        [this](std::chrono::milliseconds asked) {
          sleeps.push_back(static_cast<std::int32_t>(asked.count()));
          now += asked.count() * ms + std::exchange(overshoot, 0);
        },
        console);
  }
  // The dump `run` writes, with the writer's counts.
  struct Result {
    bool source_down;
    std::string bytes;
    std::uint64_t records, repeats;
  };
  Result run(std::int32_t fps) {
    std::ostringstream out;
    std::unique_ptr<DumpWriter> writer;
    const bool down = run(fps, out, writer);
    return {down, out.str(), writer->records(), writer->repeated_records()};
  }
};

// Deadlines at 60 fps fall on fractions of a millisecond: the sleeps carry
// the fraction, so each read starts within half a millisecond of
// start + k x period.
TEST_F(PacedRecording, ReadsKeepToAbsoluteDeadlines) {
  script.assign(6, Read{{1}, 0});
  EXPECT_FALSE(run(60).source_down);
  EXPECT_EQ(sleeps, (std::vector<std::int32_t>{17, 16, 17, 17, 16, 17, 17}));
  ASSERT_EQ(reads.size(), 7u);
  for (std::size_t k = 0; k < reads.size(); ++k)
    EXPECT_NEAR(static_cast<double>(reads[k]), static_cast<double>(k) * 16'666'667.0, ms / 2) << k;
}

// A late wake-up and a slow read are made up at the next deadline instead
// of pushing all later ones back.
TEST_F(PacedRecording, ALateWakeUpOrASlowReadIsMadeUp) {
  script = {{{1}, 0}, {{2}, 0}, {{3}, 5 * ms}, {{4}, 0}, {{5}, 0}};
  overshoot = 3 * ms;  // the first sleep wakes 3 ms late
  const Result result = run(10);
  EXPECT_EQ(sleeps, (std::vector<std::int32_t>{100, 97, 95, 100, 100, 100}));
  EXPECT_EQ(reads, (std::vector<std::int64_t>{0, 103 * ms, 200 * ms, 300 * ms, 400 * ms, 500 * ms}));
  EXPECT_EQ(result.repeats, 0u);
}

// Every deadline gets one record: a read without new data repeats the
// newest frame, except before the first one; the repeats are the same
// bytes as a fresh record of that frame.
TEST_F(PacedRecording, AReadWithoutNewDataRepeatsTheNewestFrame) {
  script = {{{}, 0}, {{}, 0}, {{1, 2}, 0}, {{}, 0}, {{}, 0}, {noise(300), 0}, {{}, 0}, {{3}, 0}};
  const Result result = run(30);
  EXPECT_EQ(result.bytes, header(30) + record({1, 2}) + record({1, 2}) + record({1, 2}) + record(noise(300)) +
                              record(noise(300)) + record({3}));
  EXPECT_EQ(result.records, 6u);
  EXPECT_EQ(result.repeats, 3u);
  EXPECT_EQ(empty_reads, 1) << "the read that found the script used up";
}

// A frame carrying a part that it carries only when it changed is repeated
// without it: compressed once, then the same record for every deadline.
TEST_F(PacedRecording, ARepeatLeavesOutWhatAFrameCarriesOnlyWhenItChanged) {
  script = {{{PacedSource::carried, 1}, 0}, {{}, 0}, {{}, 0}, {{PacedSource::carried, 2}, 0}, {{}, 0}, {{3}, 0}};
  const Result result = run(30);
  EXPECT_EQ(result.bytes, header(30) + record({PacedSource::carried, 1}) + record({1}) + record({1}) +
                              record({PacedSource::carried, 2}) + record({2}) + record({3}));
  EXPECT_EQ(result.repeats, 3u);
}

// A process held up past deadlines (here in its sleep, then in a read)
// repeats the frame for each one that went by, then reads once for the
// deadline at hand: no burst of reads, and the deadlines stay where they were.
TEST_F(PacedRecording, DeadlinesThatWentByAreRepeatedAndNotReadInABurst) {
  script = {{{1}, 0}, {{2}, 0}, {{3}, 260 * ms}, {{4}, 0}};
  overshoot = 350 * ms;  // woken at 450 ms instead of 100
  const Result result = run(10);
  // Deadlines 0 to 300 show frame 1, 400 frame 2 (read at 450), 500 frame 3
  // (read until 760), 600 frame 3 again, 700 frame 4 (read at 760).
  EXPECT_EQ(reads, (std::vector<std::int64_t>{0, 450 * ms, 500 * ms, 760 * ms, 800 * ms}));
  EXPECT_EQ(result.bytes, header(10) + record({1}) + record({1}) + record({1}) + record({1}) + record({2}) +
                              record({3}) + record({3}) + record({4}));
  EXPECT_EQ(result.repeats, 4u);
}

// A stall of an hour at 60 fps owes 216,000 repeats; they are written, and
// a stop requested while they are written is honoured within one record.
TEST_F(PacedRecording, AnHourLongStallIsRepeatedAndAStopCutsItShort) {
  script = {{{1}, 0}, {{2}, 0}};
  overshoot = 3'600'000 * ms;
  Result result = run(60);
  EXPECT_EQ(result.records, 216'002u);
  EXPECT_EQ(result.repeats, 216'000u);

  // The stop comes with the 1000th record's write.
  struct StopsAfter : std::stringbuf {
    std::atomic<bool>& stop;
    int writes = 0;
    explicit StopsAfter(std::atomic<bool>& flag) : stop(flag) {}
    std::streamsize xsputn(const char* bytes, std::streamsize count) override {
      if (++writes == 1001) stop = true;  // the header is the first write
      return std::stringbuf::xsputn(bytes, count);
    }
  } buffer(stop_flag);
  std::ostream out(&buffer);
  std::unique_ptr<DumpWriter> writer;
  next_read = 0;
  now = start;
  stop_flag = false;
  overshoot = 3'600'000 * ms;
  EXPECT_FALSE(run(60, out, writer));
  EXPECT_EQ(writer->records(), 1000u);
}

// The 21st empty read in a row ends the recording, and the repeats held
// for those reads are not kept: the file ends on the last new frame. One
// new frame after 20 empty reads keeps them all.
TEST_F(PacedRecording, RepeatsBeforeTheSourceWentDownAreNotKept) {
  script = {{{1}, 0}};
  script.insert(script.end(), 20, Read{});
  script.push_back({{2}, 0});
  script.insert(script.end(), 21, Read{});
  const Result result = run(60);
  EXPECT_TRUE(result.source_down);
  EXPECT_EQ(console.str(), "Source is down, disconnecting\n");
  EXPECT_EQ(disconnects, 1);
  std::string expected = header(60);
  for (int i = 0; i < 21; ++i) expected += record({1});
  EXPECT_EQ(result.bytes, expected + record({2}));
  EXPECT_EQ(result.repeats, 20u);
}

// With an idle end, a source whose frames keep coming while its mark stands
// still (ACC's pages, copied whatever they hold) counts as down once the
// mark has stood for that long, and is released as idle. Without one, the
// same source is recorded to the end.
TEST_F(PacedRecording, AnIdleEndEndsARecordingWhoseMarkStandsStill) {
  for (std::uint64_t i = 1; i <= 5; ++i) script.push_back({{static_cast<std::uint8_t>(i)}, 0, i});
  script.insert(script.end(), 30, Read{{9}, 0, 5});
  idle_end = std::chrono::duration<double>(1.0);
  Result result = run(10);
  EXPECT_TRUE(result.source_down);
  EXPECT_EQ(console.str(), "Source is down, disconnecting\n");
  EXPECT_EQ(idle_disconnects, 1);
  EXPECT_EQ(disconnects, 0);
  // The mark last moved with the fifth frame, at 400 ms; the frame at 1400 ms ends it.
  EXPECT_EQ(result.records, 15u);

  next_read = 0;
  now = start;
  console.str("");
  idle_end = std::chrono::duration<double>(0.0);
  result = run(10);
  EXPECT_FALSE(result.source_down);
  EXPECT_EQ(result.records, 35u);
  EXPECT_EQ(idle_disconnects, 1);
}

// Frames whose mark keeps moving are never idle, however long the idle end
// is compared with the gaps; empty reads count as standing still, and end
// the recording before the 21st, with the repeats they held dropped.
TEST_F(PacedRecording, AnIdleEndCountsEmptyReadsAsNothingNew) {
  script = {{{1}, 0, 1}, {{2}, 0, 2}, {{3}, 0, 3}};
  script.insert(script.end(), 20, Read{});
  idle_end = std::chrono::duration<double>(0.5);
  const Result result = run(10);
  EXPECT_TRUE(result.source_down);
  EXPECT_EQ(idle_disconnects, 1);
  EXPECT_EQ(next_read, 8u) << "the fifth empty read, 500 ms after the last frame, ends it";
  EXPECT_EQ(result.bytes, header(10) + record({1}) + record({2}) + record({3}));
}

}  // namespace

// Every field of a file's time stamp is zero-padded, so names sort by time.
TEST(DumpFileName, TimeStampIsUtcZeroPaddedToTheSecond) {
  using namespace std::chrono;
  EXPECT_EQ(utc_time_stamp(sys_days{2024y / 3 / 5} + 4h + 7min + 9s + 999ms), "2024-03-05-04-07-09");
  EXPECT_EQ(utc_time_stamp(sys_days{2026y / 12 / 31} + 23h + 59min + 58s), "2026-12-31-23-59-58");
}

// A name `dumper` makes reads back as the second it was made in, for every
// attempt, so a recording's start survives in its name.
TEST(DumpFileName, NamesMadeReadBackAsTheirSecond) {
  using namespace std::chrono;
  const auto start = sys_days{2025y / 2 / 28} + 23h + 5min + 1s;
  EXPECT_EQ(dump_file_name(utc_time_stamp(start + 400ms), 0), "vove_dump_2025-02-28-23-05-01.bin");
  EXPECT_EQ(dump_file_name(utc_time_stamp(start), 12), "vove_dump_2025-02-28-23-05-01_12.bin");
  for (int attempt : {0, 1, max_dump_names_per_stamp - 1}) {
    EXPECT_EQ(recording_start_from_file_name(dump_file_name(utc_time_stamp(start), attempt)), start);
  }
}

}  // namespace vove
