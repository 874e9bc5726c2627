// The run's crowd report (kestrelwood-report/1, written by the host beside
// the run) read for the page: its events matched to the page's agents and
// obstacles, gathered into timeline marks, and indexed by frame for the
// highlights. No DOM and no three.js here, so that node can test it alone.
//
// Kinds. The report lists its kinds of check ("kinds": name, label, colour,
// in the lanes' order) and words each tag's summary ("summary.text"); the
// page takes both as they stand. What stays here is how each kind's events
// become spells, keyed by the kind's name (SPELL_READERS): a kind the page
// has no reader for is counted and said, not shown.
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
// their kinds' lanes, then tag and names. A mark: { kind: 'intrusion' |
// 'close-pair' | 'stuck', lane: the name of its kind of check, tag, agents
// and obstacles (the page's indices), names, obstacleName, from, to, frame
// (where a click goes), worst (depth or distance there), frames }.
//
// Matching. Agents are named per tag: an event's (tag, name) picks the page's
// agent. When several agents of one tag share the name, an index the report
// may carry (agentIndex, aIndex, bIndex: the child index) picks one of them,
// else the event stands for all of them and is counted as ambiguous.
// Obstacles are matched by name, every obstacle of that name. Events naming
// nothing in the run, or frames the run did not record, are counted and left
// out, never guessed.

export const REPORT_FORMAT = 'kestrelwood-report/1';

// At a frame without events.
export const NO_EVENTS = Object.freeze({ agents: new Set(), obstacles: new Set(), pairs: [], notes: new Map() });

const isInt = (v) => Number.isInteger(v);
const isNum = (v) => typeof v === 'number' && Number.isFinite(v);
const isName = (v) => typeof v === 'string';
const list = (v) => (Array.isArray(v) ? v : []);

const isColour = (v) => typeof v === 'string' && /^#[0-9a-f]{6}$/i.test(v);

// Why the page cannot read the report; '' when it can.
function refusal(report) {
  if (typeof report !== 'object' || Array.isArray(report)) return 'The crowd report is not a JSON object.';
  if (report.format !== REPORT_FORMAT) {
    return `The crowd report's format is ${JSON.stringify(report.format)}, not ${REPORT_FORMAT}: this page cannot read it.`;
  }
  if (!Array.isArray(report.tags)) return 'The crowd report has no list of tags.';
  if (!Array.isArray(report.kinds)) return 'The crowd report does not list its kinds of check: this page cannot read it.';
  return '';
}

// The report's kinds of check, in the lanes' order: { name (the key of each
// tag's event array), option, label (a lane's title), colour, one, many }.
// Entries without a name, label or colour are counted as unreadable; kinds
// this page has no reader for are kept apart with their events' count.
function readKinds(report, out) {
  const kinds = [];
  for (const k of report.kinds) {
    if (!k || !isName(k.name) || !isName(k.label) || !isColour(k.colour)) out.unreadable++;
    else if (!Object.hasOwn(SPELL_READERS, k.name)) out.unknown.set(k.name, 0);
    else if (!kinds.some((x) => x.name === k.name)) kinds.push(k);
  }
  for (const [name] of out.unknown) {
    for (const t of report.tags) out.unknown.set(name, out.unknown.get(name) + list(t && t[name]).length);
  }
  return kinds;
}

function emptyChecks() {
  return {
    state: 'none', // none | unreadable | clean | events
    message: '',
    kinds: [],
    tags: [],
    marks: [],
    frames: null,
    unmatched: 0,   // events naming an agent or obstacle the run does not have
    ambiguous: 0,   // events whose agent name several agents of the tag share
    outside: 0,     // events at frames the run did not record
    unreadable: 0,  // entries without the fields an event or a kind needs
    unknown: new Map(), // kinds of check this page cannot show -> their events
    // scene frame -> { agents: Set, obstacles: Set, pairs: [[a, b]], notes: Map(agent -> [text]) }
    byFrame: new Map(),
  };
}

