// The viewer page's logic that needs no browser, run in node: a crowd report
// turned into spells and per-frame highlights (matching by tag and name,
// what is left out and said so), the terrain height under a point, and the
// camera distance that fits a run into the free part of the view.
//   node page_logic_test.mjs
import { check, finish } from './node_env.mjs';
import { readReport, describeMark } from '../../viewer/src/report.js';
import { HeightField, drapedRing } from '../../viewer/src/terrain_height.js';
import { cameraAxes, direction, fitDistance } from '../../viewer/src/framing.js';

const meta = {
  frames: [10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20],
  // Tag 1 reuses tag 0's names; "Twin" is one name for two agents of tag 0.
  agents: [
    { name: 'A', tag: 0, index: 0 }, { name: 'B', tag: 0, index: 1 }, { name: 'Twin', tag: 0, index: 2 },
    { name: 'Twin', tag: 0, index: 3 }, { name: 'A', tag: 1, index: 0 }, { name: 'B', tag: 1, index: 1 },
  ],
  obstacles: [{ name: 'Rock' }, { name: 'Stone' }, { name: 'Rock' }],
};
// The kinds of check as a run's report lists them (host/export/report_kinds.cpp).
const KINDS = [
  { name: 'intrusions', option: 'intrusions', label: 'Inside an obstacle', colour: '#ff5a4f', one: 'agent-frame', many: 'agent-frames' },
  { name: 'closePairs', option: 'close-pairs', label: 'Closer than the minimum gap', colour: '#ffc247', one: 'pair-frame', many: 'pair-frames' },
  { name: 'stuck', option: 'stuck', label: 'Stuck', colour: '#b58cff', one: 'stuck agent', many: 'stuck agents' },
];
const report = (tags, kinds = KINDS) => ({ format: 'kestrelwood-report/1', frames: [10, 20], kinds, tags });
const keys = (r) => r.marks.map((m) => `${m.kind} ${m.tag} ${m.names.join('+')} ${m.obstacleName} ${m.from}-${m.to}@${m.frame}`);

// Spells: consecutive frames join, a gap splits, pairs in either order are
// one pair, tags never join; the jump frame is the worst of the spell.
{
  const r = readReport(report([
    { tag: 0, intrusions: [
      { frame: 11, agent: 'A', obstacle: 'Stone', depth: 1 }, { frame: 12, agent: 'A', obstacle: 'Stone', depth: 5 },
      { frame: 13, agent: 'A', obstacle: 'Stone', depth: 2 }, { frame: 15, agent: 'A', obstacle: 'Stone', depth: 3 },
      { frame: 12, agent: 'B', obstacle: 'Stone', depth: 1 }],
    closePairs: [{ frame: 11, a: 'A', b: 'B', distance: 3 }, { frame: 12, a: 'B', b: 'A', distance: 2 },
      { frame: 13, a: 'A', b: 'B', distance: 2 }],
    stuck: [{ agent: 'B', from: 14, to: 18 }] },
    { tag: 1, intrusions: [{ frame: 12, agent: 'A', obstacle: 'Stone', depth: 4 }] },
  ]), meta);
  check(r.state === 'events', `a report with events reads as such (${r.state})`);
  check(JSON.stringify(keys(r)) === JSON.stringify([
    'intrusion 0 A Stone 11-13@12', 'close-pair 0 A+B  11-13@12', 'intrusion 0 B Stone 12-12@12',
    'intrusion 1 A Stone 12-12@12', 'stuck 0 B  14-18@14', 'intrusion 0 A Stone 15-15@15']),
  `spells split at gaps, join pairs in either order, keep tags apart, in frame order: ${keys(r).join('; ')}`);
  const at12 = r.byFrame.get(12), at16 = r.byFrame.get(16);
  check([...at12.agents].sort().join() === '0,1,4' && [...at12.obstacles].join() === '1' && at12.pairs.length === 1,
    'frame 12 highlights both tags\u2019 agents named in it, by tag, and the one obstacle');
  check([...at16.agents].join() === '1' && at16.notes.get(1)[0].startsWith('stuck'), 'a stuck spell highlights its agent on every frame of it');
  check(!r.byFrame.has(19) && r.tags.length === 2 && r.tags[0].counts.intrusion === 5, 'nothing on frames without events; counts per tag');
  check(describeMark(r.marks[0]) === 'A inside Stone, frames 11\u201313, deepest 5.0 at 12' &&
    describeMark(r.marks[2]) === 'B inside Stone at frame 12, 1.0 deep', `marks read as sentences (${describeMark(r.marks[0])})`);
}

