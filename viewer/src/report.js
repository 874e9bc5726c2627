// The run's crowd report (kestrelwood-report/1, written by the host beside
// the run) read for the page: its events matched to the page's agents and
// obstacles, gathered into timeline marks, and indexed by frame for the
// highlights. No DOM and no three.js here, so that node can test it alone.
//
// Marks. A report lists events per agent-frame, and a bad crowd has hundreds
// of them (the demo's rocks hold 251 agent-frames of intrusions), far too
// many ticks for a 300-frame timeline. What an animator fixes is a spell: one
// agent walking through one rock, one pair brushing past each other, one
// agent circling. So:
//   - intrusions: one mark per spell of one agent inside one obstacle, a run
//     of consecutive scene frames (f, f + 1, ...); a click jumps to the spell's
//     deepest frame (the first of equals);
//   - close pairs: one mark per spell of one pair of agents (either order)
//     closer than the minimum gap; a click jumps to the closest frame;
//   - stuck: one mark per stuck spell the report lists; a click jumps to its
//     first frame.
// Spells never join across tags. Marks are ordered by first frame, then
// intrusions, close pairs, stuck, then tag and names.
//
// Matching. Agents are named per tag: an event's (tag, name) picks the page's
// agent. When several agents of one tag share the name, an index the report
// may carry (agentIndex, aIndex, bIndex: the child index) picks one of them,
// else the event stands for all of them and is counted as ambiguous.
// Obstacles are matched by name, every obstacle of that name. Events naming
// nothing in the run, or frames the run did not record, are counted and left
// out, never guessed.

export const REPORT_FORMAT = 'kestrelwood-report/1';
export const KINDS = ['intrusion', 'close-pair', 'stuck'];

const isInt = (v) => Number.isInteger(v);
const isNum = (v) => typeof v === 'number' && Number.isFinite(v);
const isName = (v) => typeof v === 'string';

