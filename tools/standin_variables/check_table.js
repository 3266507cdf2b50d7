// Checks every row of the stand-in's variable table against the simulator's
// published list: the name exists, and count, count_as_time, unit,
// description and whether it is a boolean are the list's. Rows marked
// disk-only must be absent from the live list (else they are checked too).
//
//   node check_table.js NODE_MODULES TABLE.tsv
'use strict';
const { readPublishedVariables, readTable } = require('./published_variables.js');

const [modules, table] = process.argv.slice(2);
const published = readPublishedVariables(modules);
const rows = readTable(table);
const failures = [];
const diskOnly = [];
const seen = new Set();
for (const row of rows) {
  if (seen.has(row.name)) failures.push(`${row.name}: listed twice`);
  seen.add(row.name);
  const v = published.get(row.name);
  if (v === undefined) {
    if (row.listed === 'disk-only') diskOnly.push(row.name);
    else failures.push(`${row.name}: no such variable in the published list`);
    continue;
  }
  const expect = (what, ours, theirs) => {
    if (String(ours) !== String(theirs)) failures.push(`${row.name}: ${what} is '${ours}', the list says '${theirs}'`);
  };
  expect('count', row.count, v.length);
  expect('count_as_time', row.count_as_time, v.countAsTime ? 1 : 0);
  expect('unit', row.unit, v.unit);
  expect('description', row.description, v.description);
  expect('boolean', row.type === 'bool', v.boolean);
}
if (failures.length > 0) {
  console.log(`standin variables check: FAILED: ${failures.length} of ${rows.length} rows differ from the published list`);
  for (const f of failures) console.log('  ' + f);
  process.exit(1);
}
console.log(`standin variables check: passed: ${rows.length - diskOnly.length} variables as published` +
            (diskOnly.length ? `; ${diskOnly.join(', ')} are disk-only, not in the live list` : ''));
