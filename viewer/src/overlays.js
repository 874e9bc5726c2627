// The tag's drawing per frame: vision probes, repulsion and alignment
// circles, anything else it drew. Per kind one LineSegments whose buffers hold
// the largest frame, refilled at every frame; in the pens' own colours, drawn
// before the agents and never writing depth, so that the agents stay in
// front. The side panel's switches show and hide each kind; a kind nothing
// drew says whether the tags' switches were off.
import * as THREE from 'three';
import { $ } from 'kw/html.js';

// The order of the host's kind numbers (the run's line-kind and circle-kind).
export const OVERLAY_KINDS = ['probe', 'repulsion', 'alignment', 'other'];
const SWITCHES = { probe: 'SHOW_VISION', repulsion: 'SHOW_REPULSION', alignment: 'SHOW_ALIGNMENT' };
const CIRCLE_SEGMENTS = 48;

// End points per kind in the frame that draws the most of it.
function mostVertices(run) {
  const { lines, circles } = run, most = OVERLAY_KINDS.map(() => 0);
  for (let f = 0; f < run.frameCount; f++) {
    const n = OVERLAY_KINDS.map(() => 0);
    for (let i = lines.start[f]; i < lines.start[f + 1]; i++) n[lines.kind[i]] += 2;
    for (let i = circles.start[f]; i < circles.start[f + 1]; i++) n[circles.kind[i]] += 2 * CIRCLE_SEGMENTS;
    for (let k = 0; k < n.length; k++) most[k] = Math.max(most[k], n[k]);
  }
  return most;
}

function overlayLines(kind, vertices) {
  const g = new THREE.BufferGeometry();
  g.setAttribute('position', new THREE.BufferAttribute(new Float32Array(vertices * 3), 3).setUsage(THREE.DynamicDrawUsage));
  g.setAttribute('color', new THREE.BufferAttribute(new Uint8Array(vertices * 3), 3, true).setUsage(THREE.DynamicDrawUsage));
  g.setDrawRange(0, 0);
  const o = new THREE.LineSegments(g, new THREE.LineBasicMaterial({
    vertexColors: true, depthTest: false, depthWrite: false, transparent: true }));
  o.renderOrder = 10;
  o.frustumCulled = false;
  o.name = kind;
  return o;
}

// The kind's switch in the side panel, off and saying why when the run drew
// none of it.
function bindSwitch(kind, o, run, requestRender) {
  const box = $('kw-show-' + kind), label = $('kw-label-' + kind);
  const drawn = !!run.meta.overlayKinds[kind];
  if (kind === 'other') label.hidden = !drawn;
  else if (!drawn) {
    const switches = run.meta.params.filter((p) => p.name === SWITCHES[kind]);
    box.checked = false;
    box.disabled = true;
    label.classList.add('kw-off');
    label.append(switches.length && switches.every((p) => p.value === 'off') ? ' (off in the tag)' : ' (none drawn)');
  }
  box.addEventListener('change', () => { o.visible = box.checked; requestRender(); });
  o.visible = box.checked;
}

// Frame f's lines and circles into the kinds' buffers (pos, col: one array
// per kind); returns the end points written per kind.
function writeFrame(run, f, pos, col) {
  const { lines, circles } = run, used = OVERLAY_KINDS.map(() => 0);
  for (let i = lines.start[f]; i < lines.start[f + 1]; i++) {
    const k = lines.kind[i], p = pos[k], c = col[k];
    let at = used[k] * 3;
    for (let e = 0; e < 2; e++, at += 3) {
      p[at] = lines.pos[i * 6 + e * 3]; p[at + 1] = lines.pos[i * 6 + e * 3 + 1]; p[at + 2] = lines.pos[i * 6 + e * 3 + 2];
      c[at] = lines.rgb[i * 3]; c[at + 1] = lines.rgb[i * 3 + 1]; c[at + 2] = lines.rgb[i * 3 + 2];
    }
    used[k] += 2;
  }
  for (let i = circles.start[f]; i < circles.start[f + 1]; i++) {
    // centre + v1 cos a + v2 sin a: the ellipse the host draws for a matrix.
    const k = circles.kind[i], p = pos[k], c = col[k], q = i * 9, g = circles.pos;
    let at = used[k] * 3;
    for (let s = 0; s < CIRCLE_SEGMENTS; s++) {
      for (const step of [s, s + 1]) {
        const a = (2 * Math.PI * step) / CIRCLE_SEGMENTS, ca = Math.cos(a), sa = Math.sin(a);
        p[at] = g[q] + g[q + 3] * ca + g[q + 6] * sa;
        p[at + 1] = g[q + 1] + g[q + 4] * ca + g[q + 7] * sa;
        p[at + 2] = g[q + 2] + g[q + 5] * ca + g[q + 8] * sa;
        c[at] = circles.rgb[i * 3]; c[at + 1] = circles.rgb[i * 3 + 1]; c[at + 2] = circles.rgb[i * 3 + 2];
        at += 3;
      }
    }
    used[k] += 2 * CIRCLE_SEGMENTS;
  }
  return used;
}

export function createOverlays(scene, run) {
  const most = mostVertices(run);
  const overlays = OVERLAY_KINDS.map((kind, k) => overlayLines(kind, most[k]));
  scene.add(...overlays);
  const byKind = (kind) => overlays[OVERLAY_KINDS.indexOf(kind)];
  return {
    show(f) {
      const used = writeFrame(run, f, overlays.map((o) => o.geometry.attributes.position.array),
        overlays.map((o) => o.geometry.attributes.color.array));
      overlays.forEach((o, k) => {
        const { position, color } = o.geometry.attributes;
        o.geometry.setDrawRange(0, used[k]);
        for (const a of [position, color]) {
          a.addUpdateRange(0, used[k] * 3);
          a.needsUpdate = true;
        }
      });
    },
    // The side panel's switches, each redrawing through requestRender.
    bindSwitches(requestRender) {
      overlays.forEach((o, k) => bindSwitch(OVERLAY_KINDS[k], o, run, requestRender));
    },
    visible: (kind) => byKind(kind).visible,
    segments: (kind) => byKind(kind).geometry.drawRange.count / 2,
    // Every end point of the frame last shown, switched on or not, flat x, y, z.
    drawnPoints() {
      const parts = overlays.map((o) => o.geometry.attributes.position.array.subarray(0, o.geometry.drawRange.count * 3));
      const out = new Float32Array(parts.reduce((s, p) => s + p.length, 0));
      let at = 0;
      for (const p of parts) { out.set(p, at); at += p.length; }
      return out;
    },
  };
}
