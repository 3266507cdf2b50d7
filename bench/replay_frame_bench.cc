// The replay's cost per frame: inflating the next record of a dump file held
// in memory, and handing an iRacing payload to the emulator (which parses it
// and copies its parts into the shared memory).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <exception>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_frames.h"
#include "formats/acc_pages.h"
#include "formats/dump_reader.h"
#include "formats/dump_writer.h"
#include "formats/iracing_snapshot.h"
#include "simulators/iracing/iracing_emulator.h"

namespace vove {

namespace {

// Enough records that rewinding the file is rare against the frames read.
constexpr std::size_t file_rounds = 10;

std::string dump_file_of(const std::vector<std::vector<std::uint8_t>>& payloads, SourceId source_id) {
  std::ostringstream out;
  DumpWriter writer(out, 60, source_id);
  for (std::size_t round = 0; round < file_rounds; ++round)
    for (const auto& payload : payloads) writer.append_frame(payload);
  return std::move(out).str();
}

void read_frames(benchmark::State& state, const std::string& file) {
  std::istringstream input(file);
  std::optional<DumpReader> reader(std::in_place, input);
  std::uint64_t payload_bytes = 0;
  for (auto _ : state) {
    auto payload = reader->next_frame();
    if (payload.empty()) {  // the end of the file: start it again, untimed
      state.PauseTiming();
      input.clear();
      input.seekg(0);
      reader.emplace(input);
      state.ResumeTiming();
      payload = reader->next_frame();
    }
    payload_bytes += payload.size();
    benchmark::DoNotOptimize(payload.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(payload_bytes));
}

void IracingNextFrame(benchmark::State& state) {
  const bool with_text = state.range(0) != 0;
  state.SetLabel(with_text ? "with session text" : "row only");
  static const std::string row_only =
      dump_file_of(bench::iracing_payloads(bench::frame_cycle, false), make_source_id("irac"));
  static const std::string with_session_text =
      dump_file_of(bench::iracing_payloads(bench::frame_cycle, true), make_source_id("irac"));
  read_frames(state, with_text ? with_session_text : row_only);
}
BENCHMARK(IracingNextFrame)->Arg(0)->Arg(1);

void AccNextFrame(benchmark::State& state) {
  static const std::string file = dump_file_of(bench::acc_payloads(bench::frame_cycle), acc::acc_source_id);
  read_frames(state, file);
}
BENCHMARK(AccNextFrame);

const std::vector<std::vector<std::uint8_t>>& iracing_payloads(bool with_text) {
  static const auto row_only = bench::iracing_payloads(bench::frame_cycle, false);
  static const auto with_session_text = bench::iracing_payloads(bench::frame_cycle, true);
  return with_text ? with_session_text : row_only;
}

void IracingParseSnapshot(benchmark::State& state) {
  const bool with_text = state.range(0) != 0;
  state.SetLabel(with_text ? "with session text" : "row only");
  const auto& payloads = iracing_payloads(with_text);
  std::uint64_t payload_bytes = 0;
  std::size_t next = 0;
  for (auto _ : state) {
    const auto& payload = payloads[next];
    auto snapshot = iracing::parse_snapshot(std::span(payload));
    benchmark::DoNotOptimize(snapshot.row.data());
    payload_bytes += payload.size();
    next = (next + 1) % payloads.size();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(payload_bytes));
}
BENCHMARK(IracingParseSnapshot)->Arg(0)->Arg(1);

void IracingEmulatorWriteFrame(benchmark::State& state) {
  const bool with_text = state.range(0) != 0;
  state.SetLabel(with_text ? "with session text" : "row only");
  const auto& payloads = iracing_payloads(with_text);
  bench::use_private_names("replay");
  // Started once per run of this benchmark; the destructor stops it and
  // removes the names.
  iracing::Emulator emulator;
  try {
    emulator.start();
  } catch (const std::exception& error) {
    state.SkipWithError(error.what());
    return;
  }
  std::uint64_t payload_bytes = 0;
  std::size_t next = 0;
  for (auto _ : state) {
    const auto& payload = payloads[next];
    emulator.write_frame(payload);
    payload_bytes += payload.size();
    next = (next + 1) % payloads.size();
  }
  emulator.stop();
  state.SetBytesProcessed(static_cast<std::int64_t>(payload_bytes));
}
BENCHMARK(IracingEmulatorWriteFrame)->Arg(0)->Arg(1);

}  // namespace

}  // namespace vove
