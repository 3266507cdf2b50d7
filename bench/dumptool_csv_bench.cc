// What exporting a recording as CSV costs, next to what reading its frames
// alone costs: a recording of stand-in frames with every variable. Rates are
// per second of processor time, which a busy machine distorts less.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>

#include "bench_frames.h"
#include "dumptool/commands.h"
#include "formats/dump_frames.h"
#include "formats/dump_writer.h"
#include "formats/iracing_layout.h"

namespace vove {

namespace {

constexpr std::size_t recording_frames = 600;  // ten seconds at 60 fps

// The recording, written once and removed at exit: the session text in its
// first frame only, as the recorder writes it.
class Recording {
 public:
  Recording() : path_(std::filesystem::temp_directory_path() / "vove_bench_csv_recording.bin") {
    std::ofstream out(path_, std::ios::binary);
    DumpWriter writer(out, 60, iracing::iracing_source_id);
    for (std::size_t i = 0; i < recording_frames; ++i) {
      writer.append_frame(
          iracing::serialise_snapshot(bench::iracing_snapshot(static_cast<std::int32_t>(i + 1), i == 0)));
    }
  }
  ~Recording() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  Recording(const Recording&) = delete;
  Recording& operator=(const Recording&) = delete;

  const std::filesystem::path& path() const noexcept { return path_; }

 private:
  std::filesystem::path path_;
};

const std::filesystem::path& recording() {
  static const Recording file;
  return file.path();
}

void DumpFramesReadAll(benchmark::State& state) {
  recording();  // written before the clock runs
  std::uint64_t bytes = 0;
  for (auto _ : state) {
    DumpFrames frames(recording());
    for (std::size_t i = 0; i < frames.size(); ++i) bytes += frames.read(i).size();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * recording_frames));
  state.counters["payload_MB/s"] = benchmark::Counter(static_cast<double>(bytes) / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(DumpFramesReadAll)->Unit(benchmark::kMillisecond);

void DumptoolCsvAllVariables(benchmark::State& state) {
  recording();
  const auto output = std::filesystem::temp_directory_path() / "vove_bench_csv_output.csv";
  std::uint64_t bytes = 0;
  for (auto _ : state) {
    if (run_csv_command({recording().string(), "-o", output.string(), "--force"}) != 0) {
      state.SkipWithError("csv failed");
      break;
    }
    bytes += std::filesystem::file_size(output);
  }
  std::filesystem::remove(output);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * recording_frames));
  state.counters["csv_MB/s"] = benchmark::Counter(static_cast<double>(bytes) / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(DumptoolCsvAllVariables)->Unit(benchmark::kMillisecond);

}  // namespace

}  // namespace vove
