// The report's spells on the page: the "Checks" list and the timeline's
// lanes (see kw/checks_panel.js, kw/timeline.js), and selecting a spell from
// either, from the step buttons or from the keys: the play stops, the frame
// goes to the spell's (its worst, see kw/report.js), its agent is selected,
// and the camera, from where it stands, frames the spell's agents close
// enough to tell them apart with the obstacle it is about whole.
import { buildChecks } from 'kw/checks_panel.js';
import { buildLanes } from 'kw/timeline.js';
import { $ } from 'kw/html.js';

const SPELL_PAD = 2.5;   // room round each of the spell's agents, in base markers' lengths
const SPELL_NEAREST = 3; // the closest the camera comes, in base markers' lengths

// The points to frame for mark m at frame index f, and the point to look at:
// its agent, or the middle of the two a spell of a pair names.
function spellView(run, m, f, rings, pad) {
  const pts = [];
  for (const i of m.agents) {
    const [x, y, z] = run.positionAt(f, i);
    for (const dx of [-pad, pad]) for (const dz of [-pad, pad]) pts.push(x + dx, y, z + dz);
  }
  for (const o of m.obstacles) for (let k = 0; k < rings[o].length; k++) pts.push(rings[o][k]);
  let target = run.positionAt(f, m.agents[0]);
  if (m.names.length === 2 && m.agents.length > 1) {
    const b = run.positionAt(f, m.agents[1]);
    target = [(target[0] + b[0]) / 2, (target[1] + b[1]) / 2, (target[2] + b[2]) / 2];
  }
  return { pts, target };
}

// view: { frames, timeline, camera, obstacles, baseLength, sizeAgents, requestRender }
export function createSpells(run, view) {
  const { checks } = run, marks = checks.marks;
  let selected = -1;
  function select(k) {
    if (k < 0 || k >= marks.length) return;
    const m = marks[k];
    selected = k;
    view.timeline.setPlaying(false);
    view.frames.show(run.frameIndexOf.get(m.frame));
    view.frames.select(m.agents[0]);
    const { pts, target } = spellView(run, m, view.frames.index(), view.obstacles.rings, view.baseLength * SPELL_PAD);
    view.camera.frameFromHere(pts, target, view.baseLength * SPELL_NEAREST);
    view.sizeAgents();
    panel.show(k);
    lanes.show(k);
    view.requestRender();
  }
  // The next (or previous) spell: after the selected one, or else from the
  // frame on show.
  function step(dir) {
    if (!marks.length) return;
    let k = selected;
    if (k < 0) {
      const now = run.meta.frames[view.frames.index()];
      k = dir > 0 ? marks.findIndex((m) => m.from >= now) : marks.findLastIndex((m) => m.from <= now);
      if (k < 0) k = dir > 0 ? 0 : marks.length - 1;
    } else k = (k + dir + marks.length) % marks.length;
    select(k);
  }
  const panel = buildChecks(checks, (t) => run.tagLabel(t.tag), select);
  const lanes = buildLanes(checks, run.meta.frames, select);
  $('kw-event-prev')?.addEventListener('click', () => step(-1));
  $('kw-event-next')?.addEventListener('click', () => step(1));
  return { select, step, selected: () => selected };
}
