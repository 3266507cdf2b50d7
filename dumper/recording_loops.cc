#include "dumper/recording_loops.h"

#include <chrono>
#include <cmath>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>

#include "common/frame_schedule.h"

namespace vove {

namespace {

// A line for a source the system would not let us attach to, unless the
// same line was the last one said about it (`last`).
void report_refusal(const Source& source, std::string& last, std::ostream& console) {
  const platform::Failure failure = source.attach_failure();
  if (failure.empty() || failure.missing()) return;
  std::ostringstream line;
  line << "Cannot attach to ";
  line << source_id_text(source.source_id(), SourceIdStyle::as_stored) << ": " << failure.reason;
  if (!failure.object.empty()) line << " (" << failure.object << ")";
  if (line.str() == last) return;
  last = line.str();
  console << last << std::endl;
}

}  // namespace

bool wait_for_connection(const StopSignal& stop, const WaitContext& context, double rate, const SteadyClock& clock,
                         const Sleeper& sleeper, std::ostream& console) {
  // What was said about each source while this wait lasts: a refusal is
  // reported once, and again only when its reason changes.
  std::map<SourceId, std::string> reported;
  return run_paced_loop(stop, rate, clock, sleeper, [&] {
    for (const auto& source : *context.sources) {
      if (!source->connect(connect_timeout)) {
        report_refusal(*source, reported[source->source_id()], console);
        continue;
      }
      *context.active_source = source;
      console << "Connected to " << source_id_text(source->source_id(), SourceIdStyle::as_stored) << std::endl;
      return Iteration::leave;
    }
    return Iteration::next;
  });
}

namespace {

// The frame recorded last, and whether the writer's last record is already
// the form it takes when repeated.
struct LastFrame {
  FramePayload payload;
  bool repeat_written = false;
};

// Writes the repeats held back for deadlines that got no new data. A stop
// requested meanwhile is honoured at once (false), however many are left.
bool write_repeats(const StopSignal& stop, const Source& source, DumpWriter& writer, LastFrame& last,
                   std::uint64_t& repeats) {
  for (; repeats > 0; --repeats) {
    if (stop.stop_requested()) return false;
    if (!last.repeat_written) {
      last.repeat_written = true;
      if (const FramePayload again = source.repeat_of(last.payload); !again.empty()) {
        writer.append_repeat(again);
        continue;
      }
    }
    writer.append_last_again();
  }
  return true;
}

// When the source last published something new, by its publication mark.
class NewsWatch {
 public:
  // The idle end rounded to the nearest nanosecond (a half away from 0).
  NewsWatch(std::chrono::duration<double> idle_end, SteadyTime now)
      : idle_end_(idle_end.count() > 0 ? std::llround(idle_end.count() * 1e9) : 0), last_news_(now) {}
  void saw_frame(const Source& source, SteadyTime now) {
    const std::optional<std::uint64_t> mark = source.publication_mark();
    if (mark && has_mark_ && *mark == mark_) return;
    has_mark_ = mark.has_value();
    mark_ = mark.value_or(0);
    last_news_ = now;
  }
  bool idle_too_long(SteadyTime now) const noexcept {
    return idle_end_ > std::chrono::nanoseconds::zero() && now - last_news_ >= idle_end_;
  }

 private:
  std::chrono::nanoseconds idle_end_;  // 0: never
  SteadyTime last_news_;
  // Not an optional: GCC 12 takes its read for one of an uninitialised value.
  bool has_mark_ = false;
  std::uint64_t mark_ = 0;
};

void say_source_down(std::ostream& console) { console << "Source is down, disconnecting" << std::endl; }

}  // namespace

bool record_frames(const StopSignal& stop, const RecordContext& context, double rate, const SteadyClock& clock,
                   const Sleeper& sleeper, std::ostream& console) {
  if (context.fps < 1) throw std::invalid_argument("Invalid fps value: " + std::to_string(context.fps));
  if (!*context.active_source) throw std::invalid_argument("No connected source to record from");
  const std::chrono::milliseconds timeout{1000 / context.fps};
  Source& source = **context.active_source;
  DumpWriter& writer = *context.writer;
  std::int32_t& empty_reads = *context.empty_reads;

  // Frame k is due at start + k periods, so the file keeps the rate its
  // header claims. A deadline without new data, or one that passed while
  // the process was held up, gets the newest frame again; those repeats
  // wait here until the next new frame, so a recording never ends on them.
  FrameSchedule schedule(period_of_rate(rate), clock.now());
  std::uint64_t held_back = 0;
  LastFrame last;
  NewsWatch news(context.idle_end, clock.now());
  if (stop.stop_requested()) return false;
  for (;;) {
    held_back += schedule.skip_missed(clock.now());
    FramePayload frame = source.read_frame(timeout);
    if (frame.empty()) {
      if (++empty_reads > max_empty_reads || source.has_stopped()) {
        say_source_down(console);
        source.disconnect();
        return true;
      }
      // Before the first frame there is nothing to repeat.
      if (writer.records() > 0) ++held_back;
    } else {
      if (!write_repeats(stop, source, writer, last, held_back)) return false;
      writer.append_frame(frame);
      last = {std::move(frame), false};
      empty_reads = 0;
      news.saw_frame(source, clock.now());
    }
    if (news.idle_too_long(clock.now())) {
      say_source_down(console);
      source.disconnect_idle();
      return true;
    }
    schedule.advance();
    if (const auto wait = schedule.time_until_due(clock.now()); wait > std::chrono::milliseconds::zero()) sleeper(wait);
    if (stop.stop_requested()) return false;
  }
}

}  // namespace vove
