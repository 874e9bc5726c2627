// The side panel's account of the run: its title and summary, the glTF
// link, the scene's colours, the tags' parameters, and the agents' size
// control and "Frame the whole run". The overlays' switches are
// kw/overlays.js's, the "Checks" section kw/checks_panel.js's.
import { HIGHLIGHT, OBSTACLE, SELECTED, TARGET, tagColour } from 'kw/tag_colours.js';
import { $, esc } from 'kw/html.js';

const swatch = (c, cls = '') => `<span class="kw-swatch ${cls}" style="background:${c};border-color:${c}"></span>`;

function describeRun(run) {
  const { meta } = run;
  document.title = `${meta.scene || 'Kestrelwood run'} \u2013 Kestrelwood viewer`;
  $('kw-title').textContent = meta.scene || 'Kestrelwood run';
  $('kw-summary').textContent = `${run.agentCount ? run.agentCount.toLocaleString('en') : 'no'} agents, ${run.frameCount} frames at ${meta.fps} fps` +
    (meta.terrains.length ? `, terrain ${meta.terrains.reduce((s, t) => s + t.indices / 3, 0).toLocaleString('en')} triangles` : '');
  if (meta.glb) $('kw-download').innerHTML = `The run as glTF for other viewers: <a id="kw-glb" href="${esc(meta.glb)}">${esc(meta.glb)}</a>`;
}

// Scene colours: one per tag (with its agents' count), then obstacles,
// targets and what the highlights mean.
function sceneLegend(run) {
  const count = new Map();
  for (const a of run.meta.agents) count.set(a.tag, (count.get(a.tag) || 0) + 1);
  let html = run.tags.map((t) => `<div class="kw-tag-legend" data-tag="${t}" data-colour="${tagColour(t)}">${swatch(tagColour(t))}` +
    `${esc(run.tagLabel(t))} <span class="kw-hint">(${(count.get(t) || 0).toLocaleString('en')} agents)</span></div>`).join('');
  html += `<div>${swatch(OBSTACLE)}obstacles ${swatch(TARGET)}targets</div>`;
  html += `<div>${swatch(HIGHLIGHT, 'kw-ring')}in a reported event ${swatch(SELECTED)}selected</div>`;
  $('kw-scene-legend').innerHTML = html;
}

// The tags' parameters, a table per tag.
function paramLegend(run) {
  const byTag = new Map();
  for (const p of run.meta.params) {
    if (!byTag.has(p.tag)) byTag.set(p.tag, []);
    byTag.get(p.tag).push(p);
  }
  let html = '';
  for (const [tag, ps] of byTag) {
    if (byTag.size > 1) html += `<div><span class="kw-swatch" style="background:${tagColour(tag)}"></span>${esc(run.tagLabel(tag))}</div>`;
    const rows = ps.map((p) => `<tr><td>${esc(p.name)}</td><td class="kw-num">${esc(p.value)}</td></tr>`);
    html += `<table>${rows.join('')}</table>`;
  }
  $('kw-legend').innerHTML = html || '<span class="kw-hint">none recorded</span>';
}

export function describeRunInPanel(run) {
  describeRun(run);
  sceneLegend(run);
  paramLegend(run);
}

// The size control: exp steps a power of two, from a quarter to four times.
// onSize(factor) resizes the agents. Returns the control's setter.
export function bindSizeControl(onSize) {
  function setSize(exp) {
    const factor = 2 ** Number(exp);
    $('kw-agent-size').value = String(exp);
    const shown = factor < 1 ? factor.toFixed(2) : factor.toFixed(1).replace(/\.0$/, '');
    $('kw-agent-size-value').textContent = `\u00d7${shown}`;
    onSize(factor);
  }
  $('kw-agent-size').addEventListener('input', (e) => setSize(e.target.value));
  return setSize;
}

export function bindFrameAll(frameAll) {
  $('kw-frame-all').addEventListener('click', frameAll);
}
