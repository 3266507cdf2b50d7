// Reads the simulator's published list of live telemetry variables (the
// type declarations of @irsdk-node/types, one doc comment per variable) and,
// when given, the SDK's defines (which irsdk_* units are enumerations and
// which are bit fields). Shared by the table's generator and its check.
'use strict';
const fs = require('fs');
const path = require('path');

function packageFile(modules, pkg, relative) {
  return path.join(modules, pkg, relative);
}

// name -> { description, unit, countAsTime, length, boolean }
function readPublishedVariables(modules) {
  const file = packageFile(modules, '@irsdk-node/types', 'dist/types/telemetry.gen.d.ts');
  const text = fs.readFileSync(file, 'utf8');
  const pattern = new RegExp(
    String.raw`/\*\*\s*\n\s*\* (\S+)\s*\n\s*\*\s*\n\s*\* @description\s*\n\s*\* (.*)\n` +
      String.raw`\s*\* (?:Unit of the variable: (.*)|Variable does not have a unit\.)\s*\n` +
      String.raw`\s*\* This variable (does not count|counts) as a time\.\s*\n` +
      String.raw`\s*\* Expected data length: (\d+)\s*\n\s*\*/\s*\n\s*(\w+): TelemetryVariable(<boolean\[\]>)?;`,
    'g');
  const variables = new Map();
  for (const m of text.matchAll(pattern)) {
    if (m[1] !== m[6]) throw new Error(`${file}: the comment of ${m[6]} names ${m[1]}`);
    variables.set(m[6], {
      description: m[2].trimEnd(),
      unit: m[3] === undefined ? '' : m[3].trimEnd(),
      countAsTime: m[4] === 'counts',
      length: Number(m[5]),
      boolean: m[7] !== undefined,
    });
  }
  const declared = (text.match(/^\s+\w+: TelemetryVariable/gm) || []).length;
  if (declared !== variables.size) {
    throw new Error(`${file}: read ${variables.size} of ${declared} variables; the comment format has changed`);
  }
  return variables;
}

// irsdk_* enum name -> 'bitfield' (its values are hexadecimal bit masks) or 'int'
function readSdkUnits(modules) {
  const file = packageFile(modules, '@irsdk-node/native', 'lib/irsdk/irsdk_defines.h');
  const text = fs.readFileSync(file, 'utf8');
  const units = new Map();
  for (const m of text.matchAll(/enum\s+(irsdk_\w+)\s*\{([^}]*)\}/g)) {
    units.set(m[1], /=\s*0x[0-9a-fA-F]+/.test(m[2]) ? 'bitfield' : 'int');
  }
  return units;
}

const columns = ['name', 'type', 'count', 'count_as_time', 'unit', 'description', 'type_from', 'listed', 'motion'];

function readTable(file) {
  const lines = fs.readFileSync(file, 'utf8').split('\n').filter((l) => l.length > 0);
  if (lines[0] !== columns.join('\t')) throw new Error(`${file}: the first line is not the column names`);
  return lines.slice(1).map((line, i) => {
    const cells = line.split('\t');
    if (cells.length !== columns.length) throw new Error(`${file}:${i + 2}: ${cells.length} cells, not ${columns.length}`);
    return Object.fromEntries(columns.map((c, k) => [c, cells[k]]));
  });
}

function writeTable(file, rows) {
  const lines = [columns.join('\t'), ...rows.map((r) => columns.map((c) => String(r[c])).join('\t'))];
  fs.writeFileSync(file, lines.join('\n') + '\n');
}

module.exports = { readPublishedVariables, readSdkUnits, readTable, writeTable };