// Matching: a shared name is all its agents unless the report's index picks
// one; unknown names, unrecorded frames and broken entries are counted, not
// shown; every obstacle of a name is highlighted.
{
  const r = readReport(report([{ tag: 0, intrusions: [
    { frame: 11, agent: 'Twin', obstacle: 'Rock', depth: 1 },
    { frame: 12, agent: 'Twin', agentIndex: 3, obstacle: 'Rock', depth: 1 },
    { frame: 13, agent: 'Nobody', obstacle: 'Rock', depth: 1 },
    { frame: 13, agent: 'A', obstacle: 'Nowhere', depth: 1 },
    { frame: 99, agent: 'A', obstacle: 'Rock', depth: 1 },
    { frame: '13', agent: 'A', obstacle: 'Rock' }, null],
  closePairs: [{ frame: 14, a: 'A' }], stuck: [{ agent: 'A', from: 18, to: 12 }] }]), meta);
  check([...r.byFrame.get(11).agents].join() === '2,3' && r.ambiguous === 1, 'a name two agents share highlights both, and says so');
  check([...r.byFrame.get(12).agents].join() === '3', 'the report\u2019s index picks one of them');
  check([...r.byFrame.get(11).obstacles].join() === '0,2', 'every obstacle of the name is highlighted');
  check(r.unmatched === 2 && r.outside === 1 && r.unreadable === 4,
    `unknown names (${r.unmatched}), unrecorded frames (${r.outside}) and broken entries (${r.unreadable}) are counted`);
  check(r.marks.length === 2, 'and only what matched becomes a mark');
}

// Reports the page cannot read say why; none says nothing was checked; an
// empty one says nothing was found.
{
  const states = [null, [], { format: 'other/2', tags: [] }, { format: 'kestrelwood-report/1' },
    report([{ tag: 0, intrusions: [], closePairs: [], stuck: [] }])].map((x) => readReport(x, meta));
  check(JSON.stringify(states.map((s) => s.state)) === JSON.stringify(['none', 'unreadable', 'unreadable', 'unreadable', 'clean']),
    `report states: ${states.map((s) => s.state)}`);
  check(/Not checked/.test(states[0].message) && /other\/2/.test(states[2].message) && /no intrusions/.test(states[4].message),
    'with messages that say so');
}

// The kinds come from the report: its order orders the marks of a frame, a
// kind the page cannot show is counted and said, a broken entry is counted,
// and a report without kinds cannot be read.
{
  const tags = [{ tag: 0, stuck: [{ agent: 'B', from: 12, to: 13 }], intrusions: [{ frame: 12, agent: 'A', obstacle: 'Stone', depth: 1 }],
    crowding: [{ frame: 12 }, { frame: 13 }] }];
  const listed = readReport(report(tags), meta);
  const turned = readReport(report(tags, [KINDS[2], { name: 'crowding', label: 'Crowded', colour: '#123456' }, null, KINDS[0],
    { name: 'x', label: 'X', colour: 'red' }]), meta);
  check(JSON.stringify(listed.marks.map((m) => m.kind)) === '["intrusion","stuck"]' &&
    JSON.stringify(turned.marks.map((m) => m.kind)) === '["stuck","intrusion"]',
    `marks of one frame follow the report's order of kinds (${turned.marks.map((m) => m.kind)})`);
  check(JSON.stringify(turned.kinds.map((k) => [k.name, k.label, k.colour])) ===
    '[["stuck","Stuck","#b58cff"],["intrusions","Inside an obstacle","#ff5a4f"]]' && turned.marks[0].lane === 'stuck',
    'the lanes are the report\u2019s kinds with its labels and colours');
  check(turned.unknown.get('crowding') === 2 && !listed.unknown.size && turned.unreadable === 2,
    `a kind the page cannot show is counted with its events (${[...turned.unknown]}), broken kinds as unreadable (${turned.unreadable})`);
  const bare = readReport({ format: 'kestrelwood-report/1', tags }, meta);
  check(bare.state === 'unreadable' && /kinds/.test(bare.message), `a report without kinds says the page cannot read it (${bare.message})`);
  const odd = readReport(report(tags, [{ name: 'constructor', label: 'C', colour: '#000000' }, KINDS[0]]), meta);
  check(odd.unknown.has('constructor') && odd.marks.length === 1, 'a kind named like an object\u2019s own property is only unknown');
}

