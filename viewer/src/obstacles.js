// Obstacles on the ground: the horizontal great circle of each obstacle's
// sphere, laid on the terrain where there is terrain (at the centre's height
// elsewhere). Drawn over everything, as the overlays are, so that hills never
// cut them. An obstacle with an agent inside at the shown frame takes the
// highlight's colour and is also filled, faintly.
import * as THREE from 'three';
import { drapedRing } from 'kw/terrain_height.js';
import { HIGHLIGHT, OBSTACLE } from 'kw/tag_colours.js';

const overDepth = { depthTest: false, depthWrite: false, transparent: true };

// All rings in one LineSegments, coloured per vertex.
function ringLines(rings, ringStart) {
  const pos = new Float32Array(ringStart[rings.length] * 3);
  rings.forEach((r, i) => pos.set(r, ringStart[i] * 3));
  const col = new Float32Array(pos.length);
  const g = new THREE.BufferGeometry();
  g.setAttribute('position', new THREE.BufferAttribute(pos, 3));
  g.setAttribute('color', new THREE.BufferAttribute(col, 3));
  const lines = new THREE.LineSegments(g, new THREE.LineBasicMaterial({ vertexColors: true, ...overDepth }));
  lines.renderOrder = 5;
  lines.frustumCulled = false;
  return lines;
}

// A fan from the obstacle's centre (on the ground) to its ring.
function disc(o, ring, ground) {
  const n = ring.length / 6, c = ground.heightAt(o.centre[0], o.centre[2], o.centre[1]);
  const pos = new Float32Array(n * 9);
  for (let s = 0; s < n; s++) {
    pos.set([o.centre[0], c === null ? o.centre[1] : c, o.centre[2]], s * 9);
    pos.set(ring.subarray(s * 6, s * 6 + 6), s * 9 + 3);
  }
  const g = new THREE.BufferGeometry();
  g.setAttribute('position', new THREE.BufferAttribute(pos, 3));
  const m = new THREE.Mesh(g, new THREE.MeshBasicMaterial({ color: HIGHLIGHT, opacity: 0.22, side: THREE.DoubleSide, ...overDepth }));
  m.renderOrder = 4;
  m.visible = false;
  return m;
}

export function createObstacles(scene, run, ground) {
  const obstacles = run.meta.obstacles;
  // Segment end points per obstacle, 2 per segment, flat x, y, z.
  const rings = obstacles.map((o) => drapedRing(ground, o.centre[0], o.centre[1], o.centre[2], o.radius));
  const ringStart = [0];
  for (const r of rings) ringStart.push(ringStart[ringStart.length - 1] + r.length / 3);
  const lines = ringLines(rings, ringStart);
  const discs = obstacles.map((o, i) => disc(o, rings[i], ground));
  scene.add(lines, ...discs);
  const plain = new THREE.Color(OBSTACLE), lit = new THREE.Color(HIGHLIGHT);

  // lit: the obstacles (indices) with an agent inside.
  function highlight(litOnes) {
    const col = lines.geometry.attributes.color;
    rings.forEach((_, o) => {
      discs[o].visible = litOnes.has(o);
      const c = litOnes.has(o) ? lit : plain;
      for (let v = ringStart[o]; v < ringStart[o + 1]; v++) c.toArray(col.array, v * 3);
    });
    col.needsUpdate = true;
  }
  highlight(new Set());
  return {
    rings,
    count: rings.length,
    // Every ring's points, flat x, y, z.
    points: () => lines.geometry.attributes.position.array,
    highlight,
  };
}
