// What stands at the frame on show: an arrowhead per agent (instanced) in its
// tag's colour, or the selection's or the highlight's; the targets; and the
// report's events there, a ring round each agent in one and a line between
// the agents of a close pair. Agents and targets are drawn after the
// overlays (renderOrder, and transparent so that three.js sorts them
// together), so overlays never cover an agent; the events' marks after all.
//
// Size. The tag treats agents as points, so the arrowhead is a glyph: a 45th
// of the run's extent long, kept between MIN_MARKER_PX and MAX_MARKER_PX on
// screen (at the distance the camera looks from) so that agents stay
// readable zoomed out and apart zoomed in, times the size control. The
// targets and the events' rings follow the same length.
import * as THREE from 'three';
import { HIGHLIGHT, SELECTED, TARGET, tagColour } from 'kw/tag_colours.js';

const EXTENT_PER_MARKER = 45;
const MIN_MARKER_PX = 10;
const MAX_MARKER_PX = 28;
const RING_SEGMENTS = 32;  // the highlight round an agent
const RING_RADIUS = 1.3;   // in markers' lengths: past the arrowhead's tips
const LIFT = 0.1;          // rings and pair lines above the agents' origins, in markers' lengths

// runBox: the box of every frame's agents, the targets and the obstacles
// (framing.js's boxOf), null when empty.
export function baseMarkerLength(run, runBox) {
  const extent = runBox ? Math.max(...runBox.size) : 0;
  return extent > 0 ? extent / EXTENT_PER_MARKER : run.meta.marker.length;
}

// The host's arrowhead at unit length, lifted so that it rests on the
// agent's origin rather than half in the ground.
function markerGeometry(marker) {
  const p = marker.positions.map((v) => v / marker.length);
  let lowest = 0;
  for (let i = 1; i < p.length; i += 3) lowest = Math.min(lowest, p[i]);
  for (let i = 1; i < p.length; i += 3) p[i] -= lowest;
  const g = new THREE.BufferGeometry();
  g.setAttribute('position', new THREE.Float32BufferAttribute(p, 3));
  g.setAttribute('normal', new THREE.Float32BufferAttribute(marker.normals, 3));
  return g;
}

function markerMesh(run) {
  const mesh = new THREE.InstancedMesh(markerGeometry(run.meta.marker),
    new THREE.MeshLambertMaterial({ color: 0xffffff, transparent: true, opacity: 1 }), Math.max(run.agentCount, 1));
  mesh.count = run.agentCount;
  mesh.frustumCulled = false;
  mesh.renderOrder = 20;
  return mesh;
}

function targetMesh(name) {
  const m = new THREE.Mesh(new THREE.OctahedronGeometry(0.6),
    new THREE.MeshLambertMaterial({ color: TARGET, transparent: true, opacity: 1 }));
  m.name = name;
  m.renderOrder = 20;
  return m;
}

// Line segments over everything, room for `vertices` end points.
function eventLines(vertices, material) {
  const lines = new THREE.LineSegments(new THREE.BufferGeometry(), material);
  lines.geometry.setAttribute('position', new THREE.BufferAttribute(new Float32Array(Math.max(vertices, 2) * 3), 3));
  lines.renderOrder = 30;
  lines.frustumCulled = false;
  return lines;
}

// The agent's matrix in the view's frame: columns X' = S v1, Y' = S v2,
// Z' = -S v3, T' = S off with S = diag(1, 1, -1).
function agentMatrix(run, f, i, out) {
  const s = run.states, b = (f * run.agentCount + i) * 15;
  return out.set(
    s[b + 3], s[b + 6], -s[b + 9], s[b],
    s[b + 4], s[b + 7], -s[b + 10], s[b + 1],
    -s[b + 5], -s[b + 8], s[b + 11], -s[b + 2],
    0, 0, 0, 1);
}

// Rings round the agents at frame f, horizontal, radius r; returns the
// number of floats written.
function writeRings(run, f, agents, lift, r, pos) {
  let at = 0;
  for (const i of agents) {
    const [x, y, z] = run.positionAt(f, i);
    for (let s = 0; s < RING_SEGMENTS; s++) {
      for (const k of [s, s + 1]) {
        const a = (2 * Math.PI * k) / RING_SEGMENTS;
        pos[at++] = x + r * Math.cos(a); pos[at++] = y + lift; pos[at++] = z + r * Math.sin(a);
      }
    }
  }
  return at;
}

