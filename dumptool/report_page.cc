#include "dumptool/report_page.h"

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string_view>

#include "dumptool/json_text.h"
#include "dumptool/report_assets.h"

namespace vove {

namespace {

using dumptool::Json;
using dumptool::json_fixed;
using dumptool::json_text;
using dumptool::JsonPlace;

// Colours of the charted laps in turn; the page's self-check looks for them.
constexpr std::string_view lap_colours[] = {"#d62728", "#1f77b4", "#2ca02c", "#9467bd",
                                            "#ff7f0e", "#17becf", "#8c564b", "#e377c2"};

std::string colour_of(std::size_t index) { return std::string(lap_colours[index % std::size(lap_colours)]); }

std::string escape_html(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

Json fixed_series(const std::vector<double>& values, int decimals) {
  Json series = Json::array();
  for (const double value : values) series.push_back(json_fixed(value, decimals));
  return series;
}

std::string lap_time_text(double seconds) {
  if (!std::isfinite(seconds)) return "";
  const long long millis = std::llround(seconds * 1000.0);
  char text[48];
  std::snprintf(text, sizeof text, "%lld:%02lld.%03lld", millis / 60000, millis / 1000 % 60, millis % 1000);
  return text;
}

std::string duration_text(double seconds) {
  const long long whole = std::llround(seconds);
  char text[48];
  std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
  return text;
}

std::string chart_data_json(const ReportContent& content) {
  Json laps = Json::array();
  for (std::size_t t = 0; t < content.traces.size(); ++t) {
    const LapRecord* lap = content.laps.find(content.traces[t].number);
    laps.push_back({{"number", content.traces[t].number},
                    {"time", json_fixed(lap != nullptr ? lap->time : NAN, 3)},
                    {"colour", colour_of(t)},
                    {"best", content.reference == t}});
  }
  Json charts = Json::array();
  for (std::size_t c = 0; c < report_channel_count && !content.traces.empty(); ++c) {
    if (!content.charted[c]) continue;
    const ReportChannelInfo& info = report_channel_info(static_cast<ReportChannel>(c));
    Json series = Json::array();
    for (const LapTrace& trace : content.traces) series.push_back(fixed_series(trace.channels[c], info.steps ? 0 : 2));
    charts.push_back({{"title", std::string(info.title)},
                      {"unit", std::string(info.unit)},
                      {"steps", info.steps},
                      {"series", std::move(series)}});
  }
  Json map = nullptr;
  if (content.reference && !content.traces[*content.reference].map_x.empty()) {
    const LapTrace& lap = content.traces[*content.reference];
    const auto speed = static_cast<std::size_t>(ReportChannel::speed);
    map = {{"lap", lap.number},
           {"x", fixed_series(lap.map_x, 1)},
           {"y", fixed_series(lap.map_y, 1)},
           {"speed", content.charted[speed] ? fixed_series(lap.channels[speed], 1) : Json(nullptr)},
           {"unit", std::string(report_channel_info(ReportChannel::speed).unit)}};
  }
  Json delta = nullptr;
  if (content.reference && content.traces.size() > 1) {
    const LapTrace& reference = content.traces[*content.reference];
    Json series = Json::array();
    for (const LapTrace& trace : content.traces) series.push_back(fixed_series(time_delta(trace, reference), 3));
    delta = {{"reference", reference.number}, {"series", std::move(series)}};
  }
  const Json document{{"axis",
                       {{"unit", content.axis.in_metres ? "m" : "%"},
                        {"step", json_fixed(content.axis.step, 3)},
                        {"points", content.traces.empty() ? 0 : content.axis.points()}}},
                      {"laps", std::move(laps)},
                      {"charts", std::move(charts)},
                      {"map", std::move(map)},
                      {"delta", std::move(delta)}};
  return json_text(document, JsonPlace::inside_html);
}

void write_summary(std::ostringstream& html, const ReportContent& content) {
  const auto row = [&](std::string_view name, const std::string& value) {
    html << "<tr><th>" << name << "</th><td>"
         << (value.empty() ? "<span class=\"unknown\">not known</span>" : escape_html(value)) << "</td></tr>\n";
  };
  html << "<table class=\"summary\" id=\"summary\">\n";
  row("Track", content.session.track);
  row("Car", content.session.car);
  row("Driver", content.session.driver);
  row("Session", content.session.session_type);
  row("Recording", duration_text(content.recorded_seconds) + " (" + std::to_string(content.frames) + " frames at " +
                       std::to_string(content.rate) + " per second)");
  html << "</table>\n";
}

void write_lap_table(std::ostringstream& html, const ReportContent& content) {
  const LapTable& table = content.laps;
  if (table.laps.empty()) return;
  html << "<h2>Laps</h2>\n<table class=\"laps\" id=\"lap-table\">\n"
          "<thead><tr><th>Lap</th><th>Time</th><th>To best</th><th></th></tr></thead>\n<tbody>\n";
  const double best = table.best < table.laps.size() ? table.laps[table.best].time : NAN;
  for (std::size_t i = 0; i < table.laps.size(); ++i) {
    const LapRecord& lap = table.laps[i];
    const bool is_best = i == table.best;
    html << "<tr data-lap=\"" << lap.number << "\" data-complete=\"" << (lap.complete ? 1 : 0) << "\"";
    if (lap.complete) {
      char seconds[32];
      std::snprintf(seconds, sizeof seconds, "%.3f", lap.time);
      html << " data-seconds=\"" << seconds << "\"";
    }
    html << (is_best ? " class=\"best\"" : "") << "><td>" << lap.number << "</td>";
    if (lap.complete) {
      char gap[32];
      std::snprintf(gap, sizeof gap, "+%.3f", lap.time - best);
      html << "<td>" << lap_time_text(lap.time) << "</td><td>" << (is_best ? "" : gap) << "</td><td>"
           << (is_best ? "best" : "") << (lap.time_from_simulator ? "" : (is_best ? ", measured" : "measured"))
           << "</td>";
    } else {
      const bool first = i == 0;
      const bool last = i + 1 == table.laps.size();
      html << "<td colspan=\"3\" class=\"incomplete\">incomplete"
           << (first && last ? ": the recording covers only part of it"
               : first       ? ": the recording starts during this lap"
               : last        ? ": the recording ends during this lap"
                             : ": not driven from line to line")
           << "</td>";
    }
    html << "</tr>\n";
  }
  html << "</tbody></table>\n<p class=\"hint\">Times are the simulator's own where it reported them; "
          "\"measured\" times run from line crossing to line crossing in the recorded rows.</p>\n";
}

}  // namespace

std::string render_report_page(const ReportContent& content) {
  std::ostringstream html;
  html << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
       << "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
       // Nothing leaves the page: no request is allowed anywhere.
       << "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
          "script-src 'unsafe-inline'; style-src 'unsafe-inline'; img-src data:\">\n"
       << "<title>Lap report: " << escape_html(content.title) << "</title>\n"
       << "<style>\n"
       << report_chart_library_style() << "\n"
       << report_page_style() << "\n</style>\n"
       << "</head>\n<body>\n<h1>Lap report <span class=\"file\">" << escape_html(content.title) << "</span></h1>\n";
  write_summary(html, content);
  if (!content.notes.empty()) {
    html << "<ul class=\"notes\" id=\"notes\">\n";
    for (const std::string& note : content.notes) html << "<li>" << escape_html(note) << "</li>\n";
    html << "</ul>\n";
  }
  write_lap_table(html, content);
  html << "<div id=\"track-map\"></div>\n"
       << "<div id=\"charts\"></div>\n"
       << "<div id=\"self-check\" data-state=\"not run\" hidden></div>\n"
       << "<script type=\"application/json\" id=\"report-data\">" << chart_data_json(content) << "</script>\n"
       << "<script>\n"
       << report_chart_library_script() << "\n</script>\n"
       << "<script>\n"
       << report_page_script() << "\n</script>\n"
       << "<!-- The charts are drawn with uPlot; its license:\n"
       << report_chart_library_license() << "-->\n"
       << "</body>\n</html>\n";
  return html.str();
}

}  // namespace vove
