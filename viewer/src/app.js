// The Kestrelwood run viewer. The run's data sits in the page itself (see
// host/export/viewer_page.h for the layout): a JSON element "kw-meta" and
// base64 typed arrays in "kw-*" elements. Positions of lines, circles,
// terrains and obstacles arrive already mirrored into three.js's right-handed
// frame; agent matrices arrive as the scene holds them (left-handed) and are
// mirrored here with the same rule, M -> S M S with S = diag(1, 1, -1).
import * as THREE from 'three';
import { OrbitControls } from 'three/addons/controls/OrbitControls.js';

const $ = (id) => document.getElementById(id);
const KINDS = ['probe', 'repulsion', 'alignment', 'other'];
const CIRCLE_SEGMENTS = 48;

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

  document.title = `${meta.scene || 'Kestrelwood run'} – Kestrelwood viewer`;
  $('kw-title').textContent = meta.scene || 'Kestrelwood run';
  $('kw-summary').textContent = `${nAgents} agents, ${nFrames} frames at ${meta.fps} fps` +
    (meta.terrains.length ? `, terrain ${meta.terrains.reduce((s, t) => s + t.indices / 3, 0).toLocaleString('en')} triangles` : '');
  if (meta.glb) $('kw-download').innerHTML = `The run as glTF for other viewers: <a id="kw-glb" href="${esc(meta.glb)}">${esc(meta.glb)}</a>`;
  legend(meta.params);

  const scene = new THREE.Scene();
  scene.background = new THREE.Color(0x1d2227);
  scene.add(new THREE.HemisphereLight(0xdfe8ff, 0x3a3226, 1.6));
  const sun = new THREE.DirectionalLight(0xffffff, 1.8);
  sun.position.set(0.4, 1, 0.3);
  scene.add(sun);
  const box = new THREE.Box3();

  // Terrains: 16-bit points over their box, int8 normals, uint32 triangles,
  // coloured by height.
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
    const g = new THREE.BufferGeometry();
    g.setAttribute('position', new THREE.BufferAttribute(pos, 3));
    g.setAttribute('normal', new THREE.BufferAttribute(i8(t.id + '-nrm'), 3, true));
    g.setAttribute('color', new THREE.BufferAttribute(col, 3, true));
    g.setIndex(new THREE.BufferAttribute(u32(t.id + '-idx'), 1));
    g.boundingBox = new THREE.Box3(new THREE.Vector3(...t.min), new THREE.Vector3(...t.max));
    g.computeBoundingSphere();
    const mesh = new THREE.Mesh(g, new THREE.MeshLambertMaterial({ vertexColors: true, side: THREE.DoubleSide }));
    mesh.name = t.name;
    scene.add(mesh);
    box.union(g.boundingBox);
  }

  // Obstacles: the horizontal great circle of each obstacle's sphere.
  if (meta.obstacles.length) {
    const v = [];
    for (const o of meta.obstacles) {
      for (let s = 0; s < 64; s++) {
        for (const k of [s, s + 1]) {
          const a = (2 * Math.PI * k) / 64;
          v.push(o.centre[0] + o.radius * Math.cos(a), o.centre[1], o.centre[2] + o.radius * Math.sin(a));
        }
      }
    }
    const g = new THREE.BufferGeometry();
    g.setAttribute('position', new THREE.Float32BufferAttribute(v, 3));
    scene.add(new THREE.LineSegments(g, new THREE.LineBasicMaterial({ color: 0xff8c1a })));
    g.computeBoundingBox();
    box.union(g.boundingBox);
  }

  // Agents: one instanced arrowhead; instance colour marks the selection.
  const mg = new THREE.BufferGeometry();
  mg.setAttribute('position', new THREE.Float32BufferAttribute(meta.marker.positions, 3));
  mg.setAttribute('normal', new THREE.Float32BufferAttribute(meta.marker.normals, 3));
  const agents = new THREE.InstancedMesh(mg, new THREE.MeshLambertMaterial({ color: 0xffffff }), Math.max(nAgents, 1));
  agents.count = nAgents;
  agents.frustumCulled = false;
  const agentColour = new THREE.Color(0xf2d933), selectedColour = new THREE.Color(0xff3df5);
  for (let i = 0; i < nAgents; i++) agents.setColorAt(i, agentColour);
  scene.add(agents);

  const trackMeshes = meta.tracks.map((name) => {
    const m = new THREE.Mesh(new THREE.OctahedronGeometry(meta.marker.length * 0.5),
      new THREE.MeshLambertMaterial({ color: 0x4db3ff }));
    m.name = name;
    scene.add(m);
    return m;
  });

  // Overlays: per kind one LineSegments whose buffers hold the largest frame.
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
    const o = new THREE.LineSegments(g, new THREE.LineBasicMaterial({ vertexColors: true, depthTest: false, transparent: true }));
    o.renderOrder = 10;
    o.frustumCulled = false;
    o.name = kind;
    scene.add(o);
    const box = $('kw-show-' + kind);
    if (kind === 'other') $('kw-label-other').hidden = !meta.overlayKinds.other;
    box.addEventListener('change', () => { o.visible = box.checked; requestRender(); });
    o.visible = box.checked;
    return o;
  });

  // Agents' first frame into the framing box.
  for (let i = 0; i < nAgents && nFrames; i++) {
    const b = i * 15;
    box.expandByPoint(new THREE.Vector3(states[b], states[b + 1], -states[b + 2]));
  }
  if (box.isEmpty()) box.set(new THREE.Vector3(-100, -100, -100), new THREE.Vector3(100, 100, 100));

  // --- Rendering, on demand ------------------------------------------------
  hook.webgl = webglAvailable();
  const canvas = $('kw-canvas');
  let renderer = null;
  if (hook.webgl) {
    renderer = new THREE.WebGLRenderer({ canvas, antialias: true });
    renderer.setPixelRatio(Math.min(window.devicePixelRatio, 2));
  } else {
    $('kw-status').textContent = 'WebGL is not available in this browser, so the 3D view is off; the timeline and the agents\u2019 data still work.';
  }
  const size = box.getSize(new THREE.Vector3()), centre = box.getCenter(new THREE.Vector3());
  const radius = Math.max(size.length() / 2, 1);
  const camera = new THREE.PerspectiveCamera(45, 1, radius / 1000, radius * 20);
  camera.position.copy(centre).add(new THREE.Vector3(0.2, 0.9, 1.1).normalize().multiplyScalar(radius * 1.9));
  const controls = new OrbitControls(camera, canvas);
  controls.target.copy(centre);
  controls.update();
  controls.addEventListener('change', () => requestRender());

  let renderPending = false;
  function render() {
    renderPending = false;
    if (renderer) renderer.render(scene, camera);
  }
  function requestRender() {
    if (!renderPending) { renderPending = true; requestAnimationFrame(render); }
  }
  function resize() {
    const w = canvas.clientWidth || 1, h = canvas.clientHeight || 1;
    camera.aspect = w / h;
    camera.updateProjectionMatrix();
    if (renderer) renderer.setSize(w, h, false);
    requestRender();
  }
  window.addEventListener('resize', resize);

  // --- Frames ----------------------------------------------------------------
  const m4 = new THREE.Matrix4();
  let selected = -1;
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
  function setFrameIndex(f) {
    if (!nFrames) return;
    f = Math.max(0, Math.min(nFrames - 1, Math.round(Number(f)) || 0));
    hook.frameIndex = f;
    for (let i = 0; i < nAgents; i++) agents.setMatrixAt(i, agentMatrix(f, i, m4));
    agents.instanceMatrix.needsUpdate = true;
    agents.computeBoundingSphere();
    trackMeshes.forEach((m, t) => {
      const b = (t * nFrames + f) * 3;
      m.position.set(trackPos[b], trackPos[b + 1], trackPos[b + 2]);
    });
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
    info.innerHTML = `<table>
      <tr><td>Agent</td><td id="kw-info-name">${esc(a.name)}</td></tr>
      <tr><td>Index</td><td id="kw-info-index">${a.index}</td></tr>
      <tr><td>Tag</td><td>${a.tag}</td></tr>
      <tr><td>Speed</td><td id="kw-info-speed">${fmt(a.speed)}</td></tr>
      <tr><td>Heading</td><td>${deg(s[b + 12])}</td></tr>
      <tr><td>Pitch</td><td>${deg(s[b + 13])}</td></tr>
      <tr><td>Bank</td><td>${deg(s[b + 14])}</td></tr>
      <tr><td>Position</td><td id="kw-info-position">${fmt(s[b])}, ${fmt(s[b + 1])}, ${fmt(s[b + 2])}</td></tr>
      <tr><td>Frame</td><td>${meta.frames[hook.frameIndex]}</td></tr></table>`;
  }
  function select(i) {
    if (selected >= 0) agents.setColorAt(selected, agentColour);
    selected = i >= 0 && i < nAgents ? i : -1;
    if (selected >= 0) agents.setColorAt(selected, selectedColour);
    if (agents.instanceColor) agents.instanceColor.needsUpdate = true;
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
  function agentScreenPosition(i) {
    agents.getMatrixAt(i, m4);
    const p = new THREE.Vector3().setFromMatrixPosition(m4).project(camera);
    const r = canvas.getBoundingClientRect();
    return { x: r.left + ((p.x + 1) / 2) * r.width, y: r.top + ((1 - p.y) / 2) * r.height, inView: Math.abs(p.z) <= 1 };
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

  // --- Timeline --------------------------------------------------------------
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
  window.addEventListener('keydown', (e) => {
    if (e.target instanceof HTMLInputElement && e.target.type !== 'range' && e.target.type !== 'checkbox') return;
    if (e.key === ' ') { e.preventDefault(); setPlaying(!playing); }
    else if (e.key === 'ArrowRight') { e.preventDefault(); setPlaying(false); setFrameIndex(hook.frameIndex + 1); }
    else if (e.key === 'ArrowLeft') { e.preventDefault(); setPlaying(false); setFrameIndex(hook.frameIndex - 1); }
  });

  Object.assign(hook, {
    frameNumber: (f) => meta.frames[f],
    setFrameIndex,
    agentPosition,
    agentScreenPosition,
    agentForward,
    selectAgent: select,
    selectedAgent: () => selected,
    overlayVisible: (kind) => overlays[KINDS.indexOf(kind)].visible,
    overlaySegments: (kind) => overlays[KINDS.indexOf(kind)].geometry.drawRange.count / 2,
    play: () => setPlaying(true),
    pause: () => setPlaying(false),
    isPlaying: () => playing,
    // Pixels of about this colour in a fresh rendering (null without WebGL).
    countColour(rgb, tol = 40) {
      if (!renderer) return null;
      renderer.render(scene, camera);
      const gl = renderer.getContext();
      const w = gl.drawingBufferWidth, h = gl.drawingBufferHeight, px = new Uint8Array(w * h * 4);
      gl.readPixels(0, 0, w, h, gl.RGBA, gl.UNSIGNED_BYTE, px);
      let n = 0;
      for (let i = 0; i < px.length; i += 4) {
        if (Math.abs(px[i] - rgb[0]) <= tol && Math.abs(px[i + 1] - rgb[1]) <= tol && Math.abs(px[i + 2] - rgb[2]) <= tol) n++;
      }
      return n;
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

  resize();
  setFrameIndex(0);
  if (renderer) $('kw-status').textContent = '';
  hook.loadMs = performance.now();
  requestAnimationFrame(() => { render(); hook.ready = true; });
}

function legend(params) {
  const byTag = new Map();
  for (const p of params) {
    if (!byTag.has(p.tag)) byTag.set(p.tag, []);
    byTag.get(p.tag).push(p);
  }
  let html = '';
  for (const [tag, ps] of byTag) {
    if (byTag.size > 1) html += `<div>Tag ${tag}</div>`;
    html += '<table>' + ps.map((p) => `<tr><td>${esc(p.name)}</td><td class="kw-num">${esc(p.value)}</td></tr>`).join('') + '</table>';
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
