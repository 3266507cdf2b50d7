// Fills the published columns of the stand-in's variable table (count,
// count_as_time, unit, description) from the simulator's published list and
// says where each type comes from: the list itself for booleans, the SDK's
// defines for irsdk_* units, the unit otherwise. The chosen columns (name,
// type, motion) are kept; a name the list does not hold stops the run
// unless the row is marked as a disk-only variable.
//
//   node generate_table.js NODE_MODULES TABLE.tsv
'use strict';
const { readPublishedVariables, readSdkUnits, readTable, writeTable } = require('./published_variables.js');

const [modules, table] = process.argv.slice(2);
const published = readPublishedVariables(modules);
const sdkUnits = readSdkUnits(modules);
const rows = readTable(table);
const problems = [];
for (const row of rows) {
  const v = published.get(row.name);
  if (v === undefined) {
    if (row.listed !== 'disk-only') problems.push(`${row.name}: not in the published list`);
    continue;
  }
  row.count = v.length;
  row.count_as_time = v.countAsTime ? 1 : 0;
  row.unit = v.unit;
  row.description = v.description;
  row.listed = 'live';
  if (v.boolean) {
    if (row.type !== 'bool') problems.push(`${row.name}: the list says boolean, the table ${row.type}`);
    row.type_from = 'list';
  } else if (row.type === 'bool') {
    problems.push(`${row.name}: the table says bool, the list does not`);
  } else if (sdkUnits.has(v.unit)) {
    if (row.type !== sdkUnits.get(v.unit)) problems.push(`${row.name}: ${v.unit} is a ${sdkUnits.get(v.unit)} in the SDK`);
    row.type_from = 'defines';
  } else {
    row.type_from = 'unit';
  }
}
if (problems.length > 0) {
  console.error(problems.join('\n'));
  process.exit(1);
}
writeTable(table, rows);
console.log(`${table}: ${rows.length} variables`);
