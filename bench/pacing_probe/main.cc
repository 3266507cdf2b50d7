// pacing_probe: watches the replay and the recorder from outside, as a
// telemetry consumer would, and reports how evenly frames arrive and what
// the pacing costs in processor time.
//
//   pacing_probe [--seconds S] [--poll-us N] [--replay-rates 60,30,10]
//                [--record-rates 60] [--no-deadline-sleeper] [--speed X]
//
// For each replay rate it writes an iRacing dump of S seconds, replays it
// with `emulator` and with a plain deadline sleeper doing the same work, and
// polls the memory header every N microseconds (`emulator --speed X`, when
// given, is held to X times the rate). For each record rate it
// runs the stand-in at 60 Hz and `dumper --fps R`, and polls the growth of
// the dump file. It reports, never judges: the exit code is not 0 only when
// a program could not run or no frame was seen.
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_frames.h"
#include "bench/pacing_probe/deadline_publisher.h"
#include "bench/pacing_probe/frame_watchers.h"
#include "bench/pacing_probe/interval_statistics.h"
#include "bench/pacing_probe/process_cpu_time.h"
#include "formats/dump_writer.h"
#include "formats/iracing_layout.h"
#include "formats/iracing_snapshot.h"
#include "tests/e2e/child_process.h"

using namespace vove;

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
  double seconds = 5.0;
  std::chrono::microseconds poll{50};
  std::vector<int> replay_rates{60, 30, 10};
  std::vector<int> record_rates{60};
  bool deadline_sleeper = true;
  std::string speed;  // passed to emulator as --speed when not empty
};

std::vector<int> parse_rates(const std::string& text) {
  std::vector<int> rates;
  std::istringstream items(text);
  for (std::string item; std::getline(items, item, ',');) {
    const int rate = std::stoi(item);
    if (rate < 1 || rate > 60) throw std::invalid_argument("rates are 1 to 60: " + item);
    rates.push_back(rate);
  }
  return rates;
}

Options parse_options(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    const auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::invalid_argument(name + " needs a value");
      return argv[++i];
    };
    if (name == "--seconds") {
      options.seconds = std::stod(value());
      if (!(options.seconds > 0.0 && options.seconds <= 3600.0))
        throw std::invalid_argument("--seconds is above 0, at most 3600");
    } else if (name == "--poll-us") {
      options.poll = std::chrono::microseconds(std::stoi(value()));
      if (options.poll.count() < 1) throw std::invalid_argument("--poll-us is at least 1");
    } else if (name == "--replay-rates") {
      options.replay_rates = parse_rates(value());
    } else if (name == "--record-rates") {
      options.record_rates = parse_rates(value());
    } else if (name == "--speed") {
      options.speed = value();
      if (!(std::stod(options.speed) > 0.0)) throw std::invalid_argument("--speed is above 0");
    } else if (name == "--no-deadline-sleeper") {
      options.deadline_sleeper = false;
    } else {
      throw std::invalid_argument("unknown option " + name);
    }
  }
  return options;
}

// A private directory and name prefix per subject, so nothing meets a real
// consumer, another run or the subject before.
class Workspace {
 public:
  Workspace() : directory_(std::filesystem::temp_directory_path() / ("vove_probe_" + std::to_string(::getpid()))) {
    std::filesystem::remove_all(directory_);
    std::filesystem::create_directories(directory_);
  }
  ~Workspace() {
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
  }
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  // A fresh subdirectory and name prefix (inherited by the children).
  std::filesystem::path next_subject(const std::string& label) {
    const std::string unique = std::to_string(::getpid()) + "_" + std::to_string(++subjects_);
    ::setenv("VOVE_NAME_PREFIX", ("vove_probe_" + unique + "_").c_str(), 1);
    const auto where = directory_ / (label + "_" + unique);
    std::filesystem::create_directories(where);
    return where;
  }

 private:
  std::filesystem::path directory_;
  int subjects_ = 0;
};

