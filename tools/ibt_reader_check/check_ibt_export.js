// Compares a .ibt file written by `dumptool to-ibt` with the recording it
// came from. The recording is decoded here, from the dump format on its
// own (zlib records of iRacing frame payloads); the .ibt file is read by an
// independent reader from the npm registry and, when its output is given, by
// the simulator SDK's own reader (read_with_sdk.cc). Neither side uses our code.
//
//   node check_ibt_export.js RECORDING.bin EXPORT.ibt [SDK_OUTPUT SDK_TEXT]
'use strict';

const fs = require('fs');
const path = require('path');
const zlib = require('zlib');
// The package's "main" is an old build that needs a global it does not
// bring; its typed build (the one its type declarations describe) works as is.
const { Telemetry, TelemetrySample } = require('ibt-telemetry/dist/index.js');
const { DiskSubHeader } = require('ibt-telemetry/dist/headers/disk-sub-header.js');
const { VarHeader } = require('ibt-telemetry/dist/headers/var-header.js');

const typeSizes = [1, 1, 4, 4, 4, 8];

function cString(buffer, start, length) {
  const bytes = buffer.subarray(start, start + length);
  const end = bytes.indexOf(0);
  return bytes.subarray(0, end < 0 ? bytes.length : end).toString('latin1');
}

// Every frame of the recording: its variables, session text (when carried) and row.
function* recordingFrames(file) {
  const bytes = fs.readFileSync(file);
  if (bytes.subarray(0, 8).toString('latin1') !== 'SHMTRACE') throw new Error(`${file} is no recording`);
  const fps = bytes.readUInt32LE(8);
  for (let at = 72; at + 8 <= bytes.length;) {
    const compressed = bytes.readUInt32LE(at);
    const payload = zlib.inflateSync(bytes.subarray(at + 8, at + 8 + compressed));
    at += 8 + compressed;
    const count = payload.readInt32LE(24);
    const variables = [];
    for (let i = 0; i < count; ++i) {
      const h = 112 + 144 * i;
      variables.push({
        type: payload.readInt32LE(h), offset: payload.readInt32LE(h + 4), count: payload.readInt32LE(h + 8),
        name: cString(payload, h + 16, 32), unit: cString(payload, h + 112, 32),
      });
    }
    let p = 112 + 144 * count;
    const textLength = Number(payload.readBigUInt64LE(p));
    const text = payload.subarray(p + 8, p + 8 + textLength).toString('latin1');
    p += 8 + textLength;
    const rowLength = Number(payload.readBigUInt64LE(p));
    yield { fps, variables, text, row: payload.subarray(p + 8, p + 8 + rowLength) };
  }
}

function valueAt(row, variable, index) {
  const at = variable.offset + index * typeSizes[variable.type];
  switch (variable.type) {
    case 0: return String.fromCharCode(row.readUInt8(at));
    case 1: return row.readUInt8(at) !== 0;
    case 2: return row.readInt32LE(at);
    case 3: return row.readUInt32LE(at);
    case 4: return row.readFloatLE(at);
    case 5: return row.readDoubleLE(at);
    default: throw new Error(`unknown type ${variable.type} of ${variable.name}`);
  }
}

// The reader gives booleans as 0 or 1 and chars as one-character strings.
function sameValue(theirs, ours) {
  if (typeof ours === 'boolean') return theirs === ours || theirs === (ours ? 1 : 0);
  if (Number.isNaN(ours)) return Number.isNaN(theirs);
  return theirs === ours;
}

// The reader hands out the first value of an array variable only. The
// other values are read by its own decoder too, from the row it sliced out
// of the file, through a variable header moved to each element.
function elementHeader(variable, index) {
  return new VarHeader({ type: variable.type, offset: variable.offset + index * typeSizes[variable.type], count: 1,
                         countAsTime: 0, name: variable.name, description: '', unit: variable.unit });
}

function fail(message) {
  console.error(`ibt export check: FAILED: ${message}`);
  process.exit(1);
}

