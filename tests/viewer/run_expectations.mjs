// What the browser test compares a page with, read from its run folder: the
// synthetic sample's expected.json (which also counts the overlays it drew),
// or else the agents.csv that every `--out` run writes, so that a real run's
// page is checked against the host's own record of that run.
//   { source, agentCount, frameCount, names, tags, frames: [{ index, frame, positions, hpb }] }
// The CSV's format is host/export/csv_writer.h's. Its columns are taken by
// name from its header, so that a column added (at the end, as the writer
// promises) leaves this reader as it is.
import fs from 'node:fs';
import path from 'node:path';
import { requireModule } from './node_env.mjs';

const COLUMNS = ['frame', 'tag', 'index', 'name', 'x', 'y', 'z', 'h', 'p', 'b'];

// The records, each with the line it ends on (a quoted name may span
// lines); errors name the file and the line.
function records(text, source) {
  const { parse } = requireModule('csv-parse/sync');
  let rows;
  try {
    rows = parse(text, { columns: true, skip_empty_lines: true, info: true });
  } catch (e) {
    throw new Error(`${source}: ${e.message}`);
  }
  if (!rows.length) throw new Error(`${source}: no rows`);
  const missing = COLUMNS.filter((c) => !(c in rows[0].record));
  if (missing.length) throw new Error(`${source}: no column ${missing.join(', ')} in the header`);
  return rows.map(({ record, info }) => ({ ...record, line: info.lines }));
}

// Rows grouped into frames, agents in row order (the page's order: tags in
// evaluation order, agents in child order). Every frame must list the same
// agents, else the CSV is not one run and comparing with it means nothing.
export function expectationsFromCsv(text, source) {
  const frames = [];
  const whole = (f) => {
    const n = frames[0].keys.length;
    if (f.keys.length !== n) throw new Error(`${source}: frame ${f.frame} has ${f.keys.length} agents, not ${n}`);
  };
  let cur = null;
  for (const row of records(text, source)) {
    // The CSV prints 32-bit floats with 9 digits, which read back exactly
    // as the float the page holds.
    const num = (h) => Math.fround(Number(row[h]));
    const frame = num('frame');
    if (!cur || cur.frame !== frame) {
      if (cur) whole(cur);
      cur = { index: frames.length, frame, keys: [], names: [], positions: [], hpb: [] };
      frames.push(cur);
    }
    const key = `${row.tag}/${row.index}`;
    if (cur !== frames[0] && frames[0].keys[cur.keys.length] !== key) {
      throw new Error(`${source}:${row.line}: agent ${key} out of the first frame's order`);
    }
    cur.keys.push(key);
    cur.names.push(row.name);
    cur.positions.push([num('x'), num('y'), num('z')]);
    cur.hpb.push([num('h'), num('p'), num('b')]);
  }
  whole(cur);
  return {
    source,
    agentCount: frames[0].keys.length,
    frameCount: frames.length,
    names: frames[0].names,
    tags: frames[0].keys.map((k) => Number(k.split('/')[0])),
    frames: frames.map(({ index, frame, positions, hpb }) => ({ index, frame, positions, hpb })),
  };
}

export function loadExpectations(runDir) {
  const json = path.join(runDir, 'expected.json');
  if (fs.existsSync(json)) return { source: json, ...JSON.parse(fs.readFileSync(json, 'utf8')) };
  const csv = path.join(runDir, 'agents.csv');
  return expectationsFromCsv(fs.readFileSync(csv, 'utf8'), csv);
}
