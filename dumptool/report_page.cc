#include "dumptool/report_page.h"

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string_view>

#include "dumptool/report_assets.h"

namespace {

// Colours of the charted laps in turn; the page's self-check looks for them.
constexpr std::string_view lap_colours[] = {"#d62728", "#1f77b4", "#2ca02c", "#9467bd",
                                            "#ff7f0e", "#17becf", "#8c564b", "#e377c2"};

std::string colour_of(std::size_t index) {
  return std::string(lap_colours[index % std::size(lap_colours)]);
}

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

// A JSON string that is also safe inside a <script> element.
std::string json_string(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '<' || c == '>' || c == '&' || u < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// Fixed decimals without trailing zeros; null for a missing value.
void write_number(std::string& out, double value, int decimals) {
  if (!std::isfinite(value)) {
    out += "null";
    return;
  }
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  std::string_view v(text);
  if (v.find('.') != std::string_view::npos) {
    while (v.back() == '0') v.remove_suffix(1);
    if (v.back() == '.') v.remove_suffix(1);
  }
  if (v == "-0") v = "0";
  out += v;
}

void write_series(std::string& out, const std::vector<double>& values, int decimals) {
  out += '[';
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0) out += ',';
    write_number(out, values[i], decimals);
  }
  out += ']';
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
  std::string out = "{\"axis\":{\"unit\":";
  out += json_string(content.axis.in_metres ? "m" : "%");
  out += ",\"step\":";
  write_number(out, content.axis.step, 3);
  out += ",\"points\":" + std::to_string(content.traces.empty() ? 0 : content.axis.points());
  out += "},\"laps\":[";
  for (std::size_t t = 0; t < content.traces.size(); ++t) {
    const LapRecord* lap = content.laps.find(content.traces[t].number);
    out += t > 0 ? "," : "";
    out += "{\"number\":" + std::to_string(content.traces[t].number) + ",\"time\":";
    write_number(out, lap != nullptr ? lap->time : NAN, 3);
    out += ",\"colour\":" + json_string(colour_of(t));
    out += ",\"best\":";
    out += content.reference == t ? "true" : "false";
    out += "}";
  }
  out += "],\"charts\":[";
  bool first_chart = true;
  for (std::size_t c = 0; c < report_channel_count && !content.traces.empty(); ++c) {
    if (!content.charted[c]) continue;
    const ReportChannelInfo& info = report_channel_info(static_cast<ReportChannel>(c));
    out += first_chart ? "" : ",";
    first_chart = false;
    out += "{\"title\":" + json_string(info.title) + ",\"unit\":" + json_string(info.unit) + ",\"steps\":";
    out += info.steps ? "true" : "false";
    out += ",\"series\":[";
    for (std::size_t t = 0; t < content.traces.size(); ++t) {
      out += t > 0 ? "," : "";
      write_series(out, content.traces[t].channels[c], info.steps ? 0 : 2);
    }
    out += "]}";
  }
  out += "],\"map\":";
  if (content.reference && !content.traces[*content.reference].map_x.empty()) {
    const LapTrace& lap = content.traces[*content.reference];
    out += "{\"lap\":" + std::to_string(lap.number) + ",\"x\":";
    write_series(out, lap.map_x, 1);
    out += ",\"y\":";
    write_series(out, lap.map_y, 1);
    const auto speed = static_cast<std::size_t>(ReportChannel::speed);
    out += ",\"speed\":";
    if (content.charted[speed]) write_series(out, lap.channels[speed], 1);
    else out += "null";
    out += ",\"unit\":" + json_string(report_channel_info(ReportChannel::speed).unit) + "}";
  } else {
    out += "null";
  }
  out += ",\"delta\":";
  if (content.reference && content.traces.size() > 1) {
    const LapTrace& reference = content.traces[*content.reference];
    out += "{\"reference\":" + std::to_string(reference.number) + ",\"series\":[";
    for (std::size_t t = 0; t < content.traces.size(); ++t) {
      out += t > 0 ? "," : "";
      write_series(out, time_delta(content.traces[t], reference), 3);
    }
    out += "]}";
  } else {
    out += "null";
  }
  return out + "}";
}

void write_summary(std::ostringstream& html, const ReportContent& content) {
  const auto row = [&](std::string_view name, const std::string& value) {
    html << "<tr><th>" << name << "</th><td>" << (value.empty() ? "<span class=\"unknown\">not known</span>"
                                                                 : escape_html(value))
         << "</td></tr>\n";
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
           << (is_best ? "best" : "")
           << (lap.time_from_simulator ? "" : (is_best ? ", measured" : "measured")) << "</td>";
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
       << "<style>\n" << report_chart_library_style() << "\n" << report_page_style() << "\n</style>\n"
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
       << "<script>\n" << report_chart_library_script() << "\n</script>\n"
       << "<script>\n" << report_page_script() << "\n</script>\n"
       << "<!-- The charts are drawn with uPlot; its license:\n" << report_chart_library_license() << "-->\n"
       << "</body>\n</html>\n";
  return html.str();
}
