// The Kestrelwood run viewer. The run's data sits in the page itself (see
// host/export/viewer_page.h for the layout): a JSON element "kw-meta", base64
// typed arrays in "kw-*" elements and, when the run made one, the crowd
// report in "kw-report". Positions of lines, circles, terrains and obstacles
// arrive already mirrored into three.js's right-handed frame; agent matrices
// arrive as the scene holds them (left-handed) and are mirrored here with the
// same rule, M -> S M S with S = diag(1, 1, -1).
import * as THREE from 'three';
import { OrbitControls } from 'three/addons/controls/OrbitControls.js';
import { readReport } from 'kw/report.js';
import { buildChecks } from 'kw/checks_panel.js';
import { HeightField, drapedRing } from 'kw/terrain_height.js';
import { bestDirection, boxOf, direction, fitDistance } from 'kw/framing.js';
import { HIGHLIGHT, OBSTACLE, SELECTED, TARGET, tagColour } from 'kw/tag_colours.js';

const $ = (id) => document.getElementById(id);
const KINDS = ['probe', 'repulsion', 'alignment', 'other'];
const SWITCHES = { probe: 'SHOW_VISION', repulsion: 'SHOW_REPULSION', alignment: 'SHOW_ALIGNMENT' };
const CIRCLE_SEGMENTS = 48;
const RING_SEGMENTS = 32;     // the highlight round an agent
// Agents' size. The tag treats agents as points, so the arrowhead is a
// glyph: a 45th of the run's extent long, kept between MIN_MARKER_PX and
// MAX_MARKER_PX on screen (at the distance the camera looks from) so that
// agents stay readable zoomed out and apart zoomed in, times the size control.
const EXTENT_PER_MARKER = 45;
const MIN_MARKER_PX = 10;
const MAX_MARKER_PX = 28;
const FRAME_MARGIN_PX = 28;   // kept free round the framed run
const ELEVATION = 0.87;       // radians above the ground of the first view (50 degrees)

const hook = {
  ready: false,
  error: null,
  webgl: false,
  frameCount: 0,
  agentCount: 0,
  frameIndex: 0,
  loadMs: 0,
};
window.kwViewer = hook;

function bytes(id) {
  const el = $('kw-' + id);
  const text = el ? el.textContent.trim() : '';
  if (Uint8Array.fromBase64) return Uint8Array.fromBase64(text);
  const bin = atob(text);
  const out = new Uint8Array(bin.length);
  for (let i = 0; i < bin.length; i++) out[i] = bin.charCodeAt(i);
  return out;
}
const f32 = (id) => { const b = bytes(id); return new Float32Array(b.buffer, b.byteOffset, b.byteLength >> 2); };
const u32 = (id) => { const b = bytes(id); return new Uint32Array(b.buffer, b.byteOffset, b.byteLength >> 2); };
const u16 = (id) => { const b = bytes(id); return new Uint16Array(b.buffer, b.byteOffset, b.byteLength >> 1); };
const i8 = (id) => { const b = bytes(id); return new Int8Array(b.buffer, b.byteOffset, b.byteLength); };

function webglAvailable() {
  try {
    return !!document.createElement('canvas').getContext('webgl2');
  } catch {
    return false;
  }
}

