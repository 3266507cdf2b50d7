#include "dumper/recording_loops.h"

#include <map>
#include <sstream>
#include <stdexcept>
#include <string>

namespace {

// A line for a source the system would not let us attach to, unless the
// same line was the last one said about it (`last`).
void report_refusal(const Connector& source, std::string& last, std::ostream& console) {
  const platform::Failure failure = source.attach_failure();
  if (failure.empty() || failure.missing) return;
  std::ostringstream line;
  line << "Cannot attach to ";
  write_source_id(line, source.source_id()) << ": " << failure.reason;
  if (!failure.object.empty()) line << " (" << failure.object << ")";
  if (line.str() == last) return;
  last = line.str();
  console << last << std::endl;
}

}  // namespace

bool wait_for_connection(const StopSignal& stop, const WaitContext& context, double rate,
                         const SteadyClock& clock, const Sleeper& sleeper, std::ostream& console) {
  // What was said about each source while this wait lasts: a refusal is
  // reported once, and again only when its reason changes.
  std::map<SourceId, std::string> reported;
  return run_paced_loop(stop, rate, clock, sleeper, [&] {
    for (const auto& source : *context.sources) {
      if (!source->connect(connect_timeout_ms)) {
        report_refusal(*source, reported[source->source_id()], console);
        continue;
      }
      *context.active_source = source;
      console << "Connected to ";
      write_source_id(console, source->source_id()) << std::endl;
      return Iteration::leave;
    }
    return Iteration::next;
  });
}

bool record_frames(const StopSignal& stop, const RecordContext& context, double rate,
                   const SteadyClock& clock, const Sleeper& sleeper, std::ostream& console) {
  if (context.fps < 1) throw std::invalid_argument("Invalid fps value: " + std::to_string(context.fps));
  if (!*context.active_source) throw std::invalid_argument("No connected source to record from");
  const std::int32_t timeout_ms = 1000 / context.fps;
  Connector& source = **context.active_source;
  std::int32_t& empty_reads = *context.empty_reads;

  return run_paced_loop(stop, rate, clock, sleeper, [&] {
    const FramePayload frame = source.read_frame(timeout_ms);
    if (frame.empty()) {
      if (++empty_reads > max_empty_reads) {
        console << "Source is down, disconnecting" << std::endl;
        source.disconnect();
        return Iteration::leave;
      }
      return Iteration::next;
    }
    context.writer->append_frame(frame);
    empty_reads = 0;
    return Iteration::next;
  });
}