// meta: the page's run (agents [{name, tag, index}], obstacles [{name}],
// frames [scene frame numbers]).
export function readReport(report, meta) {
  const out = {
    state: 'none', // none | unreadable | clean | events
    message: '',
    tags: [],
    marks: [],
    frames: null,
    unmatched: 0,   // events naming an agent or obstacle the run does not have
    ambiguous: 0,   // events whose agent name several agents of the tag share
    outside: 0,     // events at frames the run did not record
    unreadable: 0,  // entries without the fields an event needs
    // scene frame -> { agents: Set, obstacles: Set, pairs: [[a, b]], notes: Map(agent -> [text]) }
    byFrame: new Map(),
  };
  if (report === null || report === undefined) {
    out.message = 'Not checked: this page holds no crowd report.';
    return out;
  }
  if (typeof report !== 'object' || Array.isArray(report)) {
    out.state = 'unreadable';
    out.message = 'The crowd report is not a JSON object.';
    return out;
  }
  if (report.format !== REPORT_FORMAT) {
    out.state = 'unreadable';
    out.message = `The crowd report's format is ${JSON.stringify(report.format)}, not ${REPORT_FORMAT}: this page cannot read it.`;
    return out;
  }
  if (!Array.isArray(report.tags)) {
    out.state = 'unreadable';
    out.message = 'The crowd report has no list of tags.';
    return out;
  }
  if (Array.isArray(report.frames) && report.frames.length === 2 && report.frames.every(isInt)) out.frames = report.frames;

  const agentsByName = new Map();
  meta.agents.forEach((a, i) => {
    const key = `${a.tag}\u0000${a.name}`;
    if (!agentsByName.has(key)) agentsByName.set(key, []);
    agentsByName.get(key).push(i);
  });
  const obstaclesByName = new Map();
  meta.obstacles.forEach((o, i) => {
    if (!obstaclesByName.has(o.name)) obstaclesByName.set(o.name, []);
    obstaclesByName.get(o.name).push(i);
  });
  const recorded = new Set(meta.frames);

  // The page's agents an event names; null when none.
  const agentsOf = (tag, name, index) => {
    const all = agentsByName.get(`${tag}\u0000${name}`);
    if (!all) return null;
    if (all.length === 1) return all;
    const one = isInt(index) ? all.filter((i) => meta.agents[i].index === index) : [];
    if (one.length === 1) return one;
    out.ambiguous++;
    return all;
  };
  const seen = (frame) => {
    if (recorded.has(frame)) return true;
    out.outside++;
    return false;
  };
  const at = (frame) => {
    if (!out.byFrame.has(frame)) out.byFrame.set(frame, { agents: new Set(), obstacles: new Set(), pairs: [], notes: new Map() });
    return out.byFrame.get(frame);
  };
  const note = (f, agents, text) => {
    for (const i of agents) {
      if (!f.notes.has(i)) f.notes.set(i, []);
      f.notes.get(i).push(text);
    }
  };
  const list = (v) => (Array.isArray(v) ? v : []);

  report.tags.forEach((t, position) => {
    if (!t || typeof t !== 'object') { out.unreadable++; return; }
    const tag = isInt(t.tag) ? t.tag : position;
    const info = {
      tag,
      object: isName(t.object) ? t.object : '',
      agents: isInt(t.agents) ? t.agents : null,
      minGap: isNum(t.minGap) ? t.minGap : null,
      summary: t.summary && typeof t.summary === 'object' ? t.summary : null,
      counts: { intrusion: 0, 'close-pair': 0, stuck: 0 },
    };
    out.tags.push(info);

    // Intrusions: spells keyed by (agent, obstacle).
    const spells = new Map();
    for (const e of list(t.intrusions)) {
      if (!e || !isInt(e.frame) || !isName(e.agent) || !isName(e.obstacle)) { out.unreadable++; continue; }
      const agents = agentsOf(tag, e.agent, e.agentIndex);
      const obstacles = obstaclesByName.get(e.obstacle);
      if (!agents || !obstacles) { out.unmatched++; continue; }
      if (!seen(e.frame)) continue;
      const key = `${e.agent}\u0000${isInt(e.agentIndex) ? e.agentIndex : ''}\u0000${e.obstacle}`;
      if (!spells.has(key)) spells.set(key, { agents, obstacles, names: [e.agent], obstacleName: e.obstacle, events: [] });
      spells.get(key).events.push({ frame: e.frame, value: isNum(e.depth) ? e.depth : 0 });
      const f = at(e.frame);
      agents.forEach((i) => f.agents.add(i));
      obstacles.forEach((i) => f.obstacles.add(i));
      note(f, agents, `inside ${e.obstacle}` + (isNum(e.depth) ? ` by ${e.depth.toFixed(2)}` : ''));
      info.counts.intrusion++;
    }
    for (const s of spells.values()) {
      for (const run of splitRuns(s.events)) {
        out.marks.push(mark('intrusion', tag, s, run, (a, b) => b.value > a.value));
      }
    }

    // Close pairs: spells keyed by the unordered pair.
    spells.clear();
    for (const e of list(t.closePairs)) {
      if (!e || !isInt(e.frame) || !isName(e.a) || !isName(e.b)) { out.unreadable++; continue; }
      const a = agentsOf(tag, e.a, e.aIndex), b = agentsOf(tag, e.b, e.bIndex);
      if (!a || !b) { out.unmatched++; continue; }
      if (!seen(e.frame)) continue;
      const ka = `${e.a}\u0000${isInt(e.aIndex) ? e.aIndex : ''}`, kb = `${e.b}\u0000${isInt(e.bIndex) ? e.bIndex : ''}`;
      const [first, second] = ka <= kb ? [[ka, e.a, a], [kb, e.b, b]] : [[kb, e.b, b], [ka, e.a, a]];
      const key = `${first[0]}\u0001${second[0]}`;
      if (!spells.has(key)) {
        spells.set(key, { agents: [...new Set([...first[2], ...second[2]])], obstacles: [], names: [first[1], second[1]], events: [] });
      }
      spells.get(key).events.push({ frame: e.frame, value: isNum(e.distance) ? e.distance : Infinity });
      const f = at(e.frame);
      a.forEach((i) => f.agents.add(i));
      b.forEach((i) => f.agents.add(i));
      f.pairs.push([a[0], b[0]]);
      const dist = isNum(e.distance) ? `, ${e.distance.toFixed(2)} apart` : '';
      note(f, a, `close to ${e.b}${dist}`);
      note(f, b, `close to ${e.a}${dist}`);
      info.counts['close-pair']++;
    }
    for (const s of spells.values()) {
      for (const run of splitRuns(s.events)) {
        out.marks.push(mark('close-pair', tag, s, run, (x, y) => y.value < x.value));
      }
    }

    // Stuck spells, as the report gives them.
    for (const e of list(t.stuck)) {
      if (!e || !isName(e.agent) || !isInt(e.from) || !isInt(e.to) || e.to < e.from) { out.unreadable++; continue; }
      const agents = agentsOf(tag, e.agent, e.agentIndex);
      if (!agents) { out.unmatched++; continue; }
      if (!seen(e.from) || !seen(e.to)) continue;
      const frames = meta.frames.filter((f) => f >= e.from && f <= e.to);
      for (const fr of frames) {
        const f = at(fr);
        agents.forEach((i) => f.agents.add(i));
        note(f, agents, `stuck, frames ${e.from}\u2013${e.to}`);
      }
      out.marks.push({
        kind: 'stuck', tag, agents, obstacles: [], names: [e.agent], obstacleName: '',
        from: e.from, to: e.to, frame: e.from, worst: null, frames: frames.length,
      });
      info.counts.stuck++;
    }
  });

  const kindOrder = (k) => KINDS.indexOf(k);
  out.marks.sort((x, y) => x.from - y.from || kindOrder(x.kind) - kindOrder(y.kind) || x.tag - y.tag ||
    cmp(x.names.join('\u0000'), y.names.join('\u0000')) || cmp(x.obstacleName, y.obstacleName));
  out.state = out.marks.length ? 'events' : 'clean';
  out.message = out.marks.length
    ? `${out.marks.length} ${out.marks.length === 1 ? 'spell' : 'spells'} to look at`
    : 'Checked: no intrusions, close pairs or stuck agents.';
  return out;
}

