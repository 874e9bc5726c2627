// Bundles the viewer page template: three.js's module build, its core and
// the examples' OrbitControls go into an import map of data: URLs (module
// scripts cannot be fetched from file://, data: URLs can be imported), and so
// do the viewer's own modules (src/*.js, imported as 'kw/NAME.js'); its entry,
// src/app.js, goes into an inline module. The browser tests' hook
// (src/test_hook.js) travels in the map too, but the page imports it only when
// its address asks (index.html?test-hook). The result,
// dist/viewer-template.html, keeps the marker <!--KW-RUN-DATA--> where
// host/export/viewer_page.cpp puts a run's data.
//   node build.mjs [OUT]
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const out = process.argv[2] || path.join(here, 'dist', 'viewer-template.html');
const three = path.join(here, 'node_modules', 'three');
const read = (p) => fs.readFileSync(p, 'utf8');
const dataUrl = (code) => 'data:text/javascript;base64,' + Buffer.from(code, 'utf8').toString('base64');

function fail(why) {
  console.error(`viewer build: ${why}`);
  process.exit(1);
}
if (!fs.existsSync(three)) fail(`three is not installed in ${path.join(here, 'node_modules')}: run npm ci in viewer/`);

const core = read(path.join(three, 'build', 'three.core.js'));
// The module build imports its core by a relative path, which a data: URL
// cannot resolve: point it at the core's name in the import map instead.
const module = read(path.join(three, 'build', 'three.module.js')).replaceAll("from './three.core.js'", "from 'kw-three-core'");
const orbit = read(path.join(three, 'examples', 'jsm', 'controls', 'OrbitControls.js'));
for (const [name, code] of [['three.core.js', core], ['three.module.js', module], ['OrbitControls.js', orbit]]) {
  const rel = code.match(/^\s*(?:import|export)[^;]*?from\s*['"]\.{1,2}\/[^'"]*['"]/m);
  if (rel) fail(`${name} still imports a relative path: ${rel[0].slice(0, 120)}`);
}
const importMap = {
  imports: {
    'kw-three-core': dataUrl(core),
    three: dataUrl(module),
    'three/addons/controls/OrbitControls.js': dataUrl(orbit),
  },
};
// A data: URL has no base to resolve a relative import against, so the
// viewer's modules import each other by their 'kw/' names.
const src = path.join(here, 'src');
for (const name of fs.readdirSync(src).filter((n) => n.endsWith('.js') && n !== 'app.js').sort()) {
  const code = read(path.join(src, name));
  const rel = code.match(/^\s*(?:import|export)[^;]*?from\s*['"]\.{1,2}\/[^'"]*['"]/m);
  if (rel) fail(`src/${name} imports a relative path (use 'kw/NAME.js'): ${rel[0].slice(0, 120)}`);
  importMap.imports[`kw/${name}`] = dataUrl(code);
}

const app = read(path.join(src, 'app.js'));
if (/<\/script/i.test(app)) fail('src/app.js contains "</script", which would end its element');
let page = read(path.join(here, 'src', 'page.html'));
for (const marker of ['<!--KW-IMPORTMAP-->', '<!--KW-APP-->', '<!--KW-RUN-DATA-->']) {
  if (page.split(marker).length !== 2) fail(`src/page.html must hold ${marker} exactly once`);
}
page = page
  .replace('<!--KW-IMPORTMAP-->', () => `<script type="importmap">${JSON.stringify(importMap)}</script>`)
  .replace('<!--KW-APP-->', () => `<script type="module">\n${app}</script>`);

fs.mkdirSync(path.dirname(out), { recursive: true });
const tmp = `${out}.tmp-${process.pid}`;
fs.writeFileSync(tmp, page);
fs.renameSync(tmp, out);
console.log(`viewer build: ${out} (${(page.length / 1024).toFixed(0)} KiB, three ${JSON.parse(read(path.join(three, 'package.json'))).version})`);