// The bits of each recorded value as read_with_sdk prints the SDK's reading.
function bitsAt(row, variable, index) {
  const at = variable.offset + index * typeSizes[variable.type];
  switch (variable.type) {
    case 0: return String(row.readInt8(at));
    case 1: return row.readUInt8(at) !== 0 ? '1' : '0';
    case 2: return String(row.readInt32LE(at));
    case 3: case 4: return String(row.readUInt32LE(at));
    case 5: return String(row.readBigUInt64LE(at));
    default: throw new Error(`unknown type ${variable.type} of ${variable.name}`);
  }
}

// What the SDK's reader found, against the recording.
function checkSdkReading(output, textFile, frames, variables, lastText, expected) {
  const lines = fs.readFileSync(output, 'latin1').split('\n').filter((line) => line.length > 0);
  const header = lines[0].split('\t');
  if (header[0] !== 'header') fail('the SDK reader printed no header');
  if (Number(header[1]) !== variables.length) fail(`SDK reader: ${header[1]} variables, recorded ${variables.length}`);
  if (Number(header[2]) !== frames.length) fail(`SDK reader: ${header[2]} records, recorded ${frames.length}`);
  if (Number(header[3]) !== expected.start || Number(header[4]) !== expected.end || Number(header[5]) !== expected.laps) {
    fail(`SDK reader: start/end time ${header[3]}/${header[4]}, ${header[5]} laps; recorded ` +
         `${expected.start}/${expected.end}, ${expected.laps} laps`);
  }
  const named = lines.filter((line) => line.startsWith('var\t')).map((line) => line.split('\t'));
  named.forEach(([, name, type, count, unit], v) => {
    const ours = variables[v];
    if (name !== ours.name || Number(type) !== ours.type || Number(count) !== ours.count || (unit || '') !== ours.unit) {
      fail(`SDK reader: variable ${v} is ${name} (${type} x ${count}, ${unit}), recorded ${ours.name} ` +
           `(${ours.type} x ${ours.count}, ${ours.unit})`);
    }
  });
  const rows = lines.filter((line) => line.startsWith('row'));
  if (rows.length !== frames.length) fail(`SDK reader: ${rows.length} rows, recorded ${frames.length}`);
  let values = 0;
  rows.forEach((line, r) => {
    const read = line.split('\t').slice(1);
    let k = 0;
    variables.forEach((variable) => {
      for (let i = 0; i < variable.count; ++i, ++k) {
        const ours = bitsAt(frames[r].row, variable, i);
        if (read[k] !== ours) fail(`SDK reader: row ${r}: ${variable.name}[${i}] reads bits ${read[k]}, recorded ${ours}`);
        ++values;
      }
    });
  });
  // The SDK's reader puts its terminating zero on the last byte the header
  // declares, as its own writer declares the text without one: it gives the
  // text without its last character (the line end after "..."), as it does
  // for the simulator's own files.
  const sdkText = fs.readFileSync(textFile, 'latin1');
  if (sdkText !== lastText.slice(0, -1)) {
    let at = 0;
    while (at < sdkText.length && sdkText[at] === lastText[at]) ++at;
    fail(`SDK reader: the session text (${sdkText.length} bytes) differs from the one in force at the end ` +
         `(${lastText.length} bytes) from byte ${at} on`);
  }
  return values;
}

