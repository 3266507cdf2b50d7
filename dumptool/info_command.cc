// dumptool info: what a recording holds and whether it is intact.
#include <filesystem>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "dumptool/command.h"
#include "dumptool/command_support.h"
#include "dumptool/commands.h"
#include "dumptool/frame_progress.h"
#include "dumptool/json_text.h"
#include "formats/acc_fields.h"
#include "formats/acc_pages.h"
#include "formats/iracing_recording.h"
#include "formats/named_objects_payload.h"
#include "formats/payload_damage.h"
#include "simulators/simulator.h"

namespace vove {

namespace options = boost::program_options;

namespace dumptool {

namespace {

constexpr std::string_view info_about =
    "Says what a recording holds: source and rate, frames and duration, first and last tick,\n"
    "bytes on disk and inflated, the frames that carry a session text, the variable table's\n"
    "size, and the first damaged record if any. Every frame is inflated, so a file that reads\n"
    "without a complaint here replays without one. For ACC: the track, car, player, session\n"
    "type and status the pages show. Exit code 2 when the file is damaged.";

// Times are listed in full in JSON; the text form shows this many.
constexpr std::size_t listed_times = 12;

struct FirstDamage {
  std::size_t frame = 0;
  std::uint64_t offset = 0;
  std::string reason;
};

// What the ACC pages say of the session, from the first frame whose static
// page names a track (the first readable frame when none does).
struct AccSession {
  std::string track;
  std::string car;
  std::string player;
  std::optional<std::int32_t> session;
  std::optional<std::int32_t> status;
  bool from_filled_page = false;
};

struct RecordingFacts {
  std::string source;
  std::string simulator;
  std::uint32_t fps = 0;
  std::size_t frames = 0;  // indexed
  std::uint64_t bytes_on_disk = 0;
  std::uint64_t bytes_inflated = 0;  // as the records declare
  std::optional<std::int32_t> first_tick;
  std::optional<std::int32_t> last_tick;
  std::vector<double> session_text_times;
  std::optional<std::size_t> variable_count;
  std::optional<std::size_t> row_bytes;
  std::vector<std::size_t> variable_table_changes;  // frames
  std::size_t damaged_frames = 0;
  std::optional<FirstDamage> first_damage;
  std::optional<AccSession> acc;
  // Named-object recordings: the layout version and the objects (name,
  // size as created) of the first intact frame.
  bool named_objects = false;
  bool has_layouts = false;  // the simulator names its layout in its frames
  std::optional<std::string> layout;
  std::vector<std::pair<std::string, std::uint32_t>> objects;

