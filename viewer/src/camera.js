// The camera: a perspective camera orbiting a target (OrbitControls) whose
// centre of projection sits in the middle of the part of the canvas the side
// panel leaves free, and its framings: the whole run, or a few points seen
// from where it stands.
import * as THREE from 'three';
import { OrbitControls } from 'three/addons/controls/OrbitControls.js';
import { bestDirection, boxOf, direction, fitDistance } from 'kw/framing.js';
import { $ } from 'kw/html.js';

const FOV = 45;               // degrees, vertical
const FRAME_MARGIN_PX = 28;   // kept free round the framed run
const ELEVATION = 0.87;       // radians above the ground of the first view (50 degrees)
const AZIMUTH = 0.18;         // radians round from +Z of the first view, so that rows of agents do not line up
const PANEL_GAP_PX = 8;       // between the side panel and the free part

// What the camera frames and how far it may go. The run: every frame's
// agents, the targets and the obstacles as drawn (ringPoints); the first
// view also keeps clear of the panel what the first frame draws round the
// crowd (firstDrawing: its overlays' end points). terrainBox: the
// terrains' THREE.Box3.
export function runBounds(run, ringPoints, firstDrawing, terrainBox) {
  const { agentCount, frameCount, states, trackPos } = run;
  const points = new Float32Array(frameCount * agentCount * 3 + trackPos.length + ringPoints.length + firstDrawing.length);
  let at = 0;
  for (let k = 0; k < frameCount * agentCount; k++) {
    points[at++] = states[k * 15]; points[at++] = states[k * 15 + 1]; points[at++] = -states[k * 15 + 2];
  }
  points.set(trackPos, at);
  points.set(ringPoints, at += trackPos.length);
  const runBox = boxOf(points.subarray(0, at + ringPoints.length));
  points.set(firstDrawing, at + ringPoints.length);
  const framedBox = boxOf(points);
  const content = terrainBox.clone(); // for the clipping planes and how far the camera may go
  if (runBox) content.union(new THREE.Box3(new THREE.Vector3(...runBox.min), new THREE.Vector3(...runBox.max)));
  if (content.isEmpty()) content.set(new THREE.Vector3(-100, -100, -100), new THREE.Vector3(100, 100, 100));
  const radius = Math.max(content.getSize(new THREE.Vector3()).length() / 2, 1);
  return { points, runBox, framedBox, content, radius };
}

const heightOf = (canvas) => canvas.clientHeight || 1;

// The part of the canvas the side panel leaves free (canvas pixels). When
// the window is too narrow for both, the view takes the whole canvas.
function freeRect(canvas) {
  const c = canvas.getBoundingClientRect(), p = $('kw-side').getBoundingClientRect();
  const w = c.width || 1, h = c.height || 1;
  let left = Math.max(0, Math.min(w, p.right + PANEL_GAP_PX - c.left));
  if (w - left < 0.45 * w) left = 0;
  return { left, top: 0, width: w - left, height: h };
}

// The canvas shows the left part of a wider view centred on the free part.
function applyViewOffset(camera, canvas) {
  const w = canvas.clientWidth || 1, h = heightOf(canvas), r = freeRect(canvas);
  camera.aspect = (w + r.left) / h;
  camera.setViewOffset(w + r.left, h, 0, 0, w, h);
  camera.updateProjectionMatrix();
}

// Tangents of the half angles the free part spans round its centre, less
// the margin.
function freeTangents(canvas) {
  const r = freeRect(canvas), t = Math.tan(THREE.MathUtils.degToRad(FOV / 2)), half = heightOf(canvas) / 2;
  return [t * Math.max(r.width / 2 - FRAME_MARGIN_PX, r.width / 4) / half,
    t * Math.max(half - FRAME_MARGIN_PX, half / 2) / half];
}

// view: { camera, controls, radius }; back: unit vector from the target
// towards the camera.
function place(view, target, back, distance) {
  const { camera, controls, radius } = view;
  controls.target.set(...target);
  camera.position.set(target[0] + back[0] * distance, target[1] + back[1] * distance, target[2] + back[2] * distance);
  camera.near = Math.max(distance / 5000, radius / 20000);
  camera.far = Math.max(radius * 40, distance * 4);
  camera.updateProjectionMatrix();
  controls.update();
}

// The whole run, along its length or across it, whichever shows it larger.
function frameAll(view, canvas, bounds, nearest) {
  const box = bounds.framedBox;
  if (!box) {
    const c = bounds.content.getCenter(new THREE.Vector3());
    place(view, [c.x, c.y, c.z], direction(AZIMUTH, ELEVATION), view.radius * 2.2);
    return;
  }
  const [tx, ty] = freeTangents(canvas);
  const { back, distance } = bestDirection(bounds.points, box.centre,
    [direction(AZIMUTH, ELEVATION), direction(Math.PI / 2 + AZIMUTH, ELEVATION)], tx, ty);
  place(view, box.centre, back, Math.max(distance, nearest));
}

// A point of the view's frame on the page (CSS pixels).
function screenOf(camera, canvas, p) {
  const v = new THREE.Vector3(p[0], p[1], p[2]).project(camera);
  const r = canvas.getBoundingClientRect();
  return { x: r.left + ((v.x + 1) / 2) * r.width, y: r.top + ((1 - v.y) / 2) * r.height, inView: Math.abs(v.z) <= 1 };
}

// bounds: runBounds's; nearest: the closest the whole run's view comes.
export function createCamera(canvas, bounds, nearest) {
  const { radius } = bounds;
  const camera = new THREE.PerspectiveCamera(FOV, 1, radius / 2000, radius * 40);
  const controls = new OrbitControls(camera, canvas);
  controls.maxDistance = radius * 15;
  const view = { camera, controls, radius };
  const distance = () => camera.position.distanceTo(controls.target);
  return {
    camera, controls,
    freeRect: () => freeRect(canvas),
    applyViewOffset: () => applyViewOffset(camera, canvas),
    frameAll: () => frameAll(view, canvas, bounds, nearest),
    // points (flat x, y, z) round target, from the side the camera is on.
    frameFromHere(points, target, least) {
      const back = camera.position.clone().sub(controls.target).normalize().toArray();
      const [tx, ty] = freeTangents(canvas);
      place(view, target, back, Math.max(fitDistance(points, target, back, tx, ty), least));
    },
    distance,
    // World length of a CSS pixel at the target.
    worldPerPixel: () => (2 * distance() * Math.tan(THREE.MathUtils.degToRad(FOV / 2))) / heightOf(canvas),
    screenOf: (p) => screenOf(camera, canvas, p),
  };
}
