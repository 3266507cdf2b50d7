// The replay as its clients see it (session text, the connected bit, the
// data-valid event, ticks across loops, ranges) and under the user's
// control (options, keys through a real pseudo-terminal). A client program,
// iracing_probe, watches the shared memory, natively or under Wine.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <sstream>
#include <thread>

#include "common/platform/platform.h"
#include "e2e_support.h"
#include "formats/iracing_layout.h"
#include "formats/iracing_snapshot.h"

namespace vove {

using namespace std::chrono_literals;

namespace {

constexpr std::size_t row_length = 512;
constexpr std::int32_t session_area_offset = 4096;
constexpr std::int32_t session_area_length = 16384;

std::vector<std::uint8_t> row_of(std::int32_t tick) {
  std::vector<std::uint8_t> row(row_length);
  for (std::size_t i = 0; i < row.size(); ++i) row[i] = static_cast<std::uint8_t>(tick * 7 + static_cast<int>(i / 3));
  return row;
}

// The probe's fingerprint of a row (FNV-1a).
std::uint32_t row_hash(const std::vector<std::uint8_t>& row) {
  std::uint32_t hash = 2166136261u;
  for (const std::uint8_t byte : row) hash = (hash ^ byte) * 16777619u;
  return hash;
}

// Frames as a simulator with three rotating slots publishes them: frame f
// has tick f + 1 in slot f % 3; `texts` maps a frame to the session text it
// carries (session_info_update counts the texts).
std::vector<std::vector<std::uint8_t>> rotating_frames(int count, const std::map<int, std::string>& texts) {
  iracing::MemoryHeader header;
  header.version = 2;
  header.status = iracing::status_connected;
  header.tick_rate = 60;
  header.session_info_length = session_area_length;
  header.session_info_offset = session_area_offset;
  header.variable_header_offset = 2048;
  header.buffer_count = 3;
  header.buffer_length = static_cast<std::int32_t>(row_length);
  for (int i = 0; i < 4; ++i) header.buffer_slots[static_cast<std::size_t>(i)].buffer_offset = 65536 * (i + 1);
  std::vector<std::vector<std::uint8_t>> frames;
  for (int frame = 0; frame < count; ++frame) {
    header.buffer_slots[static_cast<std::size_t>(frame % 3)].tick_count = frame + 1;
    const auto text = texts.find(frame);
    if (text != texts.end()) ++header.session_info_update;
    frames.push_back(iracing::serialise_snapshot(
        {header, {}, text != texts.end() ? text->second : std::string(), row_of(frame + 1)}));
  }
  return frames;
}

// What the probe printed, by kind.
struct ProbeReport {
  struct Frame {
    std::int32_t tick = 0;
    std::int32_t update = 0;
    std::vector<std::pair<std::int32_t, std::uint32_t>> slots;  // tick, row hash
  };
  std::vector<Frame> frames;
  std::vector<std::pair<std::int32_t, std::size_t>> texts;  // update, length
  std::map<std::string, std::string> totals;                // end, frames, wakes, status, rate
};

ProbeReport parse_probe(const std::string& output) {
  ProbeReport report;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string kind;
    words >> kind;
    if (kind == "frame") {
      ProbeReport::Frame frame;
      std::string word, slots;
      words >> frame.tick >> word >> frame.update >> word >> word >> word >> slots;
      std::istringstream list(slots);
      for (std::string slot; std::getline(list, slot, ',');) {
        const auto colon = slot.find(':');
        frame.slots.emplace_back(std::stoi(slot.substr(0, colon)),
                                 static_cast<std::uint32_t>(std::stoul(slot.substr(colon + 1))));
      }
      report.frames.push_back(frame);
    } else if (kind == "text") {
      std::int32_t update = 0;
      std::size_t length = 0;
      words >> update >> length;
      report.texts.emplace_back(update, length);
    } else if (kind != "attached") {
      std::string value;
      words >> value;
      report.totals[kind] = value;
    }
  }
  return report;
}

// Starts the probe and waits until it runs, so it is there before the replay.
std::unique_ptr<ChildProcess> start_probe(const E2eSandbox& sandbox, std::vector<std::string> arguments) {
  arguments.insert(arguments.end(), {"--attach-seconds", "60", "--idle-seconds", "5"});
  return sandbox.start("iracing_probe", arguments, "probe");
}

ProbeReport finish_probe(ChildProcess& probe) {
  const auto status = probe.wait_for_exit(60s);
  EXPECT_TRUE(status && status->exited && status->code == 0) << probe.standard_output();
  return parse_probe(probe.standard_output());
}

}  // namespace

