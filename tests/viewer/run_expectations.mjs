// What the browser test compares a page with, read from its run folder: the
// synthetic sample's expected.json (which also counts the overlays it drew),
// or else the agents.csv that every `--out` run writes, so that a real run's
// page is checked against the host's own record of that run.
//   { source, agentCount, frameCount, names, tags, frames: [{ index, frame, positions, hpb }] }
import fs from 'node:fs';
import path from 'node:path';

// One CSV line into fields: names are quoted when they hold a comma or a
// quote, with quotes doubled.
function csvFields(line) {
  const out = [];
  let field = '', quoted = false;
  for (let i = 0; i < line.length; i++) {
    const c = line[i];
    if (quoted) {
      if (c === '"' && line[i + 1] === '"') field += '"', i++;
      else if (c === '"') quoted = false;
      else field += c;
    } else if (c === '"') quoted = true;
    else if (c === ',') out.push(field), field = '';
    else field += c;
  }
  out.push(field);
  return out;
}

// Rows grouped into frames, agents in row order (the page's order: tags in
// evaluation order, agents in child order). Every frame must list the same
// agents, else the CSV is not one run and comparing with it means nothing.
function fromCsv(file) {
  const lines = fs.readFileSync(file, 'utf8').split(/\r?\n/).filter((l) => l.length);
  const header = csvFields(lines[0] || '');
  const col = Object.fromEntries(header.map((h, i) => [h, i]));
  for (const h of ['frame', 'tag', 'index', 'name', 'x', 'y', 'z', 'h', 'p', 'b']) {
    if (!(h in col)) throw new Error(`${file}: no column ${h} in the header`);
  }
  const frames = [];
  let keys = null, cur = null;
  for (let r = 1; r < lines.length; r++) {
    const f = csvFields(lines[r]);
    // The CSV prints 32-bit floats with 9 digits, which read back exactly
    // as the float the page holds.
    const num = (h) => Math.fround(Number(f[col[h]]));
    const frame = num('frame');
    if (!cur || cur.frame !== frame) {
      if (cur && keys && cur.keys.length !== keys.length) throw new Error(`${file}: frame ${cur.frame} has ${cur.keys.length} agents, not ${keys.length}`);
      if (cur && !keys) keys = cur.keys;
      cur = { index: frames.length, frame, keys: [], names: [], positions: [], hpb: [] };
      frames.push(cur);
    }
    const key = `${f[col.tag]}/${f[col.index]}`;
    if (keys && keys[cur.keys.length] !== key) throw new Error(`${file}:${r + 1}: agent ${key} out of the first frame's order`);
    cur.keys.push(key);
    cur.names.push(f[col.name]);
    cur.positions.push([num('x'), num('y'), num('z')]);
    cur.hpb.push([num('h'), num('p'), num('b')]);
  }
  if (!frames.length) throw new Error(`${file}: no rows`);
  const last = frames[frames.length - 1];
  if (keys && last.keys.length !== keys.length) throw new Error(`${file}: frame ${last.frame} has ${last.keys.length} agents, not ${keys.length}`);
  return {
    source: file,
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
  return fromCsv(path.join(runDir, 'agents.csv'));
}
