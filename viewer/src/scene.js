// The scene's fixed parts: background, lights and the terrains. Terrains
// arrive as 16-bit points over their box, int8 normals and uint32
// triangles; they are drawn coloured by height, and go into a HeightField
// on which the obstacles' rings are draped.
import * as THREE from 'three';
import { HeightField } from 'kw/terrain_height.js';

const BACKGROUND = 0x1d2227;
const LOW_GROUND = 0x5c6b46, HIGH_GROUND = 0xb9a98f;

// Points in the terrain's box, and a colour per point from its height.
function terrainPoints(t) {
  const q = t.points, pos = new Float32Array(q.length), col = new Uint8Array(q.length);
  const lo = t.min, ext = [t.max[0] - t.min[0], t.max[1] - t.min[1], t.max[2] - t.min[2]];
  const low = new THREE.Color(LOW_GROUND), high = new THREE.Color(HIGH_GROUND), c = new THREE.Color();
  for (let i = 0; i < q.length; i += 3) {
    pos[i] = lo[0] + (q[i] / 65535) * ext[0];
    pos[i + 1] = lo[1] + (q[i + 1] / 65535) * ext[1];
    pos[i + 2] = lo[2] + (q[i + 2] / 65535) * ext[2];
    c.lerpColors(low, high, q[i + 1] / 65535);
    col[i] = c.r * 255; col[i + 1] = c.g * 255; col[i + 2] = c.b * 255;
  }
  return { pos, col };
}

function terrainMesh(t, pos, col) {
  const g = new THREE.BufferGeometry();
  g.setAttribute('position', new THREE.BufferAttribute(pos, 3));
  g.setAttribute('normal', new THREE.BufferAttribute(t.normals, 3, true));
  g.setAttribute('color', new THREE.BufferAttribute(col, 3, true));
  g.setIndex(new THREE.BufferAttribute(t.indices, 1));
  g.boundingBox = new THREE.Box3(new THREE.Vector3(...t.min), new THREE.Vector3(...t.max));
  g.computeBoundingSphere();
  const mesh = new THREE.Mesh(g, new THREE.MeshLambertMaterial({ vertexColors: true, side: THREE.DoubleSide }));
  mesh.name = t.name;
  return mesh;
}

// { scene, ground: the terrains' HeightField, terrainBox: their box }
export function buildScene(run) {
  const scene = new THREE.Scene();
  scene.background = new THREE.Color(BACKGROUND);
  scene.add(new THREE.HemisphereLight(0xdfe8ff, 0x3a3226, 1.6));
  const sun = new THREE.DirectionalLight(0xffffff, 1.8);
  sun.position.set(0.4, 1, 0.3);
  scene.add(sun);
  const ground = new HeightField(), terrainBox = new THREE.Box3();
  for (const t of run.terrains) {
    const { pos, col } = terrainPoints(t);
    ground.add(pos, t.indices);
    const mesh = terrainMesh(t, pos, col);
    scene.add(mesh);
    terrainBox.union(mesh.geometry.boundingBox);
  }
  return { scene, ground, terrainBox };
}
