// What the node tests share: finding viewer/node_modules and skipping
// cleanly (exit 77, which ctest reports as skipped) when it or Chromium is
// missing on a developer's machine. CI installs both, so there they run.
import fs from 'node:fs';
import path from 'node:path';
import { createRequire } from 'node:module';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
export const nodeModules = process.env.KW_NODE_MODULES || path.resolve(here, '../../viewer/node_modules');
export const chromiumPath = process.env.KW_CHROMIUM || '/usr/bin/chromium';

export function skip(why) {
  console.log(`SKIP: ${why}`);
  process.exit(77);
}

// name: a package, or a path into one ('csv-parse/sync').
export function requireModule(name) {
  const pkg = name.split('/').slice(0, name.startsWith('@') ? 2 : 1).join('/');
  if (!fs.existsSync(path.join(nodeModules, pkg))) {
    skip(`${pkg} is not installed in ${nodeModules} (the build runs npm ci in viewer/ when node and npm are installed)`);
  }
  return createRequire(path.join(nodeModules, 'x.js'))(name);
}

let failures = 0;
let passes = 0;
export function check(ok, what) {
  if (ok) {
    passes++;
    console.log(`ok: ${what}`);
  } else {
    failures++;
    console.log(`FAIL: ${what}`);
  }
}
// Failed checks so far: a file a test publishes (the README's picture)
// must come from a run that passed.
export function failureCount() {
  return failures;
}
export function finish() {
  console.log(`${passes} passed, ${failures} failed`);
  process.exit(failures ? 1 : 0);
}
