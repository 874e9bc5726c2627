// The demo's glb checked by the Khronos glTF validator: no errors allowed.
//   node validate_demo_glb.mjs RUN.glb
import fs from 'node:fs';
import { requireModule, check, finish } from '../viewer/node_env.mjs';

const validator = requireModule('gltf-validator');
const bytes = new Uint8Array(fs.readFileSync(process.argv[2]));
const report = await validator.validateBytes(bytes, { maxIssues: 100 });
const { numErrors, numWarnings, messages } = report.issues;
for (const m of messages.filter((m) => m.severity <= 1)) console.log(`  ${m.code} ${m.pointer || ''}: ${m.message}`);
check(numErrors === 0, `validator: ${numErrors} errors, ${numWarnings} warnings`);
finish();
