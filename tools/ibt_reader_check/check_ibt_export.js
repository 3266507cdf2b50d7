// Compares a .ibt file written by `dumptool to-ibt` with the recording it
// came from. The recording is decoded here, from the dump format on its
// own (zlib records of iRacing frame payloads); the .ibt file is read by an
// independent reader from the npm registry. Neither side uses our code.
//
//   node check_ibt_export.js RECORDING.bin EXPORT.ibt
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

async function main() {
  const [recordingFile, ibtFile] = process.argv.slice(2);
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
  console.log(`ibt export check: passed: ${rows} rows, ${variables.length} variables, ${values} values, ` +
              `session text of ${lastText.length} bytes, sub-header counts`);
}

main().catch((error) => fail(error.stack || String(error)));
