// The recorder's cost per frame at the end of its pipeline: compressing a
// payload and appending the record, into a stream that only counts bytes so
// that the disk does not enter the numbers.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <ostream>
#include <streambuf>
#include <vector>

#include "bench/bench_frames.h"
#include "formats/dump_writer.h"
#include "formats/zlib_streams.h"
#include "formats/acc_pages.h"
#include "formats/iracing_layout.h"

namespace vove {

namespace {

// Discards what is written and counts it.
class CountingBuffer final : public std::streambuf {
 public:
  std::uint64_t count() const noexcept { return count_; }

 protected:
  int_type overflow(int_type c) override {
    if (!traits_type::eq_int_type(c, traits_type::eof())) ++count_;
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char_type*, std::streamsize n) override {
    count_ += static_cast<std::uint64_t>(n);
    return n;
  }

 private:
  std::uint64_t count_ = 0;
};

void append_frames(benchmark::State& state, const std::vector<std::vector<std::uint8_t>>& payloads,
                   SourceId source_id) {
  CountingBuffer buffer;
  std::ostream out(&buffer);
  DumpWriter writer(out, 60, source_id);
  const std::uint64_t header_bytes = buffer.count();

  std::uint64_t payload_bytes = 0;
  std::size_t next = 0;
  for (auto _ : state) {
    const auto& payload = payloads[next];
    writer.append_frame(payload);
    payload_bytes += payload.size();
    next = (next + 1) % payloads.size();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(payload_bytes));
  state.counters["payload_bytes"] = static_cast<double>(payloads.front().size());
  // Bytes written (record sizes included) per payload byte: below 1 means
  // the file is smaller than the raw telemetry.
  if (payload_bytes > 0)
    state.counters["compressed_ratio"] =
        static_cast<double>(buffer.count() - header_bytes) / static_cast<double>(payload_bytes);
}

void IracingAppendFrame(benchmark::State& state) {
  const bool with_text = state.range(0) != 0;
  state.SetLabel(with_text ? "with session text" : "row only");
  static const auto row_only = bench::iracing_payloads(bench::frame_cycle, false);
  static const auto with_session_text = bench::iracing_payloads(bench::frame_cycle, true);
  append_frames(state, with_text ? with_session_text : row_only, make_source_id("irac"));
}
BENCHMARK(IracingAppendFrame)->Arg(0)->Arg(1);

void AccAppendFrame(benchmark::State& state) {
  static const auto payloads = bench::acc_payloads(bench::frame_cycle);
  append_frames(state, payloads, acc::acc_source_id);
}
BENCHMARK(AccAppendFrame);

}  // namespace

// The writer's own cost beside deflate: a one-byte frame through the writer
// and through the bare stream; the difference is what the record costs.
void OneByteAppendFrame(benchmark::State& state) {
  CountingBuffer buffer;
  std::ostream out(&buffer);
  DumpWriter writer(out, 60, acc::acc_source_id);
  const std::vector<std::uint8_t> payload{42};
  for (auto _ : state) writer.append_frame(payload);
}
BENCHMARK(OneByteAppendFrame);

void OneByteDeflate(benchmark::State& state) {
  DeflateStream deflater;
  const std::vector<std::uint8_t> payload{42};
  std::vector<std::uint8_t> output(compressBound(1));
  for (auto _ : state) benchmark::DoNotOptimize(deflater.compress(payload, output));
}
BENCHMARK(OneByteDeflate);

}  // namespace vove
