// A viewer page in Debian's Chromium, headless, opened from file:// with every
// request that is not file: or data: refused and counted as a problem, as are
// console errors and page errors. Shared by the browser tests.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { chromiumPath, requireModule } from './node_env.mjs';

// Debian's Chromium, headless, with a fresh profile that close() removes.
export async function launchChromium({ args = [], viewport = { width: 1280, height: 800 } } = {}) {
  const { chromium } = requireModule('playwright-core');
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'kw-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: chromiumPath,
    headless: true,
    viewport,
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
      '--disable-sync', ...args],
  });
  const page = context.pages()[0] || (await context.newPage());
  const close = async () => { await context.close(); fs.rmSync(profile, { recursive: true, force: true }); };
  return { context, page, close };
}

// The page's address with its test hook (window.kwViewer), which the page
// loads only when asked.
export const hookedUrl = (pagePath) => `${pathToFileURL(pagePath).href}?test-hook`;

export async function openPage(pagePath, options = {}) {
  const { context, page, close } = await launchChromium(options);
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
  await page.goto(hookedUrl(pagePath));
  await page.waitForFunction(() => window.kwViewer && window.kwViewer.ready, null, { timeout: 90000 });
  const loadMs = Date.now() - t0;
  return { page, problems, loadMs, close };
}

// The page loaded afresh in a window of another size, once it is ready.
export async function reloadAt(page, viewport) {
  await page.setViewportSize(viewport);
  await page.reload();
  await page.waitForFunction(() => window.kwViewer && window.kwViewer.ready, null, { timeout: 90000 });
}

// page.evaluate(fn, arg) for large arguments and answers: both cross as one
// JSON string each, which is many times faster than Playwright's value by
// value serialisation of thousands of points.
export async function evaluateJson(page, fn, arg) {
  return JSON.parse(await page.evaluate(`JSON.stringify((${fn})(${JSON.stringify(arg)}))`));
}

// Moves the scrubber as a user's drag does.
export async function scrubTo(page, index) {
  await page.evaluate((i) => {
    const s = document.getElementById('kw-scrubber');
    s.value = String(i);
    s.dispatchEvent(new Event('input', { bubbles: true }));
  }, index);
}

// The JSON a page carries in its element kw-ID, read from the file as the
// host wrote it (null when there is none).
export function embeddedJson(pagePath, id) {
  const html = fs.readFileSync(pagePath, 'utf8');
  const open = `<script type="application/json" id="kw-${id}">`;
  const at = html.indexOf(open);
  if (at < 0) return null;
  const from = at + open.length;
  return JSON.parse(html.slice(from, html.indexOf('</script>', from)));
}
