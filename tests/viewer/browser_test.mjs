// The viewer page in Debian's Chromium, headless, opened from file:// with
// every request that is not file: or data: refused: it loads with no console
// error, shows the run's agents, the scrubber and the step buttons put the
// agents where the run recorded them, overlay switches hide their lines (on
// screen, counted in pixels), a click on an agent shows its state, and a
// browser without WebGL still gets a working page that says why there is no
// 3D view. Screenshots go to ARTIFACTS; --docs copies the overview to PNG
// once every check has passed (scripts/screenshot makes the README's).
// "Recorded" is the run folder's expected.json (the synthetic sample, which
// also counts its overlays) or else its agents.csv (a real run, the demo's).
//   node browser_test.mjs RUN_DIR ARTIFACTS_DIR [--docs PNG]
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { chromiumPath, requireModule, skip, check, failureCount, finish } from './node_env.mjs';
import { loadExpectations } from './run_expectations.mjs';

const [runDir, artifacts] = process.argv.slice(2);
const docsAt = process.argv.indexOf('--docs');
const docsPng = docsAt > 0 ? process.argv[docsAt + 1] : null;
const pagePath = path.join(runDir, 'index.html');
if (!fs.existsSync(chromiumPath)) skip(`no Chromium at ${chromiumPath} (scripts/setup installs it)`);
if (!fs.existsSync(pagePath)) skip(`no viewer page at ${pagePath}: the page template was not built (the build makes it when node and npm are installed)`);
const { chromium } = requireModule('playwright-core');
const expected = loadExpectations(runDir);
console.log(`recorded: ${expected.source}`);
fs.mkdirSync(artifacts, { recursive: true });

async function open(extraArgs) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'kw-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: chromiumPath,
    headless: true,
    viewport: { width: 1280, height: 800 },
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
      '--disable-sync', ...extraArgs],
  });
  const page = context.pages()[0] || (await context.newPage());
  const problems = [];
  page.on('console', (m) => { if (m.type() === 'error') problems.push(`console error: ${m.text()}`); });
  page.on('pageerror', (e) => problems.push(`page error: ${e.message}`));
  await context.route('**/*', (route) => {
    const url = route.request().url();
    if (url.startsWith('file:') || url.startsWith('data:')) return route.continue();
    problems.push(`network request: ${url}`);
    return route.abort();
  });
  const t0 = Date.now();
  await page.goto(pathToFileURL(pagePath).href);
  await page.waitForFunction(() => window.kwViewer && window.kwViewer.ready, null, { timeout: 90000 });
  const loadMs = Date.now() - t0;
  const close = async () => { await context.close(); fs.rmSync(profile, { recursive: true, force: true }); };
  return { page, problems, loadMs, close };
}

async function scrubTo(page, index) {
  await page.evaluate((i) => {
    const s = document.getElementById('kw-scrubber');
    s.value = String(i);
    s.dispatchEvent(new Event('input', { bubbles: true }));
  }, index);
}

// Largest difference between the page's agents and the recorded positions.
async function positionError(page, frame) {
  const got = await page.evaluate((n) => Array.from({ length: n }, (_, i) => window.kwViewer.agentPosition(i)),
    expected.agentCount);
  let worst = 0;
  got.forEach((p, i) => p.forEach((v, k) => { worst = Math.max(worst, Math.abs(v - frame.positions[i][k])); }));
  return worst;
}

// --- With WebGL (SwiftShader when there is no GPU) ---------------------------
{
  const { page, problems, loadMs, close } = await open([]);
  const hook = await page.evaluate(() => ({ ...window.kwViewer }));
  console.log(`page ready in ${loadMs} ms, WebGL ${hook.webgl}`);
  check(hook.error === null, `the page reports no error (${hook.error})`);
  check(hook.webgl, 'WebGL is available here (SwiftShader without a GPU)');
  check(hook.agentCount === expected.agentCount, `${hook.agentCount} agents shown, ${expected.agentCount} recorded`);
  check(hook.frameCount === expected.frameCount, `${hook.frameCount} frames on the timeline`);
  check((await page.textContent('#kw-status')).trim() === '', 'no status message covers the view');

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
  // spread among the obstacles), zoomed in with the wheel so that the
  // agents' markers show: the overlays' drawn amounts, the screenshot, and
  // the switches on screen for every kind drawn there.
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
    for (let i = 0; i < n; i++) {
      const s = window.kwViewer.agentScreenPosition(i);
      if (s.inView && s.x > 340 && s.x < 1000 && s.y > 60 && s.y < 700) return { i, ...s };
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
  check(problems.length === 0, `no console errors, page errors or network requests${problems.length ? ': ' + problems.join('; ') : ''}`);
  await close();
}

// --- Without WebGL ------------------------------------------------------------
{
  const { page, problems, close } = await open(['--disable-webgl', '--disable-3d-apis']);
  const hook = await page.evaluate(() => ({ webgl: window.kwViewer.webgl, error: window.kwViewer.error }));
  check(!hook.webgl && hook.error === null, 'without WebGL the page still loads');
  check(/WebGL is not available/.test(await page.textContent('#kw-status')), 'and says that WebGL is not available');
  const last = expected.frames[expected.frames.length - 1];
  await scrubTo(page, last.index);
  check((await positionError(page, last)) < 1e-3, 'and its timeline still moves the agents');
  check(problems.length === 0, `no console errors there either${problems.length ? ': ' + problems.join('; ') : ''}`);
  await page.screenshot({ path: path.join(artifacts, 'viewer-no-webgl.png') });
  await close();
}
if (docsPng && failureCount() === 0) {
  fs.copyFileSync(path.join(artifacts, 'viewer.png'), docsPng);
  console.log(`wrote ${docsPng}`);
}
finish();