function cmp(a, b) { return a < b ? -1 : a > b ? 1 : 0; }

// Events of one spell key into runs of consecutive frames (duplicates of a
// frame, e.g. two obstacles of one name, stay in one run).
export function splitRuns(events) {
  const sorted = [...events].sort((a, b) => a.frame - b.frame);
  const runs = [];
  for (const e of sorted) {
    const cur = runs[runs.length - 1];
    if (cur && e.frame <= cur[cur.length - 1].frame + 1) cur.push(e);
    else runs.push([e]);
  }
  return runs;
}

function mark(kind, tag, spell, run, better) {
  let worst = run[0];
  for (const e of run) if (better(worst, e)) worst = e;
  return {
    kind, tag, agents: spell.agents, obstacles: spell.obstacles, names: spell.names,
    obstacleName: spell.obstacleName || '', from: run[0].frame, to: run[run.length - 1].frame,
    frame: worst.frame, worst: Number.isFinite(worst.value) ? worst.value : null,
    frames: new Set(run.map((e) => e.frame)).size,
  };
}

// One line about a mark, for its tooltip and the list.
export function describeMark(m, digits = 1) {
  const one = m.from === m.to, span = `frames ${m.from}\u2013${m.to}`;
  const worst = m.worst === null ? '?' : m.worst.toFixed(digits);
  if (m.kind === 'intrusion') {
    return one ? `${m.names[0]} inside ${m.obstacleName} at frame ${m.from}, ${worst} deep`
      : `${m.names[0]} inside ${m.obstacleName}, ${span}, deepest ${worst} at ${m.frame}`;
  }
  if (m.kind === 'close-pair') {
    return one ? `${m.names[0]} and ${m.names[1]} at frame ${m.from}, ${worst} apart`
      : `${m.names[0]} and ${m.names[1]} close, ${span}, closest ${worst} at ${m.frame}`;
  }
  return one ? `${m.names[0]} stuck at frame ${m.from}` : `${m.names[0]} stuck, ${span}`;
}