  double duration() const { return fps == 0 ? 0.0 : static_cast<double>(frames) / fps; }
  double ratio() const {
    return bytes_on_disk == 0 ? 0.0 : static_cast<double>(bytes_inflated) / static_cast<double>(bytes_on_disk);
  }
};

void note_damage(RecordingFacts& facts, std::size_t frame, std::uint64_t offset, std::string reason) {
  ++facts.damaged_frames;
  if (!facts.first_damage) facts.first_damage = FirstDamage{frame, offset, std::move(reason)};
}

void read_iracing(DumpFrames& frames, RecordingFacts& facts, FrameProgress& progress) {
  iracing::RecordingWalk walk(frames);
  for (;;) {
    const iracing::RecordingFrame* frame = nullptr;
    try {
      frame = walk.next();
    } catch (const iracing::DamagedFrameError& error) {
      note_damage(facts, error.frame(), error.offset(), error.reason());
      continue;
    }
    if (frame == nullptr) break;
    if (!facts.first_tick) {
      facts.first_tick = frame->tick;
      facts.variable_count = walk.variables().variables().size();
      facts.row_bytes = frame->snapshot.row.size();
    } else if (walk.variables_changed()) {
      facts.variable_table_changes.push_back(frame->number);
    }
    facts.last_tick = frame->tick;
    if (frame->carries_session_text()) facts.session_text_times.push_back(frame->seconds);
    progress.update(walk.position());
  }
}

AccSession acc_session_of(const acc::PageBytes& pages) {
  AccSession session;
  session.track = acc::text_field(pages, acc::Page::static_page, "track");
  session.car = acc::text_field(pages, acc::Page::static_page, "carModel");
  session.player = acc::player_name(pages);
  session.session = acc::int_field(pages, acc::Page::graphics, "session");
  session.status = acc::int_field(pages, acc::Page::graphics, "status");
  session.from_filled_page = !session.track.empty();
  return session;
}

// The layout and objects of a named-object frame; false when the frame
// holds none (damage, noted).
bool read_named_objects_facts(const Simulator& simulator, const FramePayload& payload, std::size_t frame,
                              std::uint64_t offset, RecordingFacts& facts) {
  try {
    for (const NamedObjectView& object : read_named_objects(payload)) {
      facts.objects.emplace_back(std::string(object.name), object.size);
    }
    if (simulator.layout_version != nullptr) facts.layout = simulator.layout_version(payload);
    return true;
  } catch (const PayloadDamage& damage) {
    facts.objects.clear();
    note_damage(facts, frame, offset, damage.what());
    return false;
  }
}

void read_other(DumpFrames& frames, RecordingFacts& facts, FrameProgress& progress) {
  const bool acc = payload_codec(frames.header().source_id) == PayloadCodec::acc_pages;
  const Simulator* named = facts.named_objects ? find_simulator(frames.header().source_id) : nullptr;
  bool named_read = false;
  FramePayload payload;
  for (std::size_t frame = 0; frame < frames.size(); ++frame) {
    if (!frames.read_if_intact(frame, payload)) {
      note_damage(facts, frame, frames.index().records()[frame].offset, "its compressed data does not inflate");
    } else if (named != nullptr && !named_read) {
      named_read = read_named_objects_facts(*named, payload, frame, frames.index().records()[frame].offset, facts);
    } else if (acc && (!facts.acc || !facts.acc->from_filled_page)) {
      AccSession session = acc_session_of(acc::pages_of_payload(payload));
      if (!facts.acc || session.from_filled_page) facts.acc = std::move(session);
    }
    progress.update(frame + 1);
  }
}

// "Race (ACC_RACE)", or the bare number for a value the enumeration lacks.
std::string enum_text(const std::optional<std::int32_t>& value, acc::EnumValue (*name_of)(std::int32_t)) {
  if (!value) return "not recorded";
  const acc::EnumValue name = name_of(*value);
  if (name.enum_name.empty()) return std::to_string(*value) + " (not a value the simulator defines)";
  return std::string(name.title) + " (" + std::string(name.enum_name) + ")";
}

std::string or_not_known(const std::string& text) { return text.empty() ? "not known" : printable_text(text); }

RecordingFacts gather(DumpFrames& frames, const std::filesystem::path& path) {
  RecordingFacts facts;
  const DumpHeader& header = frames.header();
  facts.source = source_id_text(header.source_id, SourceIdStyle::printable);
  const Simulator* simulator = find_simulator(header.source_id);
  facts.simulator = simulator ? std::string(simulator->name) : "unknown";
  facts.named_objects = simulator != nullptr && simulator->payload == PayloadCodec::named_objects;
  facts.has_layouts = facts.named_objects && simulator->layout_version != nullptr;
  facts.fps = header.fps;
  facts.frames = frames.size();
  std::error_code error;
  facts.bytes_on_disk = std::filesystem::file_size(path, error);
  for (const auto& record : frames.index().records()) facts.bytes_inflated += record.sizes.uncompressed_size;

  FrameProgress progress("info", frames.size());
  if (payload_codec(header.source_id) == PayloadCodec::iracing_snapshot) {
    read_iracing(frames, facts, progress);
  } else {
    read_other(frames, facts, progress);
  }
  progress.clear();
  // The index stops at the first record it cannot find its way past; any
  // frame found damaged by inflating lies before it.
  if (const auto& damage = frames.index().damage()) {
    ++facts.damaged_frames;
    if (!facts.first_damage) facts.first_damage = FirstDamage{damage->frame, damage->offset, damage->reason};
  }
  return facts;
}

std::string times_text(const std::vector<double>& times) {
  std::string text;
  for (std::size_t i = 0; i < times.size() && i < listed_times; ++i) {
    text += (i == 0 ? "at " : ", ") + seconds_text(times[i]);
  }
  if (!times.empty()) text += " s";
  if (times.size() > listed_times) text += ", and " + std::to_string(times.size() - listed_times) + " more";
  return text;
}

void print_text(std::ostream& out, const std::filesystem::path& path, const RecordingFacts& facts) {
  out << "File:            " << path.string() << '\n';
  out << "Source:          " << facts.source << " (" << facts.simulator << ")\n";
  if (facts.named_objects) {
    if (facts.has_layouts) {
      out << "Layout:          " << (facts.layout ? printable_text(*facts.layout) : std::string("not known")) << '\n';
    }
    out << "Objects:         " << facts.objects.size() << '\n';
    for (const auto& [name, size] : facts.objects) out << "  " << printable_text(name) << " (" << size << " bytes)\n";
  }
  out << "Rate:            " << facts.fps << " frames per second\n";
  out << "Frames:          " << facts.frames << '\n';
  out << "Duration:        " << seconds_text(facts.duration()) << " s\n";
  if (facts.first_tick) out << "Ticks:           " << *facts.first_tick << " to " << *facts.last_tick << '\n';
  out << "Bytes on disk:   " << facts.bytes_on_disk << '\n';
  std::ostringstream ratio;
  ratio.precision(3);
  ratio << facts.ratio();
  out << "Bytes inflated:  " << facts.bytes_inflated << " (" << ratio.str() << " times the bytes on disk)\n";
  if (facts.simulator == "iRacing") {
    out << "Session texts:   " << facts.session_text_times.size();
    if (!facts.session_text_times.empty()) out << " (" << times_text(facts.session_text_times) << ")";
    out << '\n';
  }
  if (facts.acc) {
    out << "Track:           " << or_not_known(facts.acc->track) << '\n';
    out << "Car:             " << or_not_known(facts.acc->car) << '\n';
    out << "Player:          " << or_not_known(facts.acc->player) << '\n';
    out << "Session:         " << enum_text(facts.acc->session, acc::session_type_value) << '\n';
    out << "Status:          " << enum_text(facts.acc->status, acc::status_value) << '\n';
  }
  if (facts.variable_count) {
    out << "Variables:       " << *facts.variable_count << ", data row of " << *facts.row_bytes << " bytes";
    if (!facts.variable_table_changes.empty()) {
      out << "; the table changes at frame " << facts.variable_table_changes.front();
      if (facts.variable_table_changes.size() > 1) {
        out << " and " << facts.variable_table_changes.size() - 1 << " more";
      }
    }
    out << '\n';
  }
  if (facts.first_damage) {
    out << "Damage:          frame " << facts.first_damage->frame << " (record at byte " << facts.first_damage->offset
        << "): " << facts.first_damage->reason;
    if (facts.damaged_frames > 1) out << "; " << facts.damaged_frames << " damaged records in all";
    out << '\n';
  } else {
    out << "Damage:          none\n";
  }
}

template <class Number>
Json optional_number(const std::optional<Number>& value) {
  return value ? Json(*value) : Json(nullptr);
}

Json enum_json(const std::optional<std::int32_t>& value, acc::EnumValue (*name_of)(std::int32_t)) {
  if (!value) return nullptr;
  const acc::EnumValue name = name_of(*value);
  return Json{{"value", *value}, {"name", name.enum_name.empty() ? Json(nullptr) : Json(std::string(name.enum_name))}};
}

void print_json(std::ostream& out, const std::filesystem::path& path, const RecordingFacts& facts) {
  Json document{{"file", path.string()},
                {"source", facts.source},
                {"simulator", facts.simulator},
                {"fps", facts.fps},
                {"frames", facts.frames},
                {"duration_seconds", facts.duration()},
                {"first_tick", optional_number(facts.first_tick)},
                {"last_tick", optional_number(facts.last_tick)},
                {"bytes_on_disk", facts.bytes_on_disk},
                {"bytes_inflated", facts.bytes_inflated},
                {"inflated_ratio", facts.ratio()},
                {"session_texts", {{"count", facts.session_text_times.size()}, {"seconds", facts.session_text_times}}},
                {"variable_count", optional_number(facts.variable_count)},
                {"row_bytes", optional_number(facts.row_bytes)},
                {"variable_table_changes", facts.variable_table_changes},
                {"acc", nullptr},
                {"damaged_records", facts.damaged_frames},
                {"first_damage", nullptr}};
  if (facts.named_objects) {
    if (facts.has_layouts) document["layout_version"] = facts.layout ? Json(*facts.layout) : Json(nullptr);
    Json objects = Json::array();
    for (const auto& [name, size] : facts.objects) objects.push_back(Json{{"name", name}, {"size", size}});
    document["objects"] = std::move(objects);
  }
  if (facts.acc) {
    document["acc"] = Json{{"track", facts.acc->track},
                           {"car", facts.acc->car},
                           {"player", facts.acc->player},
                           {"session", enum_json(facts.acc->session, acc::session_type_value)},
                           {"status", enum_json(facts.acc->status, acc::status_value)}};
  }
  if (facts.first_damage) {
    document["first_damage"] = Json{{"frame", facts.first_damage->frame},
                                    {"offset", facts.first_damage->offset},
                                    {"reason", facts.first_damage->reason}};
  }
  out << json_text(document) << '\n';
}

int run_info(const CommandLine& command_line) {
  auto frames = open_recording(command_line.file());
  const RecordingFacts facts = gather(*frames, command_line.file());
  if (command_line.has("json")) {
    print_json(std::cout, command_line.file(), facts);
  } else {
    print_text(std::cout, command_line.file(), facts);
  }
  std::cout.flush();
  return facts.first_damage ? exit_damaged_input : exit_success;
}

}  // namespace

}  // namespace dumptool

int run_info_command(const std::vector<std::string>& arguments) {
  using namespace dumptool;
  CommandLine command_line("info FILE [--json]", info_about);
  command_line.add_options()("json", "print one JSON object instead, for scripts");
  if (const auto code = command_line.parse(arguments)) return *code;
  return run_guarded([&] { return run_info(command_line); });
}

}  // namespace vove