// An iRacing dump of `seconds` at `rate`: the first frame with the session
// text, then rows only, ticks counting up by one per frame.
void write_iracing_dump(const std::filesystem::path& path, int rate, double seconds) {
  std::ofstream out(path, std::ios::binary);
  DumpWriter writer(out, static_cast<std::uint32_t>(rate), iracing::iracing_source_id);
  const auto frames = static_cast<std::int32_t>(seconds * rate) + 1;
  for (std::int32_t i = 0; i < frames; ++i)
    writer.append_frame(iracing::serialise_snapshot(bench::iracing_snapshot(1000 + i, i == 0)));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

struct Observation {
  std::vector<std::int64_t> arrivals;
  std::uint64_t missed = 0;
  double cpu_first = 0.0;  // the subject's processor seconds at the first arrival
  double cpu_last = 0.0;   // and at the last
};

std::int64_t now_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// Polls `watcher` every `poll` until the subject ends or `limit` has passed
// since the first arrival (or twice that since the start, without one).
Observation observe(ChildProcess& subject, probe::FrameWatcher& watcher, std::chrono::microseconds poll,
                    std::chrono::nanoseconds limit) {
  Observation seen;
  const auto start = Clock::now();
  for (std::uint64_t round = 0;; ++round) {
    const std::int64_t now = now_ns();
    if (const std::uint64_t arrived = watcher.poll(); arrived > 0) {
      seen.arrivals.push_back(now);
      seen.missed += arrived - 1;
      if (const auto cpu = probe::process_cpu_seconds(subject.pid())) {
        if (seen.arrivals.size() == 1) seen.cpu_first = *cpu;
        seen.cpu_last = *cpu;
      }
    }
    if (round % 256 == 0 && subject.wait_for_exit(std::chrono::milliseconds(0))) break;
    const auto elapsed = Clock::now() - start;
    if (seen.arrivals.empty() ? elapsed > 2 * limit : now - seen.arrivals.front() > limit.count()) break;
    std::this_thread::sleep_for(poll);
  }
  return seen;
}

struct Row {
  std::string subject;
  int rate = 0;
  probe::IntervalSummary intervals;
  std::uint64_t missed = 0;  // frames that came and went (or completed) between two polls
  double cpu_share = 0.0;    // of one core, over the observed span
};

Row summarise(const std::string& subject, int rate, const Observation& seen) {
  Row row{subject, rate, probe::summarise_intervals(seen.arrivals, rate), seen.missed, 0.0};
  if (seen.arrivals.size() >= 2) {
    const double span_s = static_cast<double>(seen.arrivals.back() - seen.arrivals.front()) / 1e9;
    if (span_s > 0.0) row.cpu_share = (seen.cpu_last - seen.cpu_first) / span_s;
  }
  return row;
}

void print_row(const Row& row) {
  std::printf("%-23s %4d %9.3f %7zu %6llu %9.1f %9.1f %9.1f %7.2f\n", row.subject.c_str(), row.rate,
              row.intervals.achieved_rate, row.intervals.frames, static_cast<unsigned long long>(row.missed),
              row.intervals.deviation_p50_us, row.intervals.deviation_p99_us, row.intervals.deviation_max_us,
              100.0 * row.cpu_share);
  std::fflush(stdout);
}

void require_clean_end(ChildProcess& process, const std::string& what) {
  const auto status = process.wait_for_exit(std::chrono::seconds(30));
  if (!status) throw std::runtime_error(what + " did not end");
  if (!status->exited || status->code != 0)
    throw std::runtime_error(what + " ended abnormally: " + process.standard_output() + process.standard_error());
}

void require_frames(const Row& row) {
  if (row.intervals.frames < 2) throw std::runtime_error(row.subject + " showed fewer than two frames");
}

std::chrono::nanoseconds seconds_to_ns(double seconds) {
  return std::chrono::nanoseconds(static_cast<std::int64_t>(seconds * 1e9));
}

Row probe_replay(Workspace& workspace, const Options& options, int rate, bool deadline_sleeper) {
  const auto where = workspace.next_subject(deadline_sleeper ? "deadline" : "emulator");
  const auto dump = where / "replayed.bin";
  write_iracing_dump(dump, rate, options.seconds);
  std::vector<std::string> argv =
      deadline_sleeper ? std::vector<std::string>{std::filesystem::read_symlink("/proc/self/exe").string(), "--publish",
                                                  dump.string()}
                       : std::vector<std::string>{VOVE_EMULATOR_PATH, "--input-file", dump.string()};
  const double speed = deadline_sleeper || options.speed.empty() ? 1.0 : std::stod(options.speed);
  if (!deadline_sleeper && !options.speed.empty()) argv.insert(argv.end(), {"--speed", options.speed});
  ChildProcess subject(argv, where, "subject");
  probe::IracingTickWatcher watcher;
  // The run ends with the file; the limit only guards against a hang.
  const Observation seen = observe(subject, watcher, options.poll, seconds_to_ns(options.seconds / speed + 10.0));
  require_clean_end(subject, deadline_sleeper ? "the deadline sleeper" : "emulator");
  const std::string name = deadline_sleeper ? "deadline sleeper"
                           : speed == 1.0   ? "emulator"
                                            : "emulator --speed " + options.speed;
  Row row = summarise(name, static_cast<int>(rate * speed), seen);
  require_frames(row);
  return row;
}

Row probe_recording(Workspace& workspace, const Options& options, int rate) {
  const auto where = workspace.next_subject("dumper");
  ChildProcess standin({VOVE_STANDIN_PATH, "--sim", "iracing", "--rate", "60"}, where, "standin");
  ChildProcess subject({VOVE_DUMPER_PATH, "--fps", std::to_string(rate)}, where, "subject");
  probe::DumpFileGrowthWatcher watcher(where);
  const Observation seen = observe(subject, watcher, options.poll, seconds_to_ns(options.seconds));
  subject.send_signal(SIGINT);
  require_clean_end(subject, "dumper");
  standin.send_signal(SIGINT);
  require_clean_end(standin, "the stand-in");
  Row row = summarise("dumper (stand-in 60 Hz)", rate, seen);
  require_frames(row);
  return row;
}

std::string load_average() {
  std::ifstream in("/proc/loadavg");
  std::string one, five, fifteen;
  in >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

double own_cpu_seconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int run_probe(const Options& options) {
  // Without this the kernel may let a 50 µs sleep run 50 µs longer.
  ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  Workspace workspace;
  std::printf("pacing probe: %u processors, load average %s, poll every %lld us, %.1f s per run\n",
              std::thread::hardware_concurrency(), load_average().c_str(), static_cast<long long>(options.poll.count()),
              options.seconds);
  std::printf("%-23s %4s %9s %7s %6s %9s %9s %9s %7s\n", "subject", "fps", "achieved", "frames", "missed", "dev p50us",
              "dev p99us", "dev maxus", "CPU %");
  const auto wall_start = Clock::now();
  const double cpu_start = own_cpu_seconds();
  for (const int rate : options.replay_rates) {
    print_row(probe_replay(workspace, options, rate, false));
    if (options.deadline_sleeper) print_row(probe_replay(workspace, options, rate, true));
  }
  for (const int rate : options.record_rates) print_row(probe_recording(workspace, options, rate));
  const double wall = std::chrono::duration<double>(Clock::now() - wall_start).count();
  std::printf(
      "dev: |interval - 1/fps| between frames seen; CPU: the subject's processor time over the\n"
      "frames seen, in %% of one core. The probe itself used %.1f %% of a core; load average now %s\n",
      100.0 * (own_cpu_seconds() - cpu_start) / wall, load_average().c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc == 3 && std::string(argv[1]) == "--publish") {
      probe::publish_at_deadlines(argv[2]);
      return 0;
    }
    return run_probe(parse_options(argc, argv));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "pacing_probe: %s\n", error.what());
    return 1;
  }
}