// Height under a point: a tilted plane in two triangles, and a second,
// higher surface over part of it (the one nearest the asked height wins).
{
  const plane = (y0) => new Float32Array([0, y0, 0, 10, y0 + 5, 0, 10, y0 + 5, 10, 0, y0, 10]);
  const f = new HeightField();
  f.add(plane(0), new Uint32Array([0, 1, 2, 0, 2, 3]));
  let worst = 0;
  for (const [x, z] of [[0, 0], [10, 10], [3.3, 7.1], [9.99, 0.01], [5, 5]]) worst = Math.max(worst, Math.abs(f.heightAt(x, z) - x / 2));
  check(worst < 1e-9, `the height on a tilted plane is exact, edges and corners included (worst ${worst})`);
  check(f.heightAt(-1, 5) === null && f.heightAt(5, 11) === null && f.heightAt(NaN, 1) === null, 'off the terrain there is no height');
  f.add(plane(100), new Uint32Array([0, 1, 2]));
  check(Math.abs(f.heightAt(8, 2, 90) - 104) < 1e-9 && Math.abs(f.heightAt(8, 2, 0) - 4) < 1e-9,
    'of two surfaces, the one nearest the asked height');
  const ring = drapedRing(f, 5, 0, 5, 4);
  let off = 0;
  for (let i = 0; i < ring.length; i += 3) off = Math.max(off, Math.abs(ring[i + 1] - f.heightAt(ring[i], ring[i + 2], 0)));
  check(ring.length >= 64 * 6 && off < 1e-4, `a ring lies on the ground (${ring.length / 6} segments)`);
  const bare = drapedRing(new HeightField(), 1, 7, 1, 2);
  check(bare.every((v, i) => i % 3 !== 1 || v === 7), 'without terrain it stays at its centre\u2019s height');
}

// Framing: at the fitted distance every point is inside the given angles and
// one touches them.
{
  const pts = [];
  for (let i = 0; i < 200; i++) pts.push(Math.sin(i) * 500 + 100, Math.cos(i * 1.7) * 40, Math.sin(i * 0.3) * 2000);
  const target = [100, 0, 0], back = direction(0.18, 0.87), tx = 0.3, ty = 0.2;
  const d = fitDistance(pts, target, back, tx, ty);
  const { right, up } = cameraAxes(back);
  const cam = target.map((t, k) => t + back[k] * d);
  let worst = 0;
  for (let i = 0; i < pts.length; i += 3) {
    const v = [pts[i] - cam[0], pts[i + 1] - cam[1], pts[i + 2] - cam[2]];
    const depth = -(v[0] * back[0] + v[1] * back[1] + v[2] * back[2]);
    const x = Math.abs(v[0] * right[0] + v[1] * right[1] + v[2] * right[2]) / depth / tx;
    const y = Math.abs(v[0] * up[0] + v[1] * up[1] + v[2] * up[2]) / depth / ty;
    worst = Math.max(worst, x, y);
  }
  check(worst <= 1 + 1e-9 && worst > 0.999, `every point fits and one touches the edge (${worst})`);
  check(fitDistance([], target, back, tx, ty) === 0 && fitDistance([NaN, 0, 0], target, back, tx, ty) === 0, 'no points, no distance');
}
finish();
