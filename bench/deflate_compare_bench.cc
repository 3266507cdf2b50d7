// zlib against libdeflate on the recorder's frames: time per frame and
// compressed size, both ways. Built only where libdeflate is installed; it
// decides nothing by itself (see RESULTS.md for the decision).
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "bench/bench_frames.h"
#include "formats/zlib_streams.h"

namespace vove {

namespace {

using Frames = std::vector<std::vector<std::uint8_t>>;

// 0: iRacing row only, 1: iRacing with the session text, 2: ACC.
const Frames& frames_of_kind(std::int64_t kind) {
  static const Frames row_only = bench::iracing_payloads(bench::frame_cycle, false);
  static const Frames with_text = bench::iracing_payloads(bench::frame_cycle, true);
  static const Frames acc = bench::acc_payloads(bench::frame_cycle);
  return kind == 0 ? row_only : kind == 1 ? with_text : acc;
}

const char* label_of_kind(std::int64_t kind) {
  return kind == 0 ? "iRacing row only" : kind == 1 ? "iRacing with text" : "ACC";
}

void report(benchmark::State& state, std::uint64_t payload_bytes, std::uint64_t compressed_bytes) {
  state.SetLabel(label_of_kind(state.range(0)));
  state.SetBytesProcessed(static_cast<std::int64_t>(payload_bytes));
  if (payload_bytes > 0)
    state.counters["ratio"] = static_cast<double>(compressed_bytes) / static_cast<double>(payload_bytes);
}

void ZlibStreamDeflate(benchmark::State& state) {
  const Frames& frames = frames_of_kind(state.range(0));
  DeflateStream deflater;
  std::vector<std::uint8_t> output(compressBound(static_cast<uLong>(frames.front().size() * 2)));
  std::uint64_t in = 0, out = 0;
  std::size_t next = 0;
  for (auto _ : state) {
    const auto& frame = frames[next];
    out += deflater.compress(frame, output);
    in += frame.size();
    next = (next + 1) % frames.size();
  }
  report(state, in, out);
}
BENCHMARK(ZlibStreamDeflate)->Arg(0)->Arg(1)->Arg(2);

void LibdeflateCompress(benchmark::State& state) {
  const Frames& frames = frames_of_kind(state.range(0));
  const int level = static_cast<int>(state.range(1));
  std::unique_ptr<libdeflate_compressor, decltype(&libdeflate_free_compressor)> compressor(
      libdeflate_alloc_compressor(level), &libdeflate_free_compressor);
  std::vector<std::uint8_t> output(libdeflate_zlib_compress_bound(compressor.get(), frames.front().size() * 2));
  std::uint64_t in = 0, out = 0;
  std::size_t next = 0;
  for (auto _ : state) {
    const auto& frame = frames[next];
    out += libdeflate_zlib_compress(compressor.get(), frame.data(), frame.size(), output.data(), output.size());
    in += frame.size();
    next = (next + 1) % frames.size();
  }
  report(state, in, out);
  state.counters["level"] = level;
}
BENCHMARK(LibdeflateCompress)->ArgsProduct({{0, 1, 2}, {1, 4, 5, 6}});

// Inflating: the stream the writer made, into a payload that is reused.
void ZlibStreamInflate(benchmark::State& state) {
  const Frames& frames = frames_of_kind(state.range(0));
  DeflateStream deflater;
  Frames streams;
  for (const auto& frame : frames) {
    std::vector<std::uint8_t> stream(compressBound(static_cast<uLong>(frame.size())));
    stream.resize(deflater.compress(frame, stream));
    streams.push_back(std::move(stream));
  }
  InflateStream inflater;
  std::vector<std::uint8_t> payload;
  std::uint64_t in = 0;
  std::size_t next = 0;
  for (auto _ : state) {
    if (!inflater.inflate_into(streams[next], static_cast<std::uint32_t>(frames[next].size()), payload))
      state.SkipWithError("inflate failed");
    in += frames[next].size();
    next = (next + 1) % frames.size();
  }
  report(state, in, 0);
}
BENCHMARK(ZlibStreamInflate)->Arg(0)->Arg(1)->Arg(2);

void LibdeflateDecompress(benchmark::State& state) {
  const Frames& frames = frames_of_kind(state.range(0));
  DeflateStream deflater;
  Frames streams;
  for (const auto& frame : frames) {
    std::vector<std::uint8_t> stream(compressBound(static_cast<uLong>(frame.size())));
    stream.resize(deflater.compress(frame, stream));
    streams.push_back(std::move(stream));
  }
  std::unique_ptr<libdeflate_decompressor, decltype(&libdeflate_free_decompressor)> decompressor(
      libdeflate_alloc_decompressor(), &libdeflate_free_decompressor);
  std::vector<std::uint8_t> payload;
  std::uint64_t in = 0;
  std::size_t next = 0;
  for (auto _ : state) {
    payload.resize(frames[next].size());
    std::size_t produced = 0;
    if (libdeflate_zlib_decompress(decompressor.get(), streams[next].data(), streams[next].size(), payload.data(),
                                   payload.size(), &produced) != LIBDEFLATE_SUCCESS)
      state.SkipWithError("decompress failed");
    in += frames[next].size();
    next = (next + 1) % frames.size();
  }
  report(state, in, 0);
}
BENCHMARK(LibdeflateDecompress)->Arg(0)->Arg(1)->Arg(2);

}  // namespace

}  // namespace vove