function writePairs(run, f, pairs, lift, pos) {
  let at = 0;
  for (const pair of pairs) {
    for (const i of pair) {
      const [x, y, z] = run.positionAt(f, i);
      pos[at++] = x; pos[at++] = y + lift; pos[at++] = z;
    }
  }
  return at;
}

function showLines(lines, floats) {
  lines.geometry.setDrawRange(0, floats / 3);
  lines.geometry.attributes.position.needsUpdate = true;
}

// Agents, targets and event marks at frame index f, `length` long (see Size).
function place(a, f, length, events) {
  const { run, markers, targets, rings, pairs, m4, scale } = a;
  if (!run.frameCount) return;
  scale.makeScale(length, length, length);
  for (let i = 0; i < run.agentCount; i++) markers.setMatrixAt(i, agentMatrix(run, f, i, m4).multiply(scale));
  markers.instanceMatrix.needsUpdate = true;
  targets.forEach((m, t) => {
    const b = (t * run.frameCount + f) * 3;
    m.position.set(run.trackPos[b], run.trackPos[b + 1], run.trackPos[b + 2]);
    m.scale.setScalar(length);
  });
  showLines(rings, writeRings(run, f, events.agents, length * LIFT, length * RING_RADIUS, rings.geometry.attributes.position.array));
  showLines(pairs, writePairs(run, f, events.pairs, length * LIFT, pairs.geometry.attributes.position.array));
}

// The agents' colours: the selected one's, the highlight for those in an
// event (lit), else their tags'.
function paint(a, selected, lit) {
  const { run, markers, colours } = a;
  for (let i = 0; i < run.agentCount; i++) {
    markers.setColorAt(i, i === selected ? colours.selected : lit.has(i) ? colours.highlight : colours.tags.get(run.meta.agents[i].tag));
  }
  if (markers.instanceColor) markers.instanceColor.needsUpdate = true;
}

function build(scene, run, maxPairs) {
  const markers = markerMesh(run), targets = run.meta.tracks.map(targetMesh);
  const rings = eventLines(run.agentCount * RING_SEGMENTS * 2,
    new THREE.LineBasicMaterial({ color: HIGHLIGHT, depthTest: false, depthWrite: false, transparent: true }));
  const pairs = eventLines(maxPairs * 2, rings.material);
  scene.add(markers, ...targets, rings, pairs);
  const colours = { selected: new THREE.Color(SELECTED), highlight: new THREE.Color(HIGHLIGHT),
    tags: new Map(run.tags.map((t) => [t, new THREE.Color(tagColour(t))])) };
  return { run, markers, targets, rings, pairs, colours, m4: new THREE.Matrix4(), scale: new THREE.Matrix4() };
}

// maxPairs: the most close pairs any frame of the report holds.
export function createAgents(scene, run, baseLength, maxPairs) {
  const a = build(scene, run, maxPairs), { markers, m4 } = a;
  let length = baseLength, factor = 1, shown = 0, events = { agents: new Set(), pairs: [] };
  return {
    mesh: markers,
    length: () => length,
    // Frame index f with the report's events there ({ agents, pairs }).
    show(f, eventsThere) { shown = f; events = eventsThere; place(a, shown, length, events); },
    paint: (selected, lit) => paint(a, selected, lit),
    // Sizes the markers for a view that shows worldPerPixel world units per
    // CSS pixel at its target; placed again only when that changes them.
    fit(worldPerPixel) {
      const want = Math.min(Math.max(baseLength, MIN_MARKER_PX * worldPerPixel), MAX_MARKER_PX * worldPerPixel) * factor;
      if (Math.abs(want - length) > length * 0.01) { length = want; place(a, shown, length, events); }
    },
    setSizeFactor(x) { factor = x; },
    // The agent's translation as drawn, in the view's frame.
    shownPosition: (i) => { markers.getMatrixAt(i, m4); return new THREE.Vector3().setFromMatrixPosition(m4); },
    // The marker points along its local -Z; mirrored back into the scene's
    // frame this is the agent's forward (Z) axis, normalised.
    forward(i) {
      markers.getMatrixAt(i, m4);
      const e = m4.elements, l = Math.hypot(e[8], e[9], e[10]) || 1;
      return [-e[8] / l, -e[9] / l, e[10] / l];
    },
    colour(i) {
      const c = new THREE.Color();
      markers.getColorAt(i, c);
      return `#${c.getHexString()}`;
    },
  };
}
