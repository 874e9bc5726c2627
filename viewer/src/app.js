// The Kestrelwood run viewer's entry: it reads the run the page carries,
// builds the scene and the view, wires the side panel, the timeline and the
// keys, and shows the first frame. Each part is a module named for what it
// holds:
//   run_data      the run and its report as the page carries them
//   scene, obstacles, overlays, agents
//                 what is drawn: terrains and lights, obstacle rings, the
//                 tag's drawing per frame, agents, targets and event marks
//   camera, rendering
//                 the view (framing clear of the side panel) and drawing it
//   frames        the frame on show and the selected agent (agent_info: its panel)
//   report, spells, checks_panel
//                 the crowd report's spells, selecting one, the "Checks" section
//   timeline      play, step, scrub, and the spells' lanes
//   keyboard, side_panel
//                 the keys; the panel's account of the run and its controls
//   html          elements by id, escaping, numbers as the panels print them
//   test_hook     the browser tests' window.kwViewer, loaded only for them
import { readRun } from 'kw/run_data.js';
import { buildScene } from 'kw/scene.js';
import { createObstacles } from 'kw/obstacles.js';
import { createOverlays } from 'kw/overlays.js';
import { baseMarkerLength, createAgents } from 'kw/agents.js';
import { createCamera, runBounds } from 'kw/camera.js';
import { createRendering } from 'kw/rendering.js';
import { bindPicking, createFrames } from 'kw/frames.js';
import { createTimeline } from 'kw/timeline.js';
import { createSpells } from 'kw/spells.js';
import { bindKeys } from 'kw/keyboard.js';
import { bindFrameAll, bindSizeControl, describeRunInPanel } from 'kw/side_panel.js';
import { $ } from 'kw/html.js';

const say = (text) => { $('kw-status').textContent = text; };
const NEAREST_WHOLE_RUN = 4; // the whole run's view comes no closer, in base markers' lengths

// What the page says of itself: ready once the first frame is drawn (or it
// gave up), what went wrong, whether WebGL draws it, when its script was
// done (ms since navigation).
const status = { ready: false, error: null, webgl: false, loadMs: 0 };

// The most close pairs any frame of the report holds.
function mostPairs(checks) {
  let most = 0;
  for (const h of checks.byFrame.values()) most = Math.max(most, h.pairs.length);
  return most;
}

// The scene and the view of it. The framing keeps the first frame's drawing
// round the crowd clear of the side panel too.
function buildView(run) {
  const canvas = $('kw-canvas');
  const { scene, ground, terrainBox } = buildScene(run);
  const obstacles = createObstacles(scene, run, ground);
  const overlays = createOverlays(scene, run);
  if (run.frameCount) overlays.show(0);
  const bounds = runBounds(run, obstacles.points(), overlays.drawnPoints(), terrainBox);
  const baseLength = baseMarkerLength(run, bounds.runBox);
  const agents = createAgents(scene, run, baseLength, mostPairs(run.checks));
  const camera = createCamera(canvas, bounds, baseLength * NEAREST_WHOLE_RUN);
  const rendering = createRendering(canvas, scene, camera.camera);
  const { requestRender } = rendering;
  overlays.bindSwitches(requestRender);
  const sizeAgents = () => agents.fit(camera.worldPerPixel());
  camera.controls.addEventListener('change', () => { sizeAgents(); requestRender(); });
  return { run, canvas, obstacles, overlays, agents, camera, rendering, baseLength, requestRender, sizeAgents };
}

// Why the 3D view is empty or missing, when it is.
function sayWhatIsMissing(run, webgl) {
  if (!webgl) {
    say('WebGL is not available in this browser, so the 3D view is off; the timeline, the checks and the agents\u2019 data still work.');
  }
  if (!run.agentCount) {
    say('This run has no agents: no crowd tag had an agents group with children (see each tag\u2019s AGENTS_GROUP).' +
      (webgl ? '' : ' ' + $('kw-status').textContent));
  }
}

// The controls on the view: picking, the timeline, the spells, the panel's
// controls, the keys and the window's size.
function wire(run, v) {
  const frames = createFrames(run, v);
  bindPicking(v.canvas, frames);
  const timeline = createTimeline(run, frames);
  const spells = createSpells(run, { ...v, frames, timeline });
  const frameAll = () => { v.camera.frameAll(); v.sizeAgents(); v.requestRender(); };
  const setSize = bindSizeControl((factor) => { v.agents.setSizeFactor(factor); v.sizeAgents(); v.requestRender(); });
  bindFrameAll(frameAll);
  bindKeys({ timeline, spells, frameAll });
  const resize = () => {
    v.camera.applyViewOffset();
    v.rendering.setSize(v.canvas.clientWidth || 1, v.canvas.clientHeight || 1);
    v.sizeAgents();
    v.requestRender();
  };
  window.addEventListener('resize', resize);
  return { ...v, frames, timeline, spells, frameAll, setSize, resize };
}

// The viewer's parts, or null when the page holds no run.
function start() {
  const run = readRun();
  if (!run) {
    say('This is the viewer template: it holds no run. Open the index.html that a run wrote.');
    status.error = 'no run data';
    status.ready = true;
    return null;
  }
  describeRunInPanel(run);
  const view = wire(run, buildView(run));
  status.webgl = view.rendering.webgl;
  sayWhatIsMissing(run, status.webgl);
  view.camera.applyViewOffset();
  view.camera.frameAll();
  view.resize();
  view.frames.show(0);
  if (status.webgl && run.agentCount) say('');
  status.loadMs = performance.now();
  requestAnimationFrame(() => { view.rendering.render(); status.ready = true; });
  return view;
}

let viewer = null;
try {
  viewer = start();
} catch (e) {
  // Said on the page; a broken run must not look like an empty one.
  status.error = String((e && e.message) || e);
  say('The run could not be shown: ' + status.error);
  status.ready = true;
}
if (new URLSearchParams(location.search).has('test-hook')) {
  import('kw/test_hook.js').then((m) => m.installTestHook(status, viewer),
    (e) => console.error(`the test hook could not be loaded: ${e.message}`));
}