async function main() {
  const [recordingFile, ibtFile, sdkOutput, sdkText] = process.argv.slice(2);
  const frames = Array.from(recordingFrames(recordingFile));
  if (frames.length === 0) fail('the recording holds no frames');
  const lastText = frames.reduce((text, frame) => (frame.text.length > 0 ? frame.text : text), '');
  const variables = frames[0].variables;

  const telemetry = await Telemetry.fromFile(ibtFile);
  const header = telemetry.telemetryHeader;
  // The package's file loader hands its sub-header decoder the bytes at
  // offset 32 instead of 112 (a fault of the package, seen from its output
  // on any file), so the decoder is given the bytes where the format puts them.
  const fileBytes = fs.readFileSync(ibtFile);
  const disk = DiskSubHeader.fromBuffer(fileBytes.subarray(112, 144));
  if (header.tickRate !== frames[0].fps) fail(`tick rate ${header.tickRate}, recorded at ${frames[0].fps}`);
  if (header.numVars !== variables.length) fail(`${header.numVars} variables, recorded ${variables.length}`);
  if (disk.recordCount !== frames.length) fail(`record count ${disk.recordCount}, recorded ${frames.length} frames`);
  if (telemetry.sessionInfoYaml !== lastText) fail('the session text differs from the one in force at the end');
  const names = telemetry.varHeaders.map((v) => v.name);
  if (names.join('\n') !== variables.map((v) => v.name).join('\n')) fail('the variable names differ');

  const timeOf = frames[0].variables.find((v) => v.name === 'SessionTime');
  const lapOf = frames[0].variables.find((v) => v.name === 'Lap');
  const expectedStart = timeOf ? valueAt(frames[0].row, timeOf, 0) : 0;
  const expectedEnd = timeOf ? valueAt(frames[frames.length - 1].row, timeOf, 0) : 0;
  const expectedLaps = lapOf ? Math.max(...frames.map((f) => valueAt(f.row, lapOf, 0))) : 0;
  if (disk.startTime !== expectedStart || disk.endTime !== expectedEnd) {
    fail(`start/end time ${disk.startTime}/${disk.endTime}, recorded ${expectedStart}/${expectedEnd}`);
  }
  if (disk.lapCount !== expectedLaps) fail(`lap count ${disk.lapCount}, recorded ${expectedLaps}`);
  // The package decodes the 64-bit start date as a 32-bit float; it is read here.
  const stamp = /^vove_dump_(\d{4})-(\d\d)-(\d\d)-(\d\d)-(\d\d)-(\d\d)/.exec(path.basename(recordingFile));
  if (stamp) {
    const named = Date.UTC(stamp[1], stamp[2] - 1, stamp[3], stamp[4], stamp[5], stamp[6]) / 1000;
    const startDate = Number(fileBytes.readBigInt64LE(112));
    if (startDate !== named) fail(`start date ${startDate}, named ${named}`);
  }

  const elements = telemetry.varHeaders.map((v) => Array.from({ length: v.count }, (_, i) => [elementHeader(v, i)]));
  let rows = 0;
  let values = 0;
  for (const sample of telemetry.samples()) {
    if (rows >= frames.length) fail('the reader finds more rows than were recorded');
    const frame = frames[rows];
    variables.forEach((variable, v) => {
      for (let i = 0; i < variable.count; ++i) {
        const name = `${variable.name}[${i}]`;
        const param = i === 0 ? sample.getParam(variable.name)
                              : new TelemetrySample(sample.buff, elements[v][i]).getParam(variable.name);
        if (param === null) fail(`row ${rows}: no variable ${name}`);
        const ours = valueAt(frame.row, variable, i);
        if (!sameValue(param.value, ours)) fail(`row ${rows}: ${name} reads ${param.value}, recorded ${ours}`);
        if (param.unit !== variable.unit) fail(`${name}: unit ${param.unit}, recorded ${variable.unit}`);
        ++values;
      }
    });
    ++rows;
  }
  if (rows !== frames.length) fail(`the reader finds ${rows} rows, recorded ${frames.length}`);
  if (sdkOutput) {
    const sdkValues = checkSdkReading(sdkOutput, sdkText, frames, variables, lastText,
                                      { start: expectedStart, end: expectedEnd, laps: expectedLaps });
    console.log(`ibt export check: the SDK's own reader finds the same ${frames.length} rows and ${sdkValues} values`);
  }
  console.log(`ibt export check: passed: ${rows} rows, ${variables.length} variables, ${values} values, ` +
              `session text of ${lastText.length} bytes, sub-header counts`);
}

main().catch((error) => fail(error.stack || String(error)));
