// Measures a viewer page in headless Chromium: time from navigation to a
// first rendered frame, and the frame rate while playing every frame. Not a
// test (timings belong to measurements, not to pass/fail); for the large
// synthetic run:
//   make_sample_run /tmp/kwbig --agents 100 --frames 1000 --grid 1000
//   node tests/viewer/measure_viewer.mjs /tmp/kwbig/index.html
import fs from 'node:fs';
import { hookedUrl, launchChromium } from './chromium_page.mjs';

const page = process.argv[2];
const { page: p, close } = await launchChromium();
const errors = [];
p.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
const t0 = Date.now();
await p.goto(hookedUrl(page), { timeout: 120000 });
const domMs = Date.now() - t0;
await p.waitForFunction(() => window.kwViewer && window.kwViewer.ready, null, { timeout: 120000 });
const readyMs = Date.now() - t0;
const info = await p.evaluate(() => ({ webgl: window.kwViewer.webgl, loadMs: window.kwViewer.loadMs,
  renderer: (() => { const gl = document.createElement('canvas').getContext('webgl2');
    const ext = gl && gl.getExtension('WEBGL_debug_renderer_info');
    return ext ? gl.getParameter(ext.UNMASKED_RENDERER_WEBGL) : 'unknown'; })() }));
// The page's own work per frame (agents, markers, overlay buffers), without
// drawing: what bounds the frame rate on a real GPU.
const updateMs = await p.evaluate(() => {
  const v = window.kwViewer, t = performance.now();
  for (let i = 0; i < 200; i++) v.setFrameIndex(i % v.frameCount);
  return (performance.now() - t) / 200;
});
const fps = await p.evaluate(() => window.kwViewer.benchmark(5000));
const overlaysOff = await p.evaluate(async () => {
  for (const k of ['probe', 'repulsion', 'alignment']) document.getElementById('kw-show-' + k).click();
  return window.kwViewer.benchmark(3000);
});
const mb = (fs.statSync(page).size / 1e6).toFixed(1);
console.log(JSON.stringify({ pageMB: Number(mb), loadEventMs: domMs, readyMs, pageScriptReadyMs: Math.round(info.loadMs),
  webgl: info.webgl, updateMsPerFrame: Number(updateMs.toFixed(3)), renderer: info.renderer, fpsPlaying: Number(fps.toFixed(1)),
  fpsPlayingNoOverlays: Number(overlaysOff.toFixed(1)), consoleErrors: errors }));
await close();