// A client that searches the whole declared session-text area finds only
// the newest text, and a client still holding the mapping sees the
// simulator stop when the replay ends.
TEST(ReplayFidelity, ClientsFindNoOlderTextAndSeeTheEnd) {
  E2eSandbox sandbox("replay_text");
  std::string long_text;
  for (int section = 0; long_text.size() < 9000; ++section)
    long_text += "Section" + std::to_string(section) + ":\n value: x\n";
  const std::string short_text = "Section0:\n value: y\n";
  write_dump(sandbox.directory() / "texts.bin", 20, iracing_id, rotating_frames(12, {{0, long_text}, {6, short_text}}));

  auto probe = start_probe(sandbox, {"--area-file", "area.bin"});
  const RunResult replay = run_to_end(sandbox, "emulator", {"--input-file", "texts.bin"}, "replay");
  EXPECT_EQ(replay.output, replay_start_lines("irac", 20) + "Emulator reached end of file\n" + emulator_closing_lines);
  const ProbeReport report = finish_probe(*probe);
  EXPECT_EQ(report.totals.at("end"), "cleared");
  EXPECT_EQ(report.totals.at("status"), "0");
  ASSERT_FALSE(report.frames.empty());
  EXPECT_EQ(report.frames.back().tick, 12);

  const std::string area = read_file(sandbox.directory() / "area.bin");
  ASSERT_EQ(area.size(), static_cast<std::size_t>(session_area_length));
  EXPECT_EQ(area.substr(0, short_text.size()), short_text);
  EXPECT_EQ(area.find_first_not_of('\0', short_text.size()), std::string::npos);
  EXPECT_EQ(area.find("Section1:"), std::string::npos);
}

// Every client waiting on the data-valid event is woken for every frame,
// however many wait at once (people run several overlays), each waiting as
// the simulator's own client does: on the event, then a look at the tick.
TEST(ReplayFidelity, EveryWaitingClientWakesForEveryFrame) {
  E2eSandbox sandbox("replay_event");
  // Long enough for probes that start slowly (five at once under Wine) to
  // see most of it.
  const int frames = programs_run_under_runner() ? 300 : 150;
  write_dump(sandbox.directory() / "frames.bin", 30, iracing_id, rotating_frames(frames, {{0, "text"}}));
  for (const int clients : {2, 5}) {
    SCOPED_TRACE(std::to_string(clients) + " waiting clients");
    std::vector<std::unique_ptr<ChildProcess>> probes;
    for (int c = 0; c < clients; ++c) {
      probes.push_back(sandbox.start("iracing_probe", {"--wait-event", "--attach-seconds", "60", "--idle-seconds", "5"},
                                     "probe" + std::to_string(clients) + "_" + std::to_string(c)));
    }
    const RunResult replay = run_to_end(sandbox, "emulator", {"--input-file", "frames.bin"}, "replay");
    EXPECT_EQ(replay.status.code, 0);
    for (int c = 0; c < clients; ++c) {
      const ProbeReport report = finish_probe(*probes[static_cast<std::size_t>(c)]);
      ASSERT_GE(report.frames.size(), static_cast<std::size_t>(frames / 2)) << "client " << c << " attached late";
      EXPECT_EQ(report.frames.back().tick, frames) << "client " << c;
      // Every frame from the first one the client saw, that one included.
      // A semaphore cannot say how many wait, so on a loaded machine a
      // client that gets no processor for a few milliseconds misses a wake;
      // one post per frame gave each of two clients about half.
      const int frames_since_attach = report.frames.back().tick - report.frames.front().tick + 1;
      const int percent = programs_run_under_runner() ? 95 : 85;
      EXPECT_GE(std::stoi(report.totals.at("woken")), frames_since_attach * percent / 100)
          << "client " << c << " of " << clients << ": " << report.totals.at("woken") << " of " << frames_since_attach
          << " frames found on a wake";
    }
  }
}