// What the spells' readers share: the run's agents and obstacles by name,
// and the per-frame events they fill in `out`.
function runIndex(meta, out) {
  const group = (items, keyOf) => {
    const g = new Map();
    items.forEach((x, i) => {
      const k = keyOf(x);
      if (!g.has(k)) g.set(k, []);
      g.get(k).push(i);
    });
    return g;
  };
  const agentsByName = group(meta.agents, (a) => `${a.tag}\u0000${a.name}`);
  const obstaclesByName = group(meta.obstacles, (o) => o.name);
  const recorded = new Set(meta.frames);
  return {
    // The page's agents an event names; null when none.
    agentsOf(tag, name, index) {
      const all = agentsByName.get(`${tag}\u0000${name}`);
      if (!all) return null;
      if (all.length === 1) return all;
      const one = isInt(index) ? all.filter((i) => meta.agents[i].index === index) : [];
      if (one.length === 1) return one;
      out.ambiguous++;
      return all;
    },
    obstaclesOf: (name) => obstaclesByName.get(name),
    // The recorded scene frames from `from` to `to`.
    framesBetween: (from, to) => meta.frames.filter((f) => f >= from && f <= to),
    seen(frame) {
      if (recorded.has(frame)) return true;
      out.outside++;
      return false;
    },
    at(frame) {
      if (!out.byFrame.has(frame)) out.byFrame.set(frame, { agents: new Set(), obstacles: new Set(), pairs: [], notes: new Map() });
      return out.byFrame.get(frame);
    },
    note(f, agents, text) {
      for (const i of agents) {
        if (!f.notes.has(i)) f.notes.set(i, []);
        f.notes.get(i).push(text);
      }
    },
  };
}

// Intrusions: spells keyed by (agent, obstacle).
function readIntrusions(events, info, run, out) {
  const spells = new Map();
  for (const e of events) {
    if (!e || !isInt(e.frame) || !isName(e.agent) || !isName(e.obstacle)) { out.unreadable++; continue; }
    const agents = run.agentsOf(info.tag, e.agent, e.agentIndex);
    const obstacles = run.obstaclesOf(e.obstacle);
    if (!agents || !obstacles) { out.unmatched++; continue; }
    if (!run.seen(e.frame)) continue;
    const key = `${e.agent}\u0000${isInt(e.agentIndex) ? e.agentIndex : ''}\u0000${e.obstacle}`;
    if (!spells.has(key)) spells.set(key, { agents, obstacles, names: [e.agent], obstacleName: e.obstacle, events: [] });
    spells.get(key).events.push({ frame: e.frame, value: isNum(e.depth) ? e.depth : 0 });
    const f = run.at(e.frame);
    agents.forEach((i) => f.agents.add(i));
    obstacles.forEach((i) => f.obstacles.add(i));
    run.note(f, agents, `inside ${e.obstacle}` + (isNum(e.depth) ? ` by ${e.depth.toFixed(2)}` : ''));
    info.counts.intrusion++;
  }
  return spellMarks('intrusion', info.tag, spells, (a, b) => b.value > a.value);
}

// Close pairs: spells keyed by the unordered pair.
function readClosePairs(events, info, run, out) {
  const spells = new Map();
  for (const e of events) {
    if (!e || !isInt(e.frame) || !isName(e.a) || !isName(e.b)) { out.unreadable++; continue; }
    const a = run.agentsOf(info.tag, e.a, e.aIndex), b = run.agentsOf(info.tag, e.b, e.bIndex);
    if (!a || !b) { out.unmatched++; continue; }
    if (!run.seen(e.frame)) continue;
    const ka = `${e.a}\u0000${isInt(e.aIndex) ? e.aIndex : ''}`, kb = `${e.b}\u0000${isInt(e.bIndex) ? e.bIndex : ''}`;
    const [first, second] = ka <= kb ? [[ka, e.a, a], [kb, e.b, b]] : [[kb, e.b, b], [ka, e.a, a]];
    const key = `${first[0]}\u0001${second[0]}`;
    if (!spells.has(key)) {
      spells.set(key, { agents: [...new Set([...first[2], ...second[2]])], obstacles: [], names: [first[1], second[1]], events: [] });
    }
    spells.get(key).events.push({ frame: e.frame, value: isNum(e.distance) ? e.distance : Infinity });
    const f = run.at(e.frame);
    a.forEach((i) => f.agents.add(i));
    b.forEach((i) => f.agents.add(i));
    f.pairs.push([a[0], b[0]]);
    const dist = isNum(e.distance) ? `, ${e.distance.toFixed(2)} apart` : '';
    run.note(f, a, `close to ${e.b}${dist}`);
    run.note(f, b, `close to ${e.a}${dist}`);
    info.counts['close-pair']++;
  }
  return spellMarks('close-pair', info.tag, spells, (x, y) => y.value < x.value);
}

