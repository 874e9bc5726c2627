// The run's glb checked by the Khronos glTF validator (no errors allowed),
// then read back: every agent is a node whose first keyframe is its recorded
// frame-0 position and forward axis, mirrored into glTF's frame.
//   node validate_glb.mjs RUN.glb EXPECTED.json
import fs from 'node:fs';
import { requireModule, check, finish } from './node_env.mjs';

const validator = requireModule('gltf-validator');
const [glbPath, expectedPath] = process.argv.slice(2);
const bytes = new Uint8Array(fs.readFileSync(glbPath));
const expected = JSON.parse(fs.readFileSync(expectedPath, 'utf8'));

const report = await validator.validateBytes(bytes, { maxIssues: 100 });
const { numErrors, numWarnings, messages } = report.issues;
for (const m of messages.filter((m) => m.severity <= 1)) console.log(`  ${m.code} ${m.pointer || ''}: ${m.message}`);
check(numErrors === 0, `validator: ${numErrors} errors, ${numWarnings} warnings`);

// Read the JSON and BIN chunks.
const dv = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
const jsonLen = dv.getUint32(12, true);
const gltf = JSON.parse(new TextDecoder().decode(bytes.subarray(20, 20 + jsonLen)));
const binStart = 20 + jsonLen + 8;
const accessor = (i) => {
  const a = gltf.accessors[i];
  const v = gltf.bufferViews[a.bufferView];
  const n = { SCALAR: 1, VEC3: 3, VEC4: 4 }[a.type];
  return new Float32Array(bytes.buffer.slice(binStart + v.byteOffset + (a.byteOffset || 0),
    binStart + v.byteOffset + (a.byteOffset || 0) + a.count * n * 4));
};

const agentNodes = expected.names.map((name) => gltf.nodes.findIndex((n) => n.name === name));
check(agentNodes.every((i) => i >= 0), `all ${expected.agentCount} agents are nodes`);
const anim = gltf.animations[0];
const f0 = expected.frames[0];
let worstPos = 0;
let worstFwd = 0;
let monotonic = true;
agentNodes.forEach((node, i) => {
  for (const ch of anim.channels.filter((c) => c.target.node === node)) {
    const sampler = anim.samplers[ch.sampler];
    const times = accessor(sampler.input);
    for (let k = 1; k < times.length; k++) if (!(times[k] > times[k - 1])) monotonic = false;
    const out = accessor(sampler.output);
    if (ch.target.path === 'translation') {
      const p = f0.positions[i];
      worstPos = Math.max(worstPos, Math.abs(out[0] - p[0]), Math.abs(out[1] - p[1]), Math.abs(out[2] + p[2]));
    } else {
      // The marker points along local -Z; rotated, it must be the scene's
      // forward axis (heading H, pitch P) with z mirrored.
      const [x, y, z, w] = out;
      const fwd = [-(2 * (x * z + w * y)), -(2 * (y * z - w * x)), -(1 - 2 * (x * x + y * y))];
      const [H, P] = f0.hpb[i];
      const want = [-Math.sin(H) * Math.cos(P), Math.sin(P), -Math.cos(H) * Math.cos(P)];
      worstFwd = Math.max(worstFwd, ...fwd.map((c, k) => Math.abs(c - want[k])));
    }
  }
});
check(monotonic, 'keyframe times increase');
const times = accessor(anim.samplers[0].input);
check(times.length === expected.frameCount, 'one keyframe per frame');
// Frame f at f / fps; a run starting before 0 is shifted to start at 0.
const first = expected.frames[0].frame;
const t0 = Math.max(first, 0) / expected.fps;
check(Math.abs(times[0] - t0) < 1e-6 && Math.abs(times[1] - times[0] - 1 / expected.fps) < 1e-5,
  `keyframes start at ${t0} s and step by 1/${expected.fps} s`);
check(worstPos < 1e-3, `first keyframe positions are the recorded ones with z mirrored (worst ${worstPos})`);
check(worstFwd < 1e-4, `first keyframe rotations point the marker along the mirrored forward axis (worst ${worstFwd})`);
const terrain = gltf.meshes.find((m) => m.name === 'Terrain');
check(terrain && terrain.primitives[0].attributes.NORMAL !== undefined, 'the terrain has normals');
check(gltf.meshes.some((m) => m.primitives[0].mode === 2), 'obstacles are line loops');
finish();
