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

  // The track map: the best lap's line coloured by speed, and a marker
  // where the charts' cursor is along the lap.
  var map = null;
  function speedColour(value, low, high) {
    var share = high > low && value !== null ? Math.max(0, Math.min(1, (value - low) / (high - low))) : 0.5;
    return "hsl(" + Math.round(240 - 240 * share) + ", 85%, 45%)";
  }
  function addMap(source) {
    var section = document.createElement("section");
    section.className = "map";
    section.id = "map";
    var heading = document.createElement("h3");
    var speeds = (source.speed || []).filter(function (v) { return v !== null; });
    var low = speeds.length ? Math.min.apply(null, speeds) : 0;
    var high = speeds.length ? Math.max.apply(null, speeds) : 0;
    heading.textContent = "Track map: lap " + source.lap + (source.speed
      ? ", coloured by speed from blue (" + Math.round(low) + " " + source.unit + ") to red (" +
        Math.round(high) + " " + source.unit + ")"
      : "");
    section.appendChild(heading);
    var frame = document.createElement("div");
    frame.className = "map-frame";
    var size = 460;
    var ratio = window.devicePixelRatio || 1;
    var canvases = [0, 1].map(function () {
      var canvas = document.createElement("canvas");
      canvas.width = Math.round(size * ratio);
      canvas.height = Math.round(size * ratio);
      canvas.style.width = size + "px";
      canvas.style.height = size + "px";
      frame.appendChild(canvas);
      return canvas;
    });
    section.appendChild(frame);
    document.getElementById("track-map").appendChild(section);

    var xs = source.x, ys = source.y, minX = Infinity, maxX = -Infinity, minY = Infinity, maxY = -Infinity;
    for (var i = 0; i < xs.length; i++) {
      if (xs[i] === null || ys[i] === null) continue;
      minX = Math.min(minX, xs[i]); maxX = Math.max(maxX, xs[i]);
      minY = Math.min(minY, ys[i]); maxY = Math.max(maxY, ys[i]);
    }
    var margin = 16 * ratio;
    var span = Math.max(maxX - minX, maxY - minY, 1);
    var scale = (canvases[0].width - 2 * margin) / span;
    // North up: the map's y grows upwards, the canvas's downwards.
    function place(index) {
      if (xs[index] === null || ys[index] === null) return null;
      var offsetX = (canvases[0].width - 2 * margin - (maxX - minX) * scale) / 2;
      var offsetY = (canvases[0].height - 2 * margin - (maxY - minY) * scale) / 2;
      return [margin + offsetX + (xs[index] - minX) * scale, canvases[0].height - margin - offsetY - (ys[index] - minY) * scale];
    }
    var line = canvases[0].getContext("2d");
    line.lineWidth = 4 * ratio;
    line.lineCap = "round";
    for (var p = 1; p < xs.length; p++) {
      var a = place(p - 1), b = place(p);
      if (a === null || b === null) continue;
      line.strokeStyle = speedColour(source.speed ? source.speed[p] : null, low, high);
      line.beginPath();
      line.moveTo(a[0], a[1]);
      line.lineTo(b[0], b[1]);
      line.stroke();
    }
    map = { canvas: canvases[0], marker: canvases[1], place: place, ratio: ratio };
  }
  function followCursor(plot) {
    if (map === null) return;
    var context = map.marker.getContext("2d");
    context.clearRect(0, 0, map.marker.width, map.marker.height);
    var index = plot.cursor.idx;
    if (index === null || index === undefined) return;
    var at = map.place(index);
    if (at === null) return;
    context.beginPath();
    context.arc(at[0], at[1], 7 * map.ratio, 0, 2 * Math.PI);
    context.fillStyle = "#fff";
    context.fill();
    context.lineWidth = 3 * map.ratio;
    context.strokeStyle = "#111";
    context.stroke();
  }
  // Pixels the map's line covers.
  function mapPixels() {
    if (map === null) return 0;
    var image = map.canvas.getContext("2d").getImageData(0, 0, map.canvas.width, map.canvas.height).data;
    var count = 0;
    for (var i = 3; i < image.length; i += 4) if (image[i] > 200) count++;
    return count;
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
      hooks: { setScale: [followZoom], setCursor: [followCursor] },
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
    var mapDrawn = map === null || mapPixels() >= 500;
    check.setAttribute("data-map", map === null ? "none" : mapDrawn ? "drawn" : "empty");
    check.setAttribute("data-charts", String(plots.length));
    check.setAttribute("data-drawn", String(drawn));
    check.setAttribute("data-pixels", results.join(" "));
    check.setAttribute("data-errors", errors.join(" | "));
    check.setAttribute("data-state", errors.length === 0 && drawn === plots.length && mapDrawn ? "ok" : "failed");
    check.textContent = "charts " + plots.length + ", drawn " + drawn + ", map " +
      check.getAttribute("data-map") + ", errors " + errors.length;
  }

  if (data.map) addMap(data.map);
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
