// What a page should show of a crowd report, worked out here from the report
// itself, apart from the page's code: one timeline mark per spell (an agent
// inside one obstacle, or a pair closer than the gap, over consecutive
// frames; each stuck spell as listed), and per frame the agents and
// obstacles in an event. Names resolve through the run's own agent list
// (tag, name) and the page's obstacle names.

// "kind|tag|names|from|to" for every spell of the report.
export function expectedSpells(report) {
  const out = [];
  report.tags.forEach((t, pos) => {
    const tag = Number.isInteger(t.tag) ? t.tag : pos;
    const runs = (groups, kind) => {
      for (const [key, frames] of groups) {
        const fs = [...new Set(frames)].sort((a, b) => a - b);
        let from = fs[0];
        for (let k = 1; k <= fs.length; k++) {
          if (k === fs.length || fs[k] !== fs[k - 1] + 1) {
            out.push(`${kind}|${tag}|${key}|${from}|${fs[k - 1]}`);
            from = fs[k];
          }
        }
      }
    };
    const group = (list, keyOf) => {
      const g = new Map();
      for (const e of list || []) {
        const k = keyOf(e);
        if (!g.has(k)) g.set(k, []);
        g.get(k).push(e.frame);
      }
      return g;
    };
    runs(group(t.intrusions, (e) => `${e.agent}/${e.obstacle}`), 'intrusion');
    runs(group(t.closePairs, (e) => [e.a, e.b].sort().join('/')), 'close-pair');
    for (const s of t.stuck || []) out.push(`stuck|${tag}|${s.agent}|${s.from}|${s.to}`);
  });
  return out.sort();
}

// The same key for a mark the page shows (its names in the report's terms).
export function markKey(m) {
  const names = m.kind === 'close-pair' ? [...m.names].sort().join('/')
    : m.kind === 'intrusion' ? `${m.names[0]}/${m.obstacleName}` : m.names[0];
  return `${m.kind}|${m.tag}|${names}|${m.from}|${m.to}`;
}

// Agents (indices into names/tags) and obstacles (indices into
// obstacleNames) in an event at scene frame f.
export function expectedHighlights(report, f, names, tags, obstacleNames) {
  const agents = new Set(), obstacles = new Set();
  const agent = (tag, name) => names.forEach((n, i) => { if (n === name && tags[i] === tag) agents.add(i); });
  report.tags.forEach((t, pos) => {
    const tag = Number.isInteger(t.tag) ? t.tag : pos;
    for (const e of t.intrusions || []) {
      if (e.frame !== f) continue;
      agent(tag, e.agent);
      obstacleNames.forEach((n, i) => { if (n === e.obstacle) obstacles.add(i); });
    }
    for (const e of t.closePairs || []) if (e.frame === f) { agent(tag, e.a); agent(tag, e.b); }
    for (const s of t.stuck || []) if (s.from <= f && f <= s.to) agent(tag, s.agent);
  });
  const sorted = (s) => [...s].sort((a, b) => a - b);
  return { agents: sorted(agents), obstacles: sorted(obstacles) };
}

export function hasEvents(report) {
  return !!report && report.tags.some((t) => (t.intrusions || []).length || (t.closePairs || []).length || (t.stuck || []).length);
}