// Looping, as a recorder sees it: ticks keep rising across two restarts,
// and each restart announces the session text again.
TEST(ReplayControl, ALoopedReplayKeepsTimeGoingOnForARecorder) {
  E2eSandbox sandbox("replay_loop");
  write_dump(sandbox.directory() / "loop.bin", 20, iracing_id,
             rotating_frames(15, {{0, "first text\n"}, {8, "second\n"}}));
  auto dumper = sandbox.start("dumper", {"--fps", "20"}, "rerecord", "replay");
  ASSERT_TRUE(dumper->wait_for_output("Waiting for the connection\n", 30s));
  auto emulator = sandbox.start("emulator", {"--input-file", "loop.bin", "--loop"}, "emulator");
  ASSERT_TRUE(dumper->wait_for_output("Connected to irac\n", 60s)) << dumper->standard_output();
  // Two restarts more than the emulator has announced by now, so the
  // recorder sees at least two.
  const auto restart_line = [](std::size_t loop) {
    return "Emulator restarted from the first frame (loop " + std::to_string(loop) + ")\n";
  };
  std::size_t loops_seen = 1;
  while (emulator->standard_output().find(restart_line(loops_seen + 1)) != std::string::npos) ++loops_seen;
  ASSERT_TRUE(emulator->wait_for_output(restart_line(loops_seen + 3), 60s)) << emulator->standard_output();
  std::this_thread::sleep_for(300ms);
  stop_with_interrupt(*emulator, "emulator");
  const std::string output = emulator->standard_output();
  EXPECT_EQ(output.find("Emulator reached end of file"), std::string::npos);
  EXPECT_NE(output.find("Emulator started\n" + restart_line(2) + restart_line(3)), std::string::npos) << output;
  ASSERT_TRUE(dumper->wait_for_output("Source is down, disconnecting\n", 60s)) << dumper->standard_output();
  stop_with_interrupt(*dumper, "dumper");

  const auto files = sandbox.dump_files("replay");
  ASSERT_EQ(files.size(), 1u);
  std::int32_t previous_tick = 0;
  std::int32_t previous_update = 0;
  iracing::MemoryHeader previous;
  std::vector<std::string> texts;
  for (const auto& [tick, frame] : iracing_frames(read_dump(files.front()))) {
    for (std::size_t slot = 0; slot < 3; ++slot) {
      EXPECT_GE(frame.header.buffer_slots[slot].tick_count, previous.buffer_slots[slot].tick_count) << slot;
    }
    EXPECT_GE(tick, previous_tick) << "a tick repeats only right after itself";
    EXPECT_GE(frame.header.session_info_update, previous_update);
    const bool repeat = tick == previous_tick;
    previous_tick = tick;
    previous_update = frame.header.session_info_update;
    previous = frame.header;
    if (!frame.session_info.empty() && !repeat) texts.push_back(frame.session_info);
  }
  // The two texts take turns, and each restart announces the first again.
  ASSERT_GE(texts.size(), 4u);
  for (std::size_t i = 1; i < texts.size(); ++i) EXPECT_NE(texts[i], texts[i - 1]) << i;
  EXPECT_GE(std::count(texts.begin() + 1, texts.end(), "first text\n"), 2);
}

