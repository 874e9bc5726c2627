// The selected agent's panel: its name, index, tag, speed, rotation and
// position at the frame on show (in the scene's own left-handed frame, as
// the run recorded them), and what the report found about it there.
import { tagColour } from 'kw/tag_colours.js';
import { $, esc, fixed } from 'kw/html.js';

const deg = (r) => `${fixed((r * 180) / Math.PI, 2)}\u00b0 <span class="kw-hint">(${fixed(r, 4)} rad)</span>`;

// i: the agent (-1: none); f: the frame index; notes: the report's lines
// about it there.
export function showAgentInfo(run, i, f, notes) {
  const info = $('kw-info');
  if (i < 0) { info.innerHTML = ''; return; }
  const a = run.meta.agents[i], b = (f * run.agentCount + i) * 15, s = run.states;
  info.innerHTML = `<table>
      <tr><td>Agent</td><td id="kw-info-name">${esc(a.name)}</td></tr>
      <tr><td>Index</td><td id="kw-info-index">${a.index}</td></tr>
      <tr><td>Tag</td><td><span class="kw-swatch" style="background:${tagColour(a.tag)}"></span>${esc(run.tagLabel(a.tag))}</td></tr>
      <tr><td>Speed</td><td id="kw-info-speed">${fixed(a.speed)}</td></tr>
      <tr><td>Heading</td><td>${deg(s[b + 12])}</td></tr>
      <tr><td>Pitch</td><td>${deg(s[b + 13])}</td></tr>
      <tr><td>Bank</td><td>${deg(s[b + 14])}</td></tr>
      <tr><td>Position</td><td id="kw-info-position">${fixed(s[b])}, ${fixed(s[b + 1])}, ${fixed(s[b + 2])}</td></tr>
      <tr><td>Frame</td><td>${run.meta.frames[f]}</td></tr>
      ${notes.length ? `<tr><td>Checks</td><td id="kw-info-checks" class="kw-warn">${notes.map(esc).join('<br>')}</td></tr>` : ''}
      </table>`;
}
