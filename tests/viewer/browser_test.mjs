// The viewer page in Debian's Chromium, headless, opened from file:// with
// every request that is not file: or data: refused: it loads with no console
// error; the first view frames every frame's agents, targets and obstacles in
// the part the side panel leaves free, with every agent showing through the
// overlays, in its tag's colour, at a size the size control changes; the
// obstacle rings lie on the terrain; the scrubber and the step buttons put
// the agents where the run recorded them; overlay switches hide their lines
// (on screen, counted in pixels); a click on an agent shows its state; the
// crowd report's spells are the timeline's marks, in lanes that the report's
// kinds order, title and colour, under each tag's summary as the report words
// it, and a click on one jumps to its frame, selects and frames its agent
// and highlights what the report names there; in a 1280 x 720 window the first frame's crowd is framed clear
// of the side panel, which scrolls as one; a browser without WebGL still
// gets a working page that says why there is no 3D view. Screenshots go to
// ARTIFACTS; --docs copies the picture (an event selected when the report has
// one) to PNG once every check has passed (scripts/screenshot makes the
// README's).
// "Recorded" is the run folder's expected.json (the synthetic sample, which
// also counts its overlays) or else its agents.csv (a real run, the demo's);
// the report is the one embedded in the page, and report.json beside it must
// be the same.
//   node browser_test.mjs RUN_DIR ARTIFACTS_DIR [--docs PNG]
import fs from 'node:fs';
import path from 'node:path';
import { chromiumPath, skip, check, failureCount, finish } from './node_env.mjs';
import { loadExpectations } from './run_expectations.mjs';
import { embeddedJson, evaluateJson, openPage, reloadAt, scrubTo } from './chromium_page.mjs';
import { expectedHighlights, expectedSpells, hasEvents, markKey } from './report_expectations.mjs';

const [runDir, artifacts] = process.argv.slice(2);
const docsAt = process.argv.indexOf('--docs');
const docsPng = docsAt > 0 ? process.argv[docsAt + 1] : null;
const pagePath = path.join(runDir, 'index.html');
if (!fs.existsSync(chromiumPath)) skip(`no Chromium at ${chromiumPath} (scripts/setup installs it)`);
if (!fs.existsSync(pagePath)) skip(`no viewer page at ${pagePath}: the page template was not built (the build makes it when node and npm are installed)`);
const expected = loadExpectations(runDir);
const meta = embeddedJson(pagePath, 'meta');
const report = embeddedJson(pagePath, 'report');
const events = hasEvents(report);
console.log(`recorded: ${expected.source}; report: ${report ? (events ? 'with events' : 'no events') : 'none'}`);
fs.mkdirSync(artifacts, { recursive: true });
{
  const file = path.join(runDir, 'report.json');
  if (fs.existsSync(file)) {
    // Key order aside: the file and the page may be written by different writers.
    const canon = (v) => (Array.isArray(v) ? v.map(canon) : v && typeof v === 'object'
      ? Object.fromEntries(Object.keys(v).sort().map((k) => [k, canon(v[k])])) : v);
    check(JSON.stringify(canon(JSON.parse(fs.readFileSync(file, 'utf8')))) === JSON.stringify(canon(report)),
      'the page carries the run\u2019s report.json as it is');
  }
}
const HIGHLIGHT = [0xff, 0x2e, 0x63];

// Largest difference between the page's agents and the recorded positions.
async function positionError(page, frame) {
  const got = await page.evaluate((n) => Array.from({ length: n }, (_, i) => window.kwViewer.agentPosition(i)),
    expected.agentCount);
  let worst = 0;
  got.forEach((p, i) => p.forEach((v, k) => { worst = Math.max(worst, Math.abs(v - frame.positions[i][k])); }));
  return worst;
}