// --from/--to: exactly the frames of the range, the first one a complete
// image (every slot holds the row of its last frame before the range; the
// text in force is there), at a quarter speed, so the probe has time to see
// the first frame.
TEST(ReplayControl, ARangeGivesExactlyItsFramesAndACompleteFirstImage) {
  E2eSandbox sandbox("replay_range");
  const std::string in_force = "text from frame 15\n";
  write_dump(sandbox.directory() / "range.bin", 10, iracing_id,
             rotating_frames(40, {{0, "text from frame 0\n"}, {15, in_force}, {25, "text from frame 25\n"}}));
  auto probe = start_probe(sandbox, {});
  const RunResult replay = run_to_end(
      sandbox, "emulator", {"--input-file", "range.bin", "--from", "2", "--to", "2.95", "--speed", "0.25"}, "replay");
  EXPECT_EQ(replay.status.code, 0);
  EXPECT_NE(replay.output.find("Emulator started\nEmulator reached the end of the range\nFrames written late: "),
            std::string::npos)
      << replay.output;
  const ProbeReport report = finish_probe(*probe);

  // Frames 20 to 29: ticks 21 to 30.
  std::vector<std::int32_t> ticks;
  for (const auto& frame : report.frames) ticks.push_back(frame.tick);
  std::vector<std::int32_t> expected(10);
  for (int i = 0; i < 10; ++i) expected[static_cast<std::size_t>(i)] = 21 + i;
  EXPECT_EQ(ticks, expected);
  ASSERT_FALSE(report.frames.empty());
  const auto& first = report.frames.front();
  ASSERT_EQ(first.slots.size(), 3u);
  for (const auto& [tick, hash] : first.slots) EXPECT_EQ(hash, row_hash(row_of(tick))) << "slot with tick " << tick;
  ASSERT_FALSE(report.texts.empty());
  EXPECT_EQ(report.texts.front(), std::make_pair(std::int32_t{2}, in_force.size()));
}

