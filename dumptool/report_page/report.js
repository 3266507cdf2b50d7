// Draws the lap report's charts from the data the page carries, with one
// cursor shared by every chart, and writes a self-check of what it drew
// into #self-check so that a test (or a curious reader) can see it.
(function () {
  "use strict";

  var check = document.getElementById("self-check");
  var errors = [];
  window.addEventListener("error", function (event) {
    errors.push(String(event.message || event));
    finish();
  });

  var data = JSON.parse(document.getElementById("report-data").textContent);
  var container = document.getElementById("charts");
  var plots = [];
  var syncKey = "laps";

  function distances() {
    var xs = new Array(data.axis.points);
    for (var i = 0; i < xs.length; i++) xs[i] = i * data.axis.step;
    return xs;
  }

  function chartWidth() {
    return Math.max(360, Math.min(1400, (container.clientWidth || 960) - 8));
  }

  // Zooming one chart zooms them all to the same stretch of the lap.
  var zooming = false;
  function followZoom(plot, key) {
    if (key !== "x" || zooming) return;
    zooming = true;
    var scale = plot.scales.x;
    plots.forEach(function (other) {
      if (other.plot !== plot) other.plot.setScale("x", { min: scale.min, max: scale.max });
    });
    zooming = false;
  }

  function addChart(id, title, unit, series, steps) {
    var section = document.createElement("section");
    section.className = "chart";
    section.id = id;
    var heading = document.createElement("h3");
    heading.textContent = title + (unit ? " (" + unit + ")" : "");
    section.appendChild(heading);
    container.appendChild(section);

    var xs = distances();
    var options = {
      width: chartWidth(),
      height: 170,
      cursor: { sync: { key: syncKey }, drag: { x: true, y: false } },
      scales: { x: { time: false } },
      axes: [{ label: "Distance (" + data.axis.unit + ")" }, { label: unit || title, size: 60 }],
      hooks: { setScale: [followZoom] },
      series: [{ label: "Distance" }]
    };
    var colours = [];
    series.forEach(function (values, index) {
      var lap = data.laps[index];
      colours.push(lap.colour);
      options.series.push({
        label: "Lap " + lap.number + (lap.best ? " (best)" : ""),
        stroke: lap.colour,
        width: 2,
        paths: steps ? uPlot.paths.stepped({ align: 1 }) : undefined
      });
    });
    var plot = new uPlot(options, [xs].concat(series), section);
    plots.push({ id: id, plot: plot, colours: colours, hidden: hiddenSeries(series) });
  }

  // Which series lie exactly under a later one (two laps in the same gear
  // throughout): they cannot show, so the self-check does not ask them to.
  function hiddenSeries(series) {
    return series.map(function (values, index) {
      return series.some(function (other, later) {
        return later > index && other.length === values.length &&
          other.every(function (v, i) { return v === values[i]; });
      });
    });
  }

  function hexToRgb(hex) {
    var n = parseInt(hex.slice(1), 16);
    return [(n >> 16) & 255, (n >> 8) & 255, n & 255];
  }

  // Pixels of a lap's colour on a chart's canvas, so a chart that drew only
  // its axes does not count as drawn.
  function pixelsOf(canvas, colour) {
    var context = canvas.getContext("2d");
    var image = context.getImageData(0, 0, canvas.width, canvas.height).data;
    var rgb = hexToRgb(colour);
    var count = 0;
    for (var i = 0; i < image.length; i += 4) {
      if (image[i + 3] > 200 && Math.abs(image[i] - rgb[0]) < 12 && Math.abs(image[i + 1] - rgb[1]) < 12 &&
          Math.abs(image[i + 2] - rgb[2]) < 12) {
        count++;
      }
    }
    return count;
  }

  function finish() {
    var drawn = 0;
    var results = plots.map(function (entry) {
      var canvas = entry.plot.ctx.canvas;
      var counts = entry.colours.map(function (colour) { return pixelsOf(canvas, colour); });
      var ok = counts.length > 0 && counts.every(function (c, i) { return c >= 20 || entry.hidden[i]; });
      if (ok) drawn++;
      return entry.id + ":" + counts.join("/");
    });
    check.setAttribute("data-charts", String(plots.length));
    check.setAttribute("data-drawn", String(drawn));
    check.setAttribute("data-pixels", results.join(" "));
    check.setAttribute("data-errors", errors.join(" | "));
    check.setAttribute("data-state", errors.length === 0 && drawn === plots.length ? "ok" : "failed");
    check.textContent = "charts " + plots.length + ", drawn " + drawn + ", errors " + errors.length;
  }

  data.charts.forEach(function (chart, index) {
    addChart("chart-" + index, chart.title, chart.unit, chart.series, chart.steps);
  });
  if (data.delta) {
    addChart("chart-delta", "Time to lap " + data.delta.reference + ", the best", "s", data.delta.series, false);
  }

  window.addEventListener("resize", function () {
    plots.forEach(function (entry) { entry.plot.setSize({ width: chartWidth(), height: 170 }); });
  });
  // uPlot draws in a task of its own after it is built.
  window.addEventListener("load", function () { setTimeout(finish, 50); });
})();