// Height of the recorded terrain under a scene point (x, z), by brute force
// over its triangles; null off the terrain.
function terrainHeight(t, x, z) {
  let best = null;
  for (let k = 0; k < t.tris.length; k += 3) {
    const [a, b, c] = [t.points[t.tris[k]], t.points[t.tris[k + 1]], t.points[t.tris[k + 2]]];
    const d = (b[2] - c[2]) * (a[0] - c[0]) + (c[0] - b[0]) * (a[2] - c[2]);
    if (Math.abs(d) < 1e-9) continue;
    const l1 = ((b[2] - c[2]) * (x - c[0]) + (c[0] - b[0]) * (z - c[2])) / d;
    const l2 = ((c[2] - a[2]) * (x - c[0]) + (a[0] - c[0]) * (z - c[2])) / d;
    const l3 = 1 - l1 - l2;
    if (l1 >= -1e-6 && l2 >= -1e-6 && l3 >= -1e-6) best = l1 * a[1] + l2 * b[1] + l3 * c[1];
  }
  return best;
}

// --- With WebGL (SwiftShader when there is no GPU) ---------------------------
{
  const { page, problems, loadMs, close } = await openPage(pagePath);
  const hook = await page.evaluate(() => ({ ...window.kwViewer }));
  console.log(`page ready in ${loadMs} ms, WebGL ${hook.webgl}`);
  check(hook.error === null, `the page reports no error (${hook.error})`);
  check(hook.webgl, 'WebGL is available here (SwiftShader without a GPU)');
  check(hook.agentCount === expected.agentCount, `${hook.agentCount} agents shown, ${expected.agentCount} recorded`);
  check(hook.frameCount === expected.frameCount, `${hook.frameCount} frames on the timeline`);
  check((await page.textContent('#kw-status')).trim() === '', 'no status message covers the view');
  await page.screenshot({ path: path.join(artifacts, 'viewer-first.png') });

  // The first view: every recorded frame's agents, the targets and the
  // obstacle rings inside the part of the view right of the side panel.
  {
    const frames = expected.frames.map((f) => f.positions.map(([x, y, z]) => [x, y, -z]));
    const got = await evaluateJson(page, (frames) => {
      const v = window.kwViewer, pts = [];
      for (const f of frames) for (const p of f) pts.push(v.screenOf(p));
      for (let f = 0; f < v.frameCount; f++) {
        for (let t = 0; t < v.trackCount; t++) pts.push(v.screenOf(v.trackPosition(t, f)));
      }
      for (let o = 0; o < v.obstacleCount; o++) {
        const r = v.obstacleRing(o);
        for (let i = 0; i < r.length; i += 3) pts.push(v.screenOf([r[i], r[i + 1], r[i + 2]]));
      }
      const side = document.getElementById('kw-side').getBoundingClientRect();
      return { pts, free: v.freeRect(), panelRight: side.right };
    }, frames);
    const { pts, free } = got;
    const out = pts.filter((s) => !s.inView || s.x < free.left - 1 || s.x > free.right + 1 || s.y < free.top - 1 || s.y > free.bottom + 1);
    check(free.left >= got.panelRight, `the free part starts right of the side panel (${free.left} >= ${got.panelRight})`);
    check(out.length === 0, `the first view frames all ${pts.length} points of the run in the free part (${out.length} outside)`);
    const xs = pts.map((s) => s.x), ys = pts.map((s) => s.y);
    const fill = Math.max((Math.max(...xs) - Math.min(...xs)) / (free.right - free.left),
      (Math.max(...ys) - Math.min(...ys)) / (free.bottom - free.top));
    check(fill > 0.6, `and fills it (${(fill * 100).toFixed(0)}% of its width or height)`);
  }

  // Agents over overlays: with the overlays on as the tag drew them, every
  // agent shows (nearly) as much as with them off.
  {
    const drawn = ['probe', 'repulsion', 'alignment'].filter((k) => meta.overlayKinds[k]);
    const ticked = await page.evaluate((ks) => ks.every((k) => document.getElementById('kw-show-' + k).checked), drawn);
    check(ticked, `the overlays the tag drew are on at first (${drawn.join(', ') || 'none'})`);
    const on = await page.evaluate(() => window.kwViewer.agentCoverage());
    for (const k of drawn) await page.click(`#kw-show-${k}`);
    const off = await page.evaluate(() => window.kwViewer.agentCoverage());
    for (const k of drawn) await page.click(`#kw-show-${k}`);
    const hidden = on.map((v, i) => i).filter((i) => on[i] < 0.9 * off[i]);
    const small = off.map((v, i) => i).filter((i) => off[i] < 25);
    check(small.length === 0, `every agent covers 25 pixels or more in the first view (least ${Math.min(...off)})`);
    check(drawn.length > 0 && hidden.length === 0,
      `the overlays hide no agent at frame ${expected.frames[0].frame} (${hidden.length} lose more than a tenth)`);
    // The size control.
    const before = (await page.evaluate(() => window.kwViewer.agentCoverage(60))).reduce((a, b) => a + b, 0);
    await page.evaluate(() => {
      const s = document.getElementById('kw-agent-size');
      s.value = '1';
      s.dispatchEvent(new Event('input', { bubbles: true }));
    });
    const twice = (await page.evaluate(() => window.kwViewer.agentCoverage(60))).reduce((a, b) => a + b, 0);
    const label = await page.textContent('#kw-agent-size-value');
    await page.evaluate(() => window.kwViewer.setAgentSize(0));
    check(twice > 2.5 * before && label === '\u00d72', `the size control at ${label} draws agents larger (${before} -> ${twice} pixels)`);
  }

  // One colour per tag, as the legend shows it.
  {
    const got = await page.evaluate(() => {
      const v = window.kwViewer;
      const legend = [...document.querySelectorAll('.kw-tag-legend')].map((e) => [Number(e.dataset.tag), e.dataset.colour]);
      return { legend, colours: Array.from({ length: v.agentCount }, (_, i) => v.agentColour(i)), lit: v.highlightedAgents() };
    });
    const legend = new Map(got.legend);
    const tags = [...new Set(expected.tags)];
    const wrong = got.colours.filter((c, i) => !got.lit.includes(i) && c !== legend.get(expected.tags[i]));
    check(tags.every((t) => legend.has(t)) && new Set(tags.map((t) => legend.get(t))).size === tags.length,
      `the legend gives each of the ${tags.length} tags its own colour (${got.legend.map((l) => l.join(' ')).join(', ')})`);
    check(wrong.length === 0, `every agent has its tag's colour (${wrong.length} not)`);
  }

  // Obstacle rings on the ground: at the terrain's height under every point.
  if (expected.terrain) {
    const rings = await page.evaluate(() => Array.from({ length: window.kwViewer.obstacleCount }, (_, o) => window.kwViewer.obstacleRing(o)));
    let worst = 0, points = 0;
    for (const r of rings) {
      for (let i = 0; i < r.length; i += 3) {
        const h = terrainHeight(expected.terrain, r[i], -r[i + 2]);
        if (h === null) continue;
        worst = Math.max(worst, Math.abs(r[i + 1] - h));
        points++;
      }
    }
    check(points > 0 && worst < 0.05, `the obstacle rings lie on the terrain (${points} points, worst ${worst.toFixed(4)} off)`);
  }

  let worst = 0;
  let labels = true;
  // The first, a middle and the last few recorded frames, in an order that
  // jumps both ways.
  const recorded = expected.frames, n = recorded.length;
  const visits = [...new Set([n - 1, 0, n >> 1, n - 2, n - 3, n - 4].filter((i) => i >= 0))].map((i) => recorded[i]);
  for (const fr of visits) {
    await scrubTo(page, fr.index);
    worst = Math.max(worst, await positionError(page, fr));
    labels = labels && (await page.textContent('#kw-frame')).includes(`Frame ${fr.frame} `);
  }
  check(worst < 1e-3, `scrubbing puts the agents at the recorded positions (worst difference ${worst})`);
  {
    // The markers turn with the agents: forward axis from the recorded
    // heading and pitch, through the page's mirror and back.
    const fr = expected.frames[expected.frames.length - 1];
    await scrubTo(page, fr.index);
    const fwd = await page.evaluate((n) => Array.from({ length: n }, (_, i) => window.kwViewer.agentForward(i)),
      expected.agentCount);
    let worstFwd = 0;
    fwd.forEach((v, i) => {
      const [H, P] = fr.hpb[i];
      const want = [-Math.sin(H) * Math.cos(P), Math.sin(P), Math.cos(H) * Math.cos(P)];
      v.forEach((c, k) => { worstFwd = Math.max(worstFwd, Math.abs(c - want[k])); });
    });
    check(worstFwd < 1e-4, `the markers point along the agents' forward axes (worst ${worstFwd})`);
  }
  check(labels, 'the frame label shows the recorded frame number');

  await scrubTo(page, 0);
  await page.click('#kw-next');
  await page.click('#kw-next');
  await page.click('#kw-prev');
  const f1 = expected.frames.find((f) => f.index === 1);
  check((await page.evaluate(() => window.kwViewer.frameIndex)) === 1, 'next, next, previous lands on frame index 1');
  if (f1) check((await positionError(page, f1)) < 1e-3, 'the step buttons move the agents to the recorded frame');
  await page.click('#kw-play');
  await page.waitForTimeout(400);
  const playedTo = await page.evaluate(() => window.kwViewer.frameIndex);
  await page.click('#kw-play');
  check(playedTo > 1, `play advances the frames (to ${playedTo})`);
  check(!(await page.evaluate(() => window.kwViewer.isPlaying())), 'the second click pauses');

  // The overview, two thirds into the run (by then the demo's flock is
  // spread among the obstacles), zoomed in with the wheel: the overlays'
  // drawn amounts, the screenshot, and the switches on screen for every
  // kind drawn there.
  const shot = recorded[Math.round(((n - 1) * 2) / 3)];
  await scrubTo(page, shot.index);
  await page.mouse.move(800, 400);
  for (let k = 0; k < 6; k++) await page.mouse.wheel(0, -100);
  await page.waitForTimeout(300);
  const kinds = [['probe', [255, 255, 255]], ['repulsion', [0, 255, 0]], ['alignment', [0, 0, 255]]];
  const seg = await page.evaluate((ks) => ks.map(([k]) => window.kwViewer.overlaySegments(k)), kinds);
  if (shot.probeLines !== undefined) {
    check(seg[0] === shot.probeLines && seg[1] === shot.repulsionCircles * 48 && seg[2] === shot.alignmentCircles * 48,
      `overlay segments ${seg} match the drawing (${shot.probeLines} probe lines, ${shot.repulsionCircles} + ${shot.alignmentCircles} circles)`);
  } else {
    check(seg.some((v) => v > 0), `the run draws overlays at frame ${shot.frame} (${seg} segments)`);
  }
  await page.screenshot({ path: path.join(artifacts, 'viewer.png') });
  for (const [kind, rgb] of kinds.filter((_, k) => seg[k] > 0)) {
    const before = await page.evaluate((c) => window.kwViewer.countColour(c), rgb);
    await page.click(`#kw-show-${kind}`);
    const hidden = !(await page.evaluate((k) => window.kwViewer.overlayVisible(k), kind));
    const after = await page.evaluate((c) => window.kwViewer.countColour(c), rgb);
    check(hidden && before > 200 && after < before * 0.05,
      `unticking ${kind} hides its lines (${before} -> ${after} pixels of its colour)`);
    await page.click(`#kw-show-${kind}`);
    check(await page.evaluate((k) => window.kwViewer.overlayVisible(k), kind), `ticking ${kind} shows them again`);
  }

  // A click on an agent shows its state.
  const target = await page.evaluate((n) => {
    const free = window.kwViewer.freeRect();
    for (let i = 0; i < n; i++) {
      const s = window.kwViewer.agentScreenPosition(i);
      if (s.inView && s.x > free.left + 10 && s.x < 1000 && s.y > 60 && s.y < free.bottom - 20) return { i, ...s };
    }
    return null;
  }, expected.agentCount);
  check(target !== null, 'an agent is in view to click');
  if (target) {
    await page.mouse.click(target.x, target.y);
    const picked = await page.evaluate(() => window.kwViewer.selectedAgent());
    const name = (await page.textContent('#kw-info-name')) || '';
    const pos = ((await page.textContent('#kw-info-position')) || '').split(',').map(Number);
    const want = shot.positions[picked] || [];
    check(picked >= 0 && name === expected.names[picked], `clicking shows the agent's name (${name})`);
    check(pos.length === 3 && pos.every((v, k) => Math.abs(v - want[k]) < 2e-3), `and its position (${pos})`);
    await page.screenshot({ path: path.join(artifacts, 'viewer-selected.png') });
  }

  // The report's spells on the timeline.
  const state = await page.evaluate(() => ({ state: window.kwViewer.checksState(), text: document.getElementById('kw-checks').textContent,
    marks: document.querySelectorAll('.kw-mark').length }));
  if (report) {
    const lines = await page.evaluate(() => [...document.querySelectorAll('.kw-check-tag')].map((e) => e.textContent));
    check(lines.length === report.tags.length && report.tags.every((t, i) => lines[i].endsWith(`: ${t.summary.text}`)),
      `each tag's summary is the report's sentence as it stands (${lines[0]})`);
  }
  if (!report) {
    check(state.state === 'none' && /Not checked/.test(state.text) && state.marks === 0,
      `without a report the page shows no marks and says nothing was checked (${state.text.trim()})`);
  } else if (!events) {
    check(state.state === 'clean' && /no intrusions, close pairs or stuck agents/.test(state.text) && state.marks === 0,
      'with a report of no events the page says so and shows no marks');
  } else {
    const marks = await page.evaluate(() => window.kwViewer.marks());
    const want = expectedSpells(report), got = marks.map(markKey).sort();
    const missing = want.filter((k) => !got.includes(k)), extra = got.filter((k) => !want.includes(k));
    check(missing.length === 0 && extra.length === 0 && got.length === want.length,
      `the timeline has one mark per spell of the report: ${got.length} marks, ${want.length} spells` +
      (missing.length || extra.length ? ` (missing ${missing.slice(0, 3)}; extra ${extra.slice(0, 3)})` : ''));
    // The lanes are the report's kinds, titled and coloured as it says.
    const lanes = await page.evaluate(() => [...document.querySelectorAll('.kw-lane')].map((e) => ({ name: e.dataset.kind, title: e.title,
      colours: [...new Set([...e.querySelectorAll('.kw-mark')].map((m) => getComputedStyle(m).backgroundColor))] })));
    const rgb = (hex) => `rgb(${[1, 3, 5].map((i) => parseInt(hex.slice(i, i + 2), 16)).join(', ')})`;
    const kindOf = new Map(report.kinds.map((k) => [k.name, k]));
    const order = report.kinds.map((k) => k.name).filter((n) => lanes.some((l) => l.name === n));
    check(lanes.length > 0 && JSON.stringify(lanes.map((l) => l.name)) === JSON.stringify(order) && lanes.every((l) =>
      l.title === kindOf.get(l.name).label && l.colours.length === 1 && l.colours[0] === rgb(kindOf.get(l.name).colour)),
    `the timeline's lanes are the report's kinds, in its order, with its labels and colours (${lanes.map((l) => l.title).join('; ')})`);
    const dom = await page.evaluate(() => [...document.querySelectorAll('.kw-mark')].map((e) => ({ ...e.dataset })));
    check(dom.length === marks.length && dom.every((d) => {
      const m = marks[Number(d.mark)];
      return m && Number(d.from) === m.from && Number(d.to) === m.to && Number(d.frame) === m.frame && d.kind === m.kind;
    }), `every mark is on the timeline with its frames (${dom.length} elements)`);

    // A click on the timeline: the mark on top where the pointer is.
    const hit = await page.evaluate(() => {
      for (const e of document.querySelectorAll('.kw-mark')) {
        const r = e.getBoundingClientRect(), x = r.left + r.width / 2, y = r.top + r.height / 2;
        if (document.elementFromPoint(x, y) === e) return { k: Number(e.dataset.mark), x, y };
      }
      return null;
    });
    check(hit !== null, 'a mark is on top somewhere to click');
    if (hit) {
      await page.mouse.click(hit.x, hit.y);
      const got = await page.evaluate(() => ({ k: window.kwViewer.selectedMark(), index: window.kwViewer.frameIndex,
        selected: window.kwViewer.selectedAgent() }));
      check(got.k === hit.k && meta.frames[got.index] === marks[hit.k].frame && marks[hit.k].agents.includes(got.selected),
        `a click on the timeline's mark of ${marks[hit.k].names.join(' and ')} jumps to frame ${marks[hit.k].frame} and selects the agent`);
    }

    // Back to the whole run, then the first spell from the panel's list.
    await page.click('#kw-frame-all');
    const overview = await page.evaluate(() => window.kwViewer.cameraDistance());
    await page.click('.kw-event[data-mark="0"]');
    await page.waitForTimeout(200);
    const m = marks[0];
    const after = await page.evaluate(() => {
      const v = window.kwViewer, s = v.selectedAgent();
      return { index: v.frameIndex, selected: s, screen: s >= 0 ? v.agentScreenPosition(s) : null, free: v.freeRect(),
        distance: v.cameraDistance(), agents: v.highlightedAgents(), obstacles: v.highlightedObstacles(),
        name: document.getElementById('kw-info-name')?.textContent, mark: v.selectedMark(),
        listed: document.querySelector('.kw-event.kw-selected')?.dataset.mark,
        notes: document.getElementById('kw-info-checks')?.textContent || '' };
    });
    const frameAt = expected.frames.find((f) => f.index === after.index);
    check(meta.frames[after.index] === m.frame, `a click on the first mark jumps to frame ${m.frame} (${meta.frames[after.index]})`);
    check(m.agents.includes(after.selected) && after.name === m.names[0] && after.mark === 0 && after.listed === '0',
      `and selects its agent ${m.names[0]} (${after.name}), in the list too`);
    const { free, screen } = after;
    const cx = (free.left + free.right) / 2, cy = (free.top + free.bottom) / 2;
    check(screen && Math.abs(screen.x - cx) < 0.15 * (free.right - free.left) && Math.abs(screen.y - cy) < 0.15 * (free.bottom - free.top) &&
      after.distance < overview, `and frames it: in the middle of the free part (${screen && screen.x.toFixed(0)}, ${screen && screen.y.toFixed(0)}), ` +
      `the camera ${after.distance.toFixed(0)} from it, ${overview.toFixed(0)} for the whole run`);
    const lit = expectedHighlights(report, m.frame, expected.names, expected.tags, meta.obstacles.map((o) => o.name));
    check(JSON.stringify(after.agents) === JSON.stringify(lit.agents) && JSON.stringify(after.obstacles) === JSON.stringify(lit.obstacles),
      `the agents (${after.agents}) and obstacles (${after.obstacles}) in the report at frame ${m.frame} are highlighted`);
    check(after.notes.length > 0, `the agent's panel says what the report found (${after.notes})`);
    if (frameAt) check((await positionError(page, frameAt)) < 1e-3, 'the agents stand where the run recorded them there');
    const litPixels = await page.evaluate((c) => window.kwViewer.countColour(c, 24), HIGHLIGHT);
    await page.screenshot({ path: path.join(artifacts, 'viewer-event.png') });
    // A frame with no event shows no highlight.
    const quiet = meta.frames.findIndex((f) => expectedHighlights(report, f, expected.names, expected.tags, []).agents.length === 0);
    if (quiet >= 0) {
      await scrubTo(page, quiet);
      const none = await page.evaluate((c) => window.kwViewer.countColour(c, 24), HIGHLIGHT);
      check(litPixels > 30 && none < 5, `the highlights show on screen (${litPixels} pixels), and not at frame ${meta.frames[quiet]} (${none})`);
    }
    if (marks.length > 1) {
      await page.click('#kw-event-next');
      check((await page.evaluate(() => window.kwViewer.selectedMark())) === 1, 'the next-spell button selects the second spell');
    }
  }

  // A laptop's 1280 x 720 window, the page loaded afresh: the first frame's
  // crowd, with what the tag drew round it, is framed clear of the side
  // panel, and the panel scrolls as one (the spells' list has no scroll bar
  // of its own), its selected spell brought into view.
  await reloadAt(page, { width: 1280, height: 720 });
  {
    const got = await evaluateJson(page, () => {
      const v = window.kwViewer, pts = [], flat = v.overlayPoints();
      for (let i = 0; i < v.agentCount; i++) pts.push(v.agentScreenPosition(i));
      for (let k = 0; k < flat.length; k += 3) pts.push(v.screenOf(flat.slice(k, k + 3)));
      return { index: v.frameIndex, agents: v.agentCount, pts, free: v.freeRect(),
        panelRight: document.getElementById('kw-side').getBoundingClientRect().right };
    });
    const { free, pts } = got;
    const out = pts.filter((s) => !s.inView || s.x < Math.max(free.left, got.panelRight) || s.x > free.right || s.y < free.top || s.y > free.bottom);
    check(got.index === 0 && pts.length > got.agents && out.length === 0,
      `at 1280 x 720 the first frame's ${got.agents} agents and ${pts.length - got.agents} drawn points are framed clear of the panel (${out.length} not)`);
  }
  {
    const scrolling = () => page.evaluate(() => [document.getElementById('kw-side'), ...document.querySelectorAll('#kw-side *')]
      .filter((e) => /auto|scroll/.test(getComputedStyle(e).overflowY) && e.scrollHeight > e.clientHeight + 1).map((e) => e.id || e.tagName));
    const before = await scrolling();
    check(before.every((id) => id === 'kw-scroll'), `the side panel scrolls as one (scrolling: ${before.join(', ') || 'nothing'})`);
    const marks = await page.evaluate(() => window.kwViewer.marks().length);
    const last = Math.min(marks, 400) - 1; // the list's last entry
    if (last >= 0) {
      await page.evaluate((k) => window.kwViewer.selectMark(k), last);
      const seen = await page.evaluate((k) => {
        const el = document.querySelector(`.kw-event[data-mark="${k}"]`), r = el.getBoundingClientRect();
        const hit = document.elementFromPoint(r.left + 10, r.top + r.height / 2);
        return el.contains(hit);
      }, last);
      const after = await scrolling();
      check(seen && after.every((id) => id === 'kw-scroll'), `selecting the list's last spell scrolls the panel to it (scrolling: ${after.join(', ')})`);
    }
  }
  await page.screenshot({ path: path.join(artifacts, 'viewer-1280x720.png') });
  check(problems.length === 0, `no console errors, page errors or network requests${problems.length ? ': ' + problems.join('; ') : ''}`);
  await close();
}