TEST(ReplayControl, RejectedChoicesEndWithOneLineNamingTheOption) {
  E2eSandbox sandbox("replay_rejected");
  write_dump(sandbox.directory() / "ten.bin", 10, iracing_id, rotating_frames(100, {{0, "text"}}));
  const struct {
    std::vector<std::string> arguments;
    std::string error;
  } cases[] = {
      {{"--speed", "-1"}, "Error: the option '--speed' must lie between 0.1 and 16, not -1\n"},
      {{"--speed", "fast"}, "Error: the argument ('fast') for option '--speed' is invalid\n"},
      {{"--from", "5", "--to", "4"}, "Error: the option '--to' must be greater than '--from', not 4\n"},
      {{"--to", "11"},
       "Error: the option '--to' lies beyond the end of the recording (the recording holds 10 seconds)\n"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> arguments{"--input-file", "ten.bin"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    const RunResult result = run_to_end(sandbox, "emulator", arguments, "rejected");
    EXPECT_EQ(result.status.code, 1) << c.error;
    EXPECT_EQ(result.output, "");
    EXPECT_EQ(result.error, c.error);
  }
  EXPECT_TRUE(shared_memory_names(sandbox.name_prefix()).empty());
}

namespace {

// The emulator on a pseudo-terminal: its input, output and error all are
// the terminal, as when a user runs it.
class TerminalSession {
 public:
  TerminalSession(const E2eSandbox& sandbox, const std::vector<std::string>& arguments) {
    std::vector<std::string> argv{program_path("emulator")};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> pointers;
    for (auto& argument : argv) pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    const std::string directory = sandbox.directory().string();
    pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
    if (pid_ == 0) {
      if (chdir(directory.c_str()) != 0) _exit(127);
      signal(SIGINT, SIG_DFL);
      execv(pointers[0], pointers.data());
      _exit(127);
    }
    if (pid_ < 0) throw std::runtime_error("forkpty failed");
    fcntl(master_, F_SETFL, O_NONBLOCK);
  }
  ~TerminalSession() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    close(master_);
  }

  void type(const std::string& keys) {
    ASSERT_EQ(write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }
  // Everything the terminal showed so far.
  const std::string& screen() {
    char buffer[4096];
    for (ssize_t got; (got = read(master_, buffer, sizeof buffer)) > 0;)
      screen_.append(buffer, static_cast<std::size_t>(got));
    return screen_;
  }
  bool shows(const std::string& text, std::chrono::milliseconds limit, std::size_t after = 0) {
    for (const auto until = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < until;) {
      if (screen().find(text, after) != std::string::npos) return true;
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }
  std::optional<int> exit_code(std::chrono::milliseconds limit) {
    for (const auto until = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < until;) {
      screen();
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(10ms);
    }
    return std::nullopt;
  }
  int master() const { return master_; }

 private:
  int master_ = -1;
  pid_t pid_ = -1;
  std::string screen_;
};

// The newest tick the replay has published.
std::int32_t published_tick(const platform::MappedView& view) {
  iracing::MemoryHeaderBytes bytes{};
  std::memcpy(bytes.data(), view.data(), bytes.size());
  return newest_tick(iracing::decode_memory_header(bytes));
}

}  // namespace

TEST(ReplayControl, KeysOnARealTerminalPauseStepAndQuit) {
  if (programs_run_under_runner()) GTEST_SKIP() << "a POSIX pseudo-terminal drives the native program";
  E2eSandbox sandbox("replay_terminal");
  write_dump(sandbox.directory() / "keys.bin", 10, iracing_id, rotating_frames(300, {{0, "text"}}));
  TerminalSession session(sandbox, {"--input-file", "keys.bin"});
  ASSERT_TRUE(session.shows("Emulator started", 30s)) << session.screen();
  const auto memory = platform::SharedMemory::open_existing(iracing::memory_map_name, platform::Access::read);
  const auto view = memory.map(platform::Access::read, 0);
  ASSERT_TRUE(view);
  for (const auto until = std::chrono::steady_clock::now() + 10s; published_tick(view) < 3;) {
    ASSERT_LT(std::chrono::steady_clock::now(), until) << session.screen();
    std::this_thread::sleep_for(10ms);
  }
  // The terminal as the program has set it, seen from its own side.
  const int terminal = open(ptsname(session.master()), O_RDWR | O_NOCTTY);
  ASSERT_GE(terminal, 0);
  termios mode{};
  ASSERT_EQ(tcgetattr(terminal, &mode), 0);
  EXPECT_FALSE(mode.c_lflag & (ICANON | ECHO)) << "single keys without echo";

  session.type(" ");
  ASSERT_TRUE(session.shows("paused", 5s)) << session.screen();
  const std::int32_t paused_at = published_tick(view);
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(published_tick(view), paused_at) << "the ticks went on while paused";

  session.type(".");
  ASSERT_TRUE(session.shows("frame " + std::to_string(paused_at + 1) + " / 300  speed 1x  loop 1  paused", 5s));
  EXPECT_EQ(published_tick(view), paused_at + 1);
  session.type("\x1b[C");
  ASSERT_TRUE(session.shows("frame " + std::to_string(paused_at + 2) + " / 300  speed 1x  loop 1  paused", 5s));
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(published_tick(view), paused_at + 2);

  session.type("+ ");
  ASSERT_TRUE(session.shows("speed 2x", 5s)) << session.screen();
  std::this_thread::sleep_for(500ms);
  EXPECT_GT(published_tick(view), paused_at + 4);

  session.type("q");
  EXPECT_EQ(session.exit_code(30s), 0);
  EXPECT_TRUE(session.shows(
      "Key q pressed. Stopping the job.\r\nEmulator thread stopped.\r\nYou can now close this window.", 5s))
      << session.screen();
  // The terminal is back in line mode with echo.
  ASSERT_EQ(tcgetattr(terminal, &mode), 0);
  EXPECT_TRUE((mode.c_lflag & ICANON) && (mode.c_lflag & ECHO));
  close(terminal);
}

}  // namespace vove