function fmt(v, d = 3) { return Number.isFinite(v) ? v.toFixed(d) : String(v); }
function esc(s) { return String(s).replace(/[&<>"]/g, (c) => ({ '&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;' }[c])); }

function readChecks(meta) {
  const el = $('kw-report');
  try {
    return readReport(el ? JSON.parse(el.textContent) : null, meta);
  } catch (e) {
    const c = readReport(null, meta);
    c.state = 'unreadable';
    c.message = `The crowd report could not be read: ${e.message}`;
    return c;
  }
}

function start() {
  const metaEl = $('kw-meta');
  if (!metaEl) {
    $('kw-status').textContent = 'This is the viewer template: it holds no run. Open the index.html that a run wrote.';
    hook.error = 'no run data';
    hook.ready = true;
    return;
  }
  const meta = JSON.parse(metaEl.textContent);
  const nAgents = meta.agents.length;
  const nFrames = meta.frames.length;
  hook.frameCount = nFrames;
  hook.agentCount = nAgents;
  const states = f32('agents');            // [frame][agent][12 matrix + 3 hpb]
  const trackPos = f32('tracks');          // [track][frame][3], mirrored
  const lines = f32('lines'), lineRgb = bytes('line-rgb'), lineKind = bytes('line-kind'), lineStart = u32('line-start');
  const circles = f32('circles'), circleRgb = bytes('circle-rgb'), circleKind = bytes('circle-kind');
  const circleStart = u32('circle-start');
  const checks = readChecks(meta);
  const frameIndexOf = new Map(meta.frames.map((f, i) => [f, i]));

  // Tags: those with agents, parameters or a report entry, named for their
  // agents' group (else the object the report says carries the tag).
  const tagNames = new Map();
  for (const t of checks.tags) if (t.object) tagNames.set(t.tag, t.object);
  for (const p of meta.params) if (p.name === 'AGENTS_GROUP' && p.value) tagNames.set(p.tag, p.value);
  const tags = [...new Set([...meta.agents.map((a) => a.tag), ...meta.params.map((p) => p.tag)])].sort((a, b) => a - b);
  const tagLabel = (tag) => `Tag ${tag}` + (tagNames.has(tag) ? `: ${tagNames.get(tag)}` : '');

  document.title = `${meta.scene || 'Kestrelwood run'} – Kestrelwood viewer`;
  $('kw-title').textContent = meta.scene || 'Kestrelwood run';
  $('kw-summary').textContent = `${nAgents ? nAgents.toLocaleString('en') : 'no'} agents, ${nFrames} frames at ${meta.fps} fps` +
    (meta.terrains.length ? `, terrain ${meta.terrains.reduce((s, t) => s + t.indices / 3, 0).toLocaleString('en')} triangles` : '');
  if (meta.glb) $('kw-download').innerHTML = `The run as glTF for other viewers: <a id="kw-glb" href="${esc(meta.glb)}">${esc(meta.glb)}</a>`;
  sceneLegend(meta, tags, tagLabel);
  paramLegend(meta.params, tagLabel);

  const scene = new THREE.Scene();
  scene.background = new THREE.Color(0x1d2227);
  scene.add(new THREE.HemisphereLight(0xdfe8ff, 0x3a3226, 1.6));
  const sun = new THREE.DirectionalLight(0xffffff, 1.8);
  sun.position.set(0.4, 1, 0.3);
  scene.add(sun);
  const contentBox = new THREE.Box3(); // everything, for the clipping planes

  // Terrains: 16-bit points over their box, int8 normals, uint32 triangles,
  // coloured by height.
  const ground = new HeightField();
  for (const t of meta.terrains) {
    const q = u16(t.id + '-pos');
    const pos = new Float32Array(q.length);
    const col = new Uint8Array(q.length);
    const lo = t.min, ext = [t.max[0] - t.min[0], t.max[1] - t.min[1], t.max[2] - t.min[2]];
    const low = new THREE.Color(0x5c6b46), high = new THREE.Color(0xb9a98f), c = new THREE.Color();
    for (let i = 0; i < q.length; i += 3) {
      pos[i] = lo[0] + (q[i] / 65535) * ext[0];
      pos[i + 1] = lo[1] + (q[i + 1] / 65535) * ext[1];
      pos[i + 2] = lo[2] + (q[i + 2] / 65535) * ext[2];
      c.lerpColors(low, high, q[i + 1] / 65535);
      col[i] = c.r * 255; col[i + 1] = c.g * 255; col[i + 2] = c.b * 255;
    }
    const idx = u32(t.id + '-idx');
    ground.add(pos, idx);
    const g = new THREE.BufferGeometry();
    g.setAttribute('position', new THREE.BufferAttribute(pos, 3));
    g.setAttribute('normal', new THREE.BufferAttribute(i8(t.id + '-nrm'), 3, true));
    g.setAttribute('color', new THREE.BufferAttribute(col, 3, true));
    g.setIndex(new THREE.BufferAttribute(idx, 1));
    g.boundingBox = new THREE.Box3(new THREE.Vector3(...t.min), new THREE.Vector3(...t.max));
    g.computeBoundingSphere();
    const mesh = new THREE.Mesh(g, new THREE.MeshLambertMaterial({ vertexColors: true, side: THREE.DoubleSide }));
    mesh.name = t.name;
    scene.add(mesh);
    contentBox.union(g.boundingBox);
  }

  // Obstacles: the horizontal great circle of each obstacle's sphere, laid
  // on the ground where there is terrain (at the centre's height elsewhere).
  // Drawn over everything, as the overlays are, so that hills never cut them.
  const rings = meta.obstacles.map((o) => drapedRing(ground, o.centre[0], o.centre[1], o.centre[2], o.radius));
  const ringStart = [0];
  for (const r of rings) ringStart.push(ringStart[ringStart.length - 1] + r.length / 3);
  const obstacleColour = new THREE.Color(OBSTACLE), highlightColour = new THREE.Color(HIGHLIGHT);
  const ringGeometry = new THREE.BufferGeometry();
  {
    const pos = new Float32Array(ringStart[rings.length] * 3);
    rings.forEach((r, i) => pos.set(r, ringStart[i] * 3));
    const col = new Float32Array(pos.length);
    for (let i = 0; i < col.length; i += 3) obstacleColour.toArray(col, i);
    ringGeometry.setAttribute('position', new THREE.BufferAttribute(pos, 3));
    ringGeometry.setAttribute('color', new THREE.BufferAttribute(col, 3));
    const ringLines = new THREE.LineSegments(ringGeometry,
      new THREE.LineBasicMaterial({ vertexColors: true, depthTest: false, depthWrite: false, transparent: true }));
    ringLines.renderOrder = 5;
    ringLines.frustumCulled = false;
    scene.add(ringLines);
  }

  // An obstacle with an agent inside at the shown frame is also filled, faintly.
  const discs = meta.obstacles.map((o, i) => {
    const r = rings[i], n = r.length / 6;
    const c = ground.heightAt(o.centre[0], o.centre[2], o.centre[1]);
    const pos = new Float32Array(n * 9);
    for (let s = 0; s < n; s++) {
      pos.set([o.centre[0], c === null ? o.centre[1] : c, o.centre[2]], s * 9);
      pos.set(r.subarray(s * 6, s * 6 + 6), s * 9 + 3);
    }
    const g = new THREE.BufferGeometry();
    g.setAttribute('position', new THREE.BufferAttribute(pos, 3));
    const m = new THREE.Mesh(g, new THREE.MeshBasicMaterial({ color: HIGHLIGHT, transparent: true, opacity: 0.22,
      depthTest: false, depthWrite: false, side: THREE.DoubleSide }));
    m.renderOrder = 4;
    m.visible = false;
    scene.add(m);
    return m;
  });

  // What the camera frames: every frame's agents and targets, and the
  // obstacles as drawn.
  const runPoints = new Float32Array(nFrames * nAgents * 3 + trackPos.length + ringStart[rings.length] * 3);
  {
    let at = 0;
    for (let k = 0; k < nFrames * nAgents; k++) {
      runPoints[at++] = states[k * 15]; runPoints[at++] = states[k * 15 + 1]; runPoints[at++] = -states[k * 15 + 2];
    }
    runPoints.set(trackPos, at);
    rings.forEach((r, i) => runPoints.set(r, at + trackPos.length + ringStart[i] * 3));
  }
  const runBox = boxOf(runPoints);
  if (runBox) contentBox.union(new THREE.Box3(new THREE.Vector3(...runBox.min), new THREE.Vector3(...runBox.max)));
  if (contentBox.isEmpty()) contentBox.set(new THREE.Vector3(-100, -100, -100), new THREE.Vector3(100, 100, 100));
  const runExtent = runBox ? Math.max(...runBox.size) : 0;
  const baseLength = runExtent > 0 ? runExtent / EXTENT_PER_MARKER : meta.marker.length;

  // Agents: one instanced arrowhead of unit length, lifted so that it rests
  // on the agent's origin rather than half in the ground. Drawn after the
  // overlays (renderOrder, and transparent so that three.js sorts them
  // together), so overlays never cover an agent.
  const mg = new THREE.BufferGeometry();
  {
    const p = meta.marker.positions.map((v) => v / meta.marker.length);
    let lowest = 0;
    for (let i = 1; i < p.length; i += 3) lowest = Math.min(lowest, p[i]);
    for (let i = 1; i < p.length; i += 3) p[i] -= lowest;
    mg.setAttribute('position', new THREE.Float32BufferAttribute(p, 3));
    mg.setAttribute('normal', new THREE.Float32BufferAttribute(meta.marker.normals, 3));
  }
  const agents = new THREE.InstancedMesh(mg,
    new THREE.MeshLambertMaterial({ color: 0xffffff, transparent: true, opacity: 1 }), Math.max(nAgents, 1));
  agents.count = nAgents;
  agents.frustumCulled = false;
  agents.renderOrder = 20;
  const tagColours = new Map(tags.map((t) => [t, new THREE.Color(tagColour(t))]));
  const selectedColour = new THREE.Color(SELECTED);
  scene.add(agents);

  const trackMeshes = meta.tracks.map((name) => {
    const m = new THREE.Mesh(new THREE.OctahedronGeometry(0.6),
      new THREE.MeshLambertMaterial({ color: TARGET, transparent: true, opacity: 1 }));
    m.name = name;
    m.renderOrder = 20;
    scene.add(m);
    return m;
  });

  // Highlights of the report's events at the shown frame: a ring round each
  // agent in one, a line between the agents of a close pair.
  const halo = new THREE.LineSegments(new THREE.BufferGeometry(),
    new THREE.LineBasicMaterial({ color: HIGHLIGHT, depthTest: false, depthWrite: false, transparent: true }));
  halo.geometry.setAttribute('position', new THREE.BufferAttribute(new Float32Array(Math.max(nAgents, 1) * RING_SEGMENTS * 6), 3));
  halo.renderOrder = 30;
  halo.frustumCulled = false;
  scene.add(halo);
  let maxPairs = 0;
  for (const h of checks.byFrame.values()) maxPairs = Math.max(maxPairs, h.pairs.length);
  const pairLines = new THREE.LineSegments(new THREE.BufferGeometry(), halo.material);
  pairLines.geometry.setAttribute('position', new THREE.BufferAttribute(new Float32Array(Math.max(maxPairs, 1) * 6), 3));
  pairLines.renderOrder = 30;
  pairLines.frustumCulled = false;
  scene.add(pairLines);

  // Overlays: per kind one LineSegments whose buffers hold the largest frame.
  // In the pens' own colours, drawn before the agents and never writing depth,
  // so that the agents stay in front.
  const maxVerts = [0, 0, 0, 0];
  for (let f = 0; f < nFrames; f++) {
    const n = [0, 0, 0, 0];
    for (let i = lineStart[f]; i < lineStart[f + 1]; i++) n[lineKind[i]] += 2;
    for (let i = circleStart[f]; i < circleStart[f + 1]; i++) n[circleKind[i]] += 2 * CIRCLE_SEGMENTS;
    for (let k = 0; k < 4; k++) maxVerts[k] = Math.max(maxVerts[k], n[k]);
  }
  const overlays = KINDS.map((kind, k) => {
    const g = new THREE.BufferGeometry();
    g.setAttribute('position', new THREE.BufferAttribute(new Float32Array(maxVerts[k] * 3), 3).setUsage(THREE.DynamicDrawUsage));
    g.setAttribute('color', new THREE.BufferAttribute(new Uint8Array(maxVerts[k] * 3), 3, true).setUsage(THREE.DynamicDrawUsage));
    g.setDrawRange(0, 0);
    const o = new THREE.LineSegments(g, new THREE.LineBasicMaterial({
      vertexColors: true, depthTest: false, depthWrite: false, transparent: true }));
    o.renderOrder = 10;
    o.frustumCulled = false;
    o.name = kind;
    scene.add(o);
    const box = $('kw-show-' + kind);
    const drawn = !!meta.overlayKinds[kind];
    if (kind === 'other') $('kw-label-other').hidden = !drawn;
    else if (!drawn) {
      // Nothing recorded to show: say whether the tags' switches were off.
      const switches = meta.params.filter((p) => p.name === SWITCHES[kind]);
      box.checked = false;
      box.disabled = true;
      $('kw-label-' + kind).classList.add('kw-off');
      $('kw-label-' + kind).append(switches.length && switches.every((p) => p.value === 'off') ? ' (off in the tag)' : ' (none drawn)');
    }
    box.addEventListener('change', () => { o.visible = box.checked; requestRender(); });
    o.visible = box.checked;
    return o;
  });

  // --- Rendering, on demand ------------------------------------------------
  hook.webgl = webglAvailable();
  const canvas = $('kw-canvas');
  let renderer = null;
  if (hook.webgl) {
    renderer = new THREE.WebGLRenderer({ canvas, antialias: true });
    renderer.setPixelRatio(Math.min(window.devicePixelRatio, 2));
  } else {
    $('kw-status').textContent = 'WebGL is not available in this browser, so the 3D view is off; ' +
      'the timeline, the checks and the agents\u2019 data still work.';
  }
  if (!nAgents) {
    $('kw-status').textContent = 'This run has no agents: no crowd tag had an agents group with children ' +
      '(see each tag\u2019s AGENTS_GROUP).' +
      (hook.webgl ? '' : ' ' + $('kw-status').textContent);
  }
  const contentRadius = Math.max(contentBox.getSize(new THREE.Vector3()).length() / 2, 1);
  const camera = new THREE.PerspectiveCamera(45, 1, contentRadius / 2000, contentRadius * 40);
  const controls = new OrbitControls(camera, canvas);
  controls.maxDistance = contentRadius * 15;
  controls.addEventListener('change', () => { sizeAgents(); requestRender(); });

  let renderPending = false;
  function render() {
    renderPending = false;
    if (renderer) renderer.render(scene, camera);
  }
  function requestRender() {
    if (!renderPending) { renderPending = true; requestAnimationFrame(render); }
  }

  // The part of the canvas the side panel leaves free (canvas pixels). When
  // the window is too narrow for both, the view takes the whole canvas.
  function freeRect() {
    const c = canvas.getBoundingClientRect(), p = $('kw-side').getBoundingClientRect();
    const w = c.width || 1, h = c.height || 1;
    let left = Math.max(0, Math.min(w, p.right + 8 - c.left));
    if (w - left < 0.45 * w) left = 0;
    return { left, top: 0, width: w - left, height: h };
  }
  // The camera's centre of projection sits in the middle of the free part:
  // the canvas shows the left part of a wider view centred there.
  function applyViewOffset() {
    const w = canvas.clientWidth || 1, h = canvas.clientHeight || 1, r = freeRect();
    camera.aspect = (w + r.left) / h;
    camera.setViewOffset(w + r.left, h, 0, 0, w, h);
    camera.updateProjectionMatrix();
  }
  // Tangents of the half angles the free part spans round its centre.
  function freeTangents() {
    const h = canvas.clientHeight || 1, r = freeRect(), t = Math.tan(THREE.MathUtils.degToRad(camera.fov / 2));
    const half = h / 2;
    return [t * Math.max(r.width / 2 - FRAME_MARGIN_PX, r.width / 4) / half,
      t * Math.max(half - FRAME_MARGIN_PX, half / 2) / half];
  }
  function place(target, back, distance) {
    controls.target.set(...target);
    camera.position.set(target[0] + back[0] * distance, target[1] + back[1] * distance, target[2] + back[2] * distance);
    camera.near = Math.max(distance / 5000, contentRadius / 20000);
    camera.far = Math.max(contentRadius * 40, distance * 4);
    camera.updateProjectionMatrix();
    controls.update();
  }
  function frameAll() {
    if (!runBox) {
      const c = contentBox.getCenter(new THREE.Vector3());
      place([c.x, c.y, c.z], direction(0.18, ELEVATION), contentRadius * 2.2);
      return;
    }
    const [tx, ty] = freeTangents();
    // Along the run's length or across it, whichever shows it larger.
    const { back, distance } = bestDirection(runPoints, runBox.centre,
      [direction(0.18, ELEVATION), direction(Math.PI / 2 + 0.18, ELEVATION)], tx, ty);
    place(runBox.centre, back, Math.max(distance, baseLength * 4));
  }

  // --- Frames ----------------------------------------------------------------
  const m4 = new THREE.Matrix4(), scaleM = new THREE.Matrix4();
  let selected = -1;
  let markerLength = baseLength, sizeFactor = 1;
  let highlighted = { agents: new Set(), obstacles: new Set(), pairs: [], notes: new Map() };
  const none = highlighted;
  function agentMatrix(f, i, out) {
    const s = states, b = (f * nAgents + i) * 15;
    // Columns X' = S v1, Y' = S v2, Z' = -S v3, T' = S off.
    return out.set(
      s[b + 3], s[b + 6], -s[b + 9], s[b],
      s[b + 4], s[b + 7], -s[b + 10], s[b + 1],
      -s[b + 5], -s[b + 8], s[b + 11], -s[b + 2],
      0, 0, 0, 1);
  }
  function fillOverlays(f) {
    const used = [0, 0, 0, 0];
    const pos = overlays.map((o) => o.geometry.attributes.position.array);
    const col = overlays.map((o) => o.geometry.attributes.color.array);
    for (let i = lineStart[f]; i < lineStart[f + 1]; i++) {
      const k = lineKind[i], p = pos[k], c = col[k];
      let at = used[k] * 3;
      for (let e = 0; e < 2; e++, at += 3) {
        p[at] = lines[i * 6 + e * 3]; p[at + 1] = lines[i * 6 + e * 3 + 1]; p[at + 2] = lines[i * 6 + e * 3 + 2];
        c[at] = lineRgb[i * 3]; c[at + 1] = lineRgb[i * 3 + 1]; c[at + 2] = lineRgb[i * 3 + 2];
      }
      used[k] += 2;
    }
    for (let i = circleStart[f]; i < circleStart[f + 1]; i++) {
      // centre + v1 cos a + v2 sin a: the ellipse the host draws for a matrix.
      const k = circleKind[i], p = pos[k], c = col[k], q = i * 9;
      let at = used[k] * 3;
      for (let s = 0; s < CIRCLE_SEGMENTS; s++) {
        for (const step of [s, s + 1]) {
          const a = (2 * Math.PI * step) / CIRCLE_SEGMENTS, ca = Math.cos(a), sa = Math.sin(a);
          p[at] = circles[q] + circles[q + 3] * ca + circles[q + 6] * sa;
          p[at + 1] = circles[q + 1] + circles[q + 4] * ca + circles[q + 7] * sa;
          p[at + 2] = circles[q + 2] + circles[q + 5] * ca + circles[q + 8] * sa;
          c[at] = circleRgb[i * 3]; c[at + 1] = circleRgb[i * 3 + 1]; c[at + 2] = circleRgb[i * 3 + 2];
          at += 3;
        }
      }
      used[k] += 2 * CIRCLE_SEGMENTS;
    }
    overlays.forEach((o, k) => {
      o.geometry.setDrawRange(0, used[k]);
      o.geometry.attributes.position.addUpdateRange(0, used[k] * 3);
      o.geometry.attributes.color.addUpdateRange(0, used[k] * 3);
      o.geometry.attributes.position.needsUpdate = true;
      o.geometry.attributes.color.needsUpdate = true;
    });
  }
  // World length of the arrowheads (see MIN_MARKER_PX).
  function wantedLength() {
    const h = canvas.clientHeight || 1;
    const perPx = (2 * camera.position.distanceTo(controls.target) * Math.tan(THREE.MathUtils.degToRad(camera.fov / 2))) / h;
    return Math.min(Math.max(baseLength, MIN_MARKER_PX * perPx), MAX_MARKER_PX * perPx) * sizeFactor;
  }
  function placeAgents() {
    if (!nFrames) return;
    const f = hook.frameIndex;
    scaleM.makeScale(markerLength, markerLength, markerLength);
    for (let i = 0; i < nAgents; i++) agents.setMatrixAt(i, agentMatrix(f, i, m4).multiply(scaleM));
    agents.instanceMatrix.needsUpdate = true;
    trackMeshes.forEach((m, t) => {
      const b = (t * nFrames + f) * 3;
      m.position.set(trackPos[b], trackPos[b + 1], trackPos[b + 2]);
      m.scale.setScalar(markerLength);
    });
    // Rings round the highlighted agents, horizontal, past the arrowhead's tips.
    const pos = halo.geometry.attributes.position.array, r = markerLength * 1.3;
    let at = 0;
    for (const i of highlighted.agents) {
      const b = (f * nAgents + i) * 15, x = states[b], y = states[b + 1] + markerLength * 0.1, z = -states[b + 2];
      for (let s = 0; s < RING_SEGMENTS; s++) {
        for (const k of [s, s + 1]) {
          const a = (2 * Math.PI * k) / RING_SEGMENTS;
          pos[at++] = x + r * Math.cos(a); pos[at++] = y; pos[at++] = z + r * Math.sin(a);
        }
      }
    }
    halo.geometry.setDrawRange(0, at / 3);
    halo.geometry.attributes.position.needsUpdate = true;
    const pp = pairLines.geometry.attributes.position.array;
    at = 0;
    for (const [a, b] of highlighted.pairs) {
      for (const i of [a, b]) {
        const q = (f * nAgents + i) * 15;
        pp[at++] = states[q]; pp[at++] = states[q + 1] + markerLength * 0.1; pp[at++] = -states[q + 2];
      }
    }
    pairLines.geometry.setDrawRange(0, at / 3);
    pairLines.geometry.attributes.position.needsUpdate = true;
  }
  function sizeAgents() {
    const want = wantedLength();
    if (Math.abs(want - markerLength) > markerLength * 0.01) {
      markerLength = want;
      placeAgents();
    }
  }
  function paintAgents() {
    for (let i = 0; i < nAgents; i++) {
      const c = i === selected ? selectedColour : highlighted.agents.has(i) ? highlightColour : tagColours.get(meta.agents[i].tag);
      agents.setColorAt(i, c);
    }
    if (agents.instanceColor) agents.instanceColor.needsUpdate = true;
    const col = ringGeometry.attributes.color;
    rings.forEach((_, o) => {
      discs[o].visible = highlighted.obstacles.has(o);
      const c = highlighted.obstacles.has(o) ? highlightColour : obstacleColour;
      for (let v = ringStart[o]; v < ringStart[o + 1]; v++) c.toArray(col.array, v * 3);
    });
    col.needsUpdate = true;
  }
  function setFrameIndex(f) {
    if (!nFrames) return;
    f = Math.max(0, Math.min(nFrames - 1, Math.round(Number(f)) || 0));
    hook.frameIndex = f;
    highlighted = checks.byFrame.get(meta.frames[f]) || none;
    placeAgents();
    paintAgents();
    fillOverlays(f);
    $('kw-scrubber').value = String(f);
    $('kw-frame').textContent = `Frame ${meta.frames[f]}  (${f + 1}/${nFrames})`;
    showInfo();
    requestRender();
  }

  function showInfo() {
    const info = $('kw-info');
    if (selected < 0) { info.innerHTML = ''; return; }
    const a = meta.agents[selected], b = (hook.frameIndex * nAgents + selected) * 15, s = states;
    const deg = (r) => `${fmt((r * 180) / Math.PI, 2)}\u00b0 <span class="kw-hint">(${fmt(r, 4)} rad)</span>`;
    const notes = highlighted.notes.get(selected) || [];
    info.innerHTML = `<table>
      <tr><td>Agent</td><td id="kw-info-name">${esc(a.name)}</td></tr>
      <tr><td>Index</td><td id="kw-info-index">${a.index}</td></tr>
      <tr><td>Tag</td><td><span class="kw-swatch" style="background:${tagColour(a.tag)}"></span>${esc(tagLabel(a.tag))}</td></tr>
      <tr><td>Speed</td><td id="kw-info-speed">${fmt(a.speed)}</td></tr>
      <tr><td>Heading</td><td>${deg(s[b + 12])}</td></tr>
      <tr><td>Pitch</td><td>${deg(s[b + 13])}</td></tr>
      <tr><td>Bank</td><td>${deg(s[b + 14])}</td></tr>
      <tr><td>Position</td><td id="kw-info-position">${fmt(s[b])}, ${fmt(s[b + 1])}, ${fmt(s[b + 2])}</td></tr>
      <tr><td>Frame</td><td>${meta.frames[hook.frameIndex]}</td></tr>
      ${notes.length ? `<tr><td>Checks</td><td id="kw-info-checks" class="kw-warn">${notes.map(esc).join('<br>')}</td></tr>` : ''}
      </table>`;
  }
  function select(i) {
    selected = i >= 0 && i < nAgents ? i : -1;
    paintAgents();
    showInfo();
    requestRender();
  }
  function agentPosition(i) {
    // What the view shows, read back from the instance and mirrored back
    // into the scene's frame.
    agents.getMatrixAt(i, m4);
    const p = new THREE.Vector3().setFromMatrixPosition(m4);
    return [p.x, p.y, -p.z];
  }
  function agentForward(i) {
    // The marker points along its local -Z; mirrored back into the scene's
    // frame this is the agent's forward (Z) axis, normalised.
    agents.getMatrixAt(i, m4);
    const e = m4.elements, l = Math.hypot(e[8], e[9], e[10]) || 1;
    return [-e[8] / l, -e[9] / l, e[10] / l];
  }
  // A point of the viewers' frame on the page (CSS pixels).
  function screenOf(p) {
    const v = new THREE.Vector3(p[0], p[1], p[2]).project(camera);
    const r = canvas.getBoundingClientRect();
    return { x: r.left + ((v.x + 1) / 2) * r.width, y: r.top + ((1 - v.y) / 2) * r.height, inView: Math.abs(v.z) <= 1 };
  }
  function agentScreenPosition(i) {
    agents.getMatrixAt(i, m4);
    const p = new THREE.Vector3().setFromMatrixPosition(m4);
    return screenOf([p.x, p.y, p.z]);
  }

  // Click (not drag) on the canvas: the agent nearest the pointer within 24 px.
  let down = null;
  canvas.addEventListener('pointerdown', (e) => { down = { x: e.clientX, y: e.clientY }; });
  canvas.addEventListener('pointerup', (e) => {
    if (!down || Math.hypot(e.clientX - down.x, e.clientY - down.y) > 4) return;
    let best = -1, bestD = 24;
    for (let i = 0; i < nAgents; i++) {
      const s = agentScreenPosition(i);
      const d = Math.hypot(s.x - e.clientX, s.y - e.clientY);
      if (s.inView && d < bestD) { bestD = d; best = i; }
    }
    select(best);
  });

  // --- The report's spells ----------------------------------------------------
  let selectedMark = -1;
  // The spell's agents at its frame, close enough to tell them apart, with
  // the obstacle it is about whole.
  function frameMark(m) {
    const f = hook.frameIndex, pts = [], pad = baseLength * 2.5;
    for (const i of m.agents) {
      const b = (f * nAgents + i) * 15, x = states[b], y = states[b + 1], z = -states[b + 2];
      for (const dx of [-pad, pad]) for (const dz of [-pad, pad]) pts.push(x + dx, y, z + dz);
    }
    for (const o of m.obstacles) for (let k = 0; k < rings[o].length; k++) pts.push(rings[o][k]);
    const a = (f * nAgents + m.agents[0]) * 15;
    let target = [states[a], states[a + 1], -states[a + 2]];
    if (m.kind === 'close-pair' && m.agents.length > 1) {
      const c = (f * nAgents + m.agents[1]) * 15;
      target = [(target[0] + states[c]) / 2, (target[1] + states[c + 1]) / 2, (target[2] - states[c + 2]) / 2];
    }
    const back = camera.position.clone().sub(controls.target).normalize().toArray();
    const [tx, ty] = freeTangents();
    place(target, back, Math.max(fitDistance(pts, target, back, tx, ty), baseLength * 3));
  }
  function selectMark(k) {
    if (k < 0 || k >= checks.marks.length) return;
    const m = checks.marks[k];
    selectedMark = k;
    setPlaying(false);
    setFrameIndex(frameIndexOf.get(m.frame));
    select(m.agents[0]);
    frameMark(m);
    sizeAgents();
    panel.show(k);
    requestRender();
  }
  // The next (or previous) spell: after the selected one, or else from the
  // frame on show.
  function stepMark(dir) {
    if (!checks.marks.length) return;
    let k = selectedMark;
    if (k < 0) {
      const now = meta.frames[hook.frameIndex];
      k = dir > 0 ? checks.marks.findIndex((m) => m.from >= now) : checks.marks.findLastIndex((m) => m.from <= now);
      if (k < 0) k = dir > 0 ? 0 : checks.marks.length - 1;
    } else k = (k + dir + checks.marks.length) % checks.marks.length;
    selectMark(k);
  }
  const panel = buildChecks(checks, meta.frames, (t) => tagLabel(t.tag), selectMark);
  $('kw-event-prev')?.addEventListener('click', () => stepMark(-1));
  $('kw-event-next')?.addEventListener('click', () => stepMark(1));

  // --- Timeline and controls ---------------------------------------------------
  let playing = false, last = 0, carry = 0;
  function tick(now) {
    if (!playing) return;
    carry += ((now - last) / 1000) * meta.fps;
    last = now;
    if (carry >= 1) {
      const n = Math.floor(carry);
      carry -= n;
      setFrameIndex((hook.frameIndex + n) % nFrames);
    }
    requestAnimationFrame(tick);
  }
  function setPlaying(on) {
    playing = on && nFrames > 1;
    $('kw-play').innerHTML = playing ? '<b>| |</b>' : '&#x25B6;';
    if (playing) { last = performance.now(); carry = 0; requestAnimationFrame(tick); }
  }
  $('kw-scrubber').max = String(Math.max(0, nFrames - 1));
  $('kw-scrubber').addEventListener('input', (e) => setFrameIndex(e.target.value));
  $('kw-play').addEventListener('click', () => setPlaying(!playing));
  $('kw-prev').addEventListener('click', () => { setPlaying(false); setFrameIndex(hook.frameIndex - 1); });
  $('kw-next').addEventListener('click', () => { setPlaying(false); setFrameIndex(hook.frameIndex + 1); });
  function setSize(exp) {
    sizeFactor = 2 ** Number(exp);
    $('kw-agent-size').value = String(exp);
    const shown = sizeFactor < 1 ? sizeFactor.toFixed(2) : sizeFactor.toFixed(1).replace(/\.0$/, '');
    $('kw-agent-size-value').textContent = `\u00d7${shown}`;
    sizeAgents();
    requestRender();
  }
  $('kw-agent-size').addEventListener('input', (e) => setSize(e.target.value));
  $('kw-frame-all').addEventListener('click', () => { frameAll(); sizeAgents(); requestRender(); });
  window.addEventListener('keydown', (e) => {
    if (e.target instanceof HTMLInputElement && e.target.type !== 'range' && e.target.type !== 'checkbox') return;
    if (e.key === ' ') { e.preventDefault(); setPlaying(!playing); }
    else if (e.key === 'ArrowRight') { e.preventDefault(); setPlaying(false); setFrameIndex(hook.frameIndex + 1); }
    else if (e.key === 'ArrowLeft') { e.preventDefault(); setPlaying(false); setFrameIndex(hook.frameIndex - 1); }
    else if (e.key === ']') stepMark(1);
    else if (e.key === '[') stepMark(-1);
    else if (e.key === 'f' || e.key === 'F') { frameAll(); sizeAgents(); requestRender(); }
  });
  function resize() {
    const w = canvas.clientWidth || 1, h = canvas.clientHeight || 1;
    applyViewOffset();
    if (renderer) renderer.setSize(w, h, false);
    sizeAgents();
    requestRender();
  }
  window.addEventListener('resize', resize);

  // Pixels read back from a fresh rendering (null without WebGL).
  function pixels() {
    if (!renderer) return null;
    renderer.render(scene, camera);
    const gl = renderer.getContext();
    const w = gl.drawingBufferWidth, h = gl.drawingBufferHeight, px = new Uint8Array(w * h * 4);
    gl.readPixels(0, 0, w, h, gl.RGBA, gl.UNSIGNED_BYTE, px);
    return { w, h, px };
  }

  Object.assign(hook, {
    frameNumber: (f) => meta.frames[f],
    setFrameIndex,
    agentPosition,
    agentScreenPosition,
    agentForward,
    screenOf,
    selectAgent: select,
    selectedAgent: () => selected,
    agentColour: (i) => {
      const c = new THREE.Color();
      agents.getColorAt(i, c);
      return `#${c.getHexString()}`;
    },
    tagColour,
    markerLength: () => markerLength,
    setAgentSize: setSize,
    overlayVisible: (kind) => overlays[KINDS.indexOf(kind)].visible,
    overlaySegments: (kind) => overlays[KINDS.indexOf(kind)].geometry.drawRange.count / 2,
    obstacleCount: rings.length,
    trackCount: trackMeshes.length,
    obstacleRing: (o) => Array.from(rings[o]),
    trackPosition: (t) => { const b = (t * nFrames + hook.frameIndex) * 3; return [trackPos[b], trackPos[b + 1], trackPos[b + 2]]; },
    // The free part of the view, in page pixels.
    freeRect: () => {
      const c = canvas.getBoundingClientRect(), r = freeRect();
      return { left: c.left + r.left, top: c.top + r.top, right: c.left + r.left + r.width, bottom: c.top + r.height };
    },
    cameraDistance: () => camera.position.distanceTo(controls.target),
    frameAll: () => { frameAll(); sizeAgents(); requestRender(); },
    checksState: () => checks.state,
    marks: () => checks.marks.map(({ kind, tag, agents: a, obstacles: o, names, obstacleName, from, to, frame }) =>
      ({ kind, tag, agents: a, obstacles: o, names, obstacleName, from, to, frame })),
    selectMark,
    selectedMark: () => selectedMark,
    highlightedAgents: () => [...highlighted.agents].sort((a, b) => a - b),
    highlightedObstacles: () => [...highlighted.obstacles].sort((a, b) => a - b),
    play: () => setPlaying(true),
    pause: () => setPlaying(false),
    isPlaying: () => playing,
    // Pixels of about this colour in a fresh rendering (null without WebGL).
    countColour(rgb, tol = 40) {
      const p = pixels();
      if (!p) return null;
      let n = 0;
      for (let i = 0; i < p.px.length; i += 4) {
        if (Math.abs(p.px[i] - rgb[0]) <= tol && Math.abs(p.px[i + 1] - rgb[1]) <= tol && Math.abs(p.px[i + 2] - rgb[2]) <= tol) n++;
      }
      return n;
    },
    // For each agent, the pixels within radius CSS pixels of it that change
    // when the agents are not drawn: how much of it shows (null without WebGL).
    agentCoverage(radius = 30) {
      const on = pixels();
      if (!on) return null;
      agents.visible = false;
      const off = pixels();
      agents.visible = true;
      const { w, h } = on, ratio = w / (canvas.clientWidth || 1), rr = radius * ratio;
      const c = canvas.getBoundingClientRect();
      return Array.from({ length: nAgents }, (_, i) => {
        const s = agentScreenPosition(i);
        const cx = (s.x - c.left) * ratio, cy = h - (s.y - c.top) * ratio;
        let n = 0;
        for (let y = Math.max(0, Math.floor(cy - rr)); y < Math.min(h, Math.ceil(cy + rr)); y++) {
          for (let x = Math.max(0, Math.floor(cx - rr)); x < Math.min(w, Math.ceil(cx + rr)); x++) {
            if ((x - cx) ** 2 + (y - cy) ** 2 > rr * rr) continue;
            const k = (y * w + x) * 4;
            const d = Math.abs(on.px[k] - off.px[k]) + Math.abs(on.px[k + 1] - off.px[k + 1]) +
              Math.abs(on.px[k + 2] - off.px[k + 2]);
            if (d > 24) n++;
          }
        }
        return n;
      });
    },
    // Plays every frame, one per display refresh, for ms milliseconds and
    // reports the rendered frames per second.
    benchmark(ms) {
      return new Promise((resolve) => {
        let frames = 0, f = hook.frameIndex;
        const t0 = performance.now();
        function step(now) {
          f = (f + 1) % nFrames;
          setFrameIndex(f);
          render();
          frames++;
          if (now - t0 < ms) requestAnimationFrame(step);
          else resolve((frames * 1000) / (performance.now() - t0));
        }
        requestAnimationFrame(step);
      });
    },
  });

  applyViewOffset();
  frameAll();
  resize();
  setFrameIndex(0);
  if (renderer && nAgents) $('kw-status').textContent = '';
  hook.loadMs = performance.now();
  requestAnimationFrame(() => { render(); hook.ready = true; });
}

// Scene colours: one per tag (with its agents' count), then obstacles,
// targets and what the highlights mean.
function sceneLegend(meta, tags, tagLabel) {
  const count = new Map();
  for (const a of meta.agents) count.set(a.tag, (count.get(a.tag) || 0) + 1);
  const sw = (c, cls = '') => `<span class="kw-swatch ${cls}" style="background:${c};border-color:${c}"></span>`;
  let html = tags.map((t) => `<div class="kw-tag-legend" data-tag="${t}" data-colour="${tagColour(t)}">${sw(tagColour(t))}` +
    `${esc(tagLabel(t))} <span class="kw-hint">(${(count.get(t) || 0).toLocaleString('en')} agents)</span></div>`).join('');
  html += `<div>${sw(OBSTACLE)}obstacles ${sw(TARGET)}targets</div>`;
  html += `<div>${sw(HIGHLIGHT, 'kw-ring')}in a reported event ${sw(SELECTED)}selected</div>`;
  $('kw-scene-legend').innerHTML = html;
}

function paramLegend(params, tagLabel) {
  const byTag = new Map();
  for (const p of params) {
    if (!byTag.has(p.tag)) byTag.set(p.tag, []);
    byTag.get(p.tag).push(p);
  }
  let html = '';
  for (const [tag, ps] of byTag) {
    if (byTag.size > 1) {
      html += `<div><span class="kw-swatch" style="background:${tagColour(tag)}"></span>${esc(tagLabel(tag))}</div>`;
    }
    const rows = ps.map((p) => `<tr><td>${esc(p.name)}</td><td class="kw-num">${esc(p.value)}</td></tr>`);
    html += `<table>${rows.join('')}</table>`;
  }
  $('kw-legend').innerHTML = html || '<span class="kw-hint">none recorded</span>';
}

try {
  start();
} catch (e) {
  // Said on the page; a broken run must not look like an empty one.
  hook.error = String((e && e.message) || e);
  $('kw-status').textContent = 'The run could not be shown: ' + hook.error;
  hook.ready = true;
}