// --- Without WebGL ------------------------------------------------------------
{
  const { page, problems, close } = await openPage(pagePath, { args: ['--disable-webgl', '--disable-3d-apis'] });
  const hook = await page.evaluate(() => ({ webgl: window.kwViewer.webgl, error: window.kwViewer.error }));
  check(!hook.webgl && hook.error === null, 'without WebGL the page still loads');
  check(/WebGL is not available/.test(await page.textContent('#kw-status')), 'and says that WebGL is not available');
  const last = expected.frames[expected.frames.length - 1];
  await scrubTo(page, last.index);
  check((await positionError(page, last)) < 1e-3, 'and its timeline still moves the agents');
  if (events) {
    const frame = Number(await page.getAttribute('.kw-mark[data-mark="0"]', 'data-frame'));
    await page.click('.kw-event[data-mark="0"]');
    const got = await page.evaluate(() => ({ index: window.kwViewer.frameIndex, selected: window.kwViewer.selectedAgent() }));
    check(meta.frames[got.index] === frame && got.selected >= 0, `and its spells still jump to their frame (${frame}) and select the agent`);
  }
  check(problems.length === 0, `no console errors there either${problems.length ? ': ' + problems.join('; ') : ''}`);
  await page.screenshot({ path: path.join(artifacts, 'viewer-no-webgl.png') });
  await close();
}
if (docsPng && failureCount() === 0) {
  fs.copyFileSync(path.join(artifacts, events ? 'viewer-event.png' : 'viewer.png'), docsPng);
  console.log(`wrote ${docsPng}${events ? ' (the first spell selected)' : ''}`);
}
finish();
