// Viewer pages of unusual runs in Chromium: a run with no agents says so
// (and its timeline still works); a long parameter list scrolls inside the
// side panel while the help and the glTF link stay on screen, also in a small
// window; a report with no events says so and marks nothing; a page without a
// report says nothing was checked.
//   node browser_cases_test.mjs EMPTY_RUN_DIR LONG_RUN_DIR
import fs from 'node:fs';
import path from 'node:path';
import { chromiumPath, skip, check, finish } from './node_env.mjs';
import { openPage, scrubTo } from './chromium_page.mjs';

const [emptyDir, longDir] = process.argv.slice(2);
if (!fs.existsSync(chromiumPath)) skip(`no Chromium at ${chromiumPath} (scripts/setup installs it)`);
for (const d of [emptyDir, longDir]) {
  if (!fs.existsSync(path.join(d, 'index.html'))) skip(`no viewer page in ${d}: the page template was not built (the build makes it when node and npm are installed)`);
}

// --- No agents ----------------------------------------------------------------
{
  const { page, problems, close } = await openPage(path.join(emptyDir, 'index.html'));
  const got = await page.evaluate(() => ({ error: window.kwViewer.error, agents: window.kwViewer.agentCount,
    frames: window.kwViewer.frameCount, status: document.getElementById('kw-status').textContent,
    summary: document.getElementById('kw-summary').textContent, checks: document.getElementById('kw-checks').textContent,
    marks: document.querySelectorAll('.kw-mark').length, state: window.kwViewer.checksState() }));
  check(got.error === null && got.agents === 0, 'a run with no agents loads without an error');
  check(/This run has no agents/.test(got.status) && /^no agents/.test(got.summary), `and says it has none (${got.status})`);
  check(got.state === 'none' && /Not checked/.test(got.checks) && got.marks === 0, 'with no report it says nothing was checked');
  await scrubTo(page, got.frames - 1);
  check((await page.textContent('#kw-frame')).includes(`(${got.frames}/${got.frames})`), 'its timeline still moves');
  check(problems.length === 0, `no console errors, page errors or network requests${problems.length ? ': ' + problems.join('; ') : ''}`);
  await close();
}

// --- A long parameter list, and a report with no events -------------------------
{
  const { page, problems, close } = await openPage(path.join(longDir, 'index.html'));
  // The foot's help and link are on screen, above the timeline, and the
  // topmost element where they are; the list scrolls to its last row.
  const foot = () => page.evaluate(() => {
    const top = document.getElementById('kw-timeline').getBoundingClientRect().top;
    const shown = (id) => {
      const el = document.getElementById(id), r = el.getBoundingClientRect();
      const hit = document.elementFromPoint(r.left + Math.min(r.width / 2, 20), r.top + r.height / 2);
      return r.height > 0 && r.top >= 0 && r.bottom <= top && (hit === el || el.contains(hit));
    };
    const side = document.getElementById('kw-side').getBoundingClientRect();
    return { help: shown('kw-help'), link: shown('kw-glb'), panelBottom: side.bottom, top, innerHeight };
  });
  let f = await foot();
  check(f.help && f.link && f.panelBottom <= f.top, `with 150 more parameters the help and the glTF link stay on screen (${JSON.stringify(f)})`);
  const scrolled = await page.evaluate(() => {
    const s = document.getElementById('kw-scroll'), rows = document.querySelectorAll('#kw-legend tr');
    const last = rows[rows.length - 1];
    const before = s.scrollHeight > s.clientHeight;
    s.scrollTop = s.scrollHeight;
    const r = last.getBoundingClientRect(), hit = document.elementFromPoint(r.left + 5, r.top + r.height / 2);
    return { before, rows: rows.length, last: last.contains(hit) };
  });
  check(scrolled.before && scrolled.last, `the panel scrolls to the last of its ${scrolled.rows} parameters`);
  await page.setViewportSize({ width: 900, height: 420 });
  await page.waitForTimeout(200);
  f = await foot();
  check(f.help && f.link && f.panelBottom <= f.top, 'and so in a 900 x 420 window');
  const got = await page.evaluate(() => ({ state: window.kwViewer.checksState(), checks: document.getElementById('kw-checks').textContent,
    marks: document.querySelectorAll('.kw-mark').length, lanes: document.getElementById('kw-marks').hidden }));
  check(got.state === 'clean' && /no intrusions, close pairs or stuck agents/.test(got.checks) && got.marks === 0 && got.lanes,
    'a report with no events says so and marks nothing');
  check(problems.length === 0, `no console errors, page errors or network requests${problems.length ? ': ' + problems.join('; ') : ''}`);
  await close();
}
finish();