// Stuck spells, as the report gives them.
function readStuck(events, info, run, out) {
  const marks = [];
  for (const e of events) {
    if (!e || !isName(e.agent) || !isInt(e.from) || !isInt(e.to) || e.to < e.from) { out.unreadable++; continue; }
    const agents = run.agentsOf(info.tag, e.agent, e.agentIndex);
    if (!agents) { out.unmatched++; continue; }
    if (!run.seen(e.from) || !run.seen(e.to)) continue;
    const frames = run.framesBetween(e.from, e.to);
    for (const fr of frames) {
      const f = run.at(fr);
      agents.forEach((i) => f.agents.add(i));
      run.note(f, agents, `stuck, frames ${e.from}\u2013${e.to}`);
    }
    marks.push({
      kind: 'stuck', tag: info.tag, agents, obstacles: [], names: [e.agent], obstacleName: '',
      from: e.from, to: e.to, frame: e.from, worst: null, frames: frames.length,
    });
    info.counts.stuck++;
  }
  return marks;
}

// How each kind of check's events become marks, by the kind's name (the key
// of its events in a tag's entry).
const SPELL_READERS = { intrusions: readIntrusions, closePairs: readClosePairs, stuck: readStuck };

function readTag(t, position, kinds, run, out) {
  if (!t || typeof t !== 'object') { out.unreadable++; return; }
  const info = {
    tag: isInt(t.tag) ? t.tag : position,
    object: isName(t.object) ? t.object : '',
    agents: isInt(t.agents) ? t.agents : null,
    minGap: isNum(t.minGap) ? t.minGap : null,
    summary: t.summary && typeof t.summary === 'object' ? t.summary : null,
    counts: { intrusion: 0, 'close-pair': 0, stuck: 0 },
  };
  out.tags.push(info);
  for (const kind of kinds) {
    for (const m of SPELL_READERS[kind.name](list(t[kind.name]), info, run, out)) out.marks.push({ ...m, lane: kind.name });
  }
}

// meta: the page's run (agents [{name, tag, index}], obstacles [{name}],
// frames [scene frame numbers]).
export function readReport(report, meta) {
  const out = emptyChecks();
  if (report === null || report === undefined) {
    out.message = 'Not checked: this page holds no crowd report.';
    return out;
  }
  const why = refusal(report);
  if (why) {
    out.state = 'unreadable';
    out.message = why;
    return out;
  }
  if (Array.isArray(report.frames) && report.frames.length === 2 && report.frames.every(isInt)) out.frames = report.frames;
  out.kinds = readKinds(report, out);
  const run = runIndex(meta, out);
  report.tags.forEach((t, position) => readTag(t, position, out.kinds, run, out));

  const lane = new Map(out.kinds.map((k, i) => [k.name, i]));
  out.marks.sort((x, y) => x.from - y.from || lane.get(x.lane) - lane.get(y.lane) || x.tag - y.tag ||
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

// One mark per run of consecutive frames of each spell.
function spellMarks(kind, tag, spells, better) {
  const marks = [];
  for (const s of spells.values()) for (const run of splitRuns(s.events)) marks.push(mark(kind, tag, s, run, better));
  return marks;
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
