// The timeline at the page's foot: play and pause (at the run's frame rate),
// the step buttons, the scrubber, the frame's number, and above the scrubber
// the report's spells, one lane per kind of check with a mark per spell
// spanning its frames (see kw/report.js for what a spell is).
import { describeMark } from 'kw/report.js';
import { $ } from 'kw/html.js';


// frames: createFrames's. The scrubber and the frame's number follow the
// frame on show, whoever shows it.
export function createTimeline(run, frames) {
  const n = run.frameCount;
  let playing = false, last = 0, carry = 0;
  function tick(now) {
    if (!playing) return;
    carry += ((now - last) / 1000) * run.meta.fps;
    last = now;
    if (carry >= 1) {
      const steps = Math.floor(carry);
      carry -= steps;
      frames.show((frames.index() + steps) % n);
    }
    requestAnimationFrame(tick);
  }
  function setPlaying(on) {
    playing = on && n > 1;
    $('kw-play').innerHTML = playing ? '<b>| |</b>' : '&#x25B6;';
    if (playing) { last = performance.now(); carry = 0; requestAnimationFrame(tick); }
  }
  // A step by hand stops the play.
  const step = (by) => { setPlaying(false); frames.show(frames.index() + by); };
  $('kw-scrubber').max = String(Math.max(0, n - 1));
  $('kw-scrubber').addEventListener('input', (e) => frames.show(e.target.value));
  $('kw-play').addEventListener('click', () => setPlaying(!playing));
  $('kw-prev').addEventListener('click', () => step(-1));
  $('kw-next').addEventListener('click', () => step(1));
  frames.onShow((f) => {
    $('kw-scrubber').value = String(f);
    $('kw-frame').textContent = `Frame ${run.meta.frames[f]}  (${f + 1}/${n})`;
  });
  return { setPlaying, playing: () => playing, step };
}

// One lane's marks, longer spells first so that a short one is never buried
// under a long one. entries: [mark, index into checks.marks].
function lane(kind, entries, at, span) {
  const el = document.createElement('div');
  el.className = 'kw-lane';
  el.dataset.kind = kind.name;
  el.title = kind.label;
  for (const [m, i] of [...entries].sort(([a], [b]) => (b.to - b.from) - (a.to - a.from))) {
    const b = document.createElement('button');
    b.className = 'kw-mark';
    Object.assign(b.dataset, {
      mark: String(i), kind: m.kind, tag: String(m.tag), from: String(m.from), to: String(m.to), frame: String(m.frame),
      agents: m.agents.join(' '), obstacles: m.obstacles.join(' '),
    });
    const a = at.get(m.from), z = at.get(m.to);
    b.style.left = `${(a / span) * 100}%`;
    b.style.width = `max(4px, ${((z - a) / span) * 100}%)`;
    b.style.background = kind.colour;
    b.title = describeMark(m);
    b.setAttribute('aria-label', b.title);
    el.appendChild(b);
  }
  return el;
}

// The spells' lanes, in the report's order of kinds, only those with spells.
// checks: readReport's result; a click on a mark calls onSelect(its index).
export function buildLanes(checks, sceneFrames, onSelect) {
  const lanes = $('kw-marks');
  const at = new Map(sceneFrames.map((f, i) => [f, i]));
  const span = Math.max(sceneFrames.length - 1, 1);
  lanes.innerHTML = '';
  for (const kind of checks.kinds) {
    const entries = checks.marks.map((m, i) => [m, i]).filter(([m]) => m.lane === kind.name);
    if (entries.length) lanes.appendChild(lane(kind, entries, at, span));
  }
  lanes.hidden = !checks.marks.length;
  document.body.classList.toggle('kw-has-marks', checks.marks.length > 0);
  lanes.addEventListener('click', (e) => {
    const el = e.target.closest('[data-mark]');
    if (el) onSelect(Number(el.dataset.mark));
  });
  return {
    // Outlines the selected spell's mark (-1: none).
    show(selected) {
      for (const el of lanes.querySelectorAll('.kw-mark.kw-selected')) el.classList.remove('kw-selected');
      if (selected >= 0) lanes.querySelector(`[data-mark="${selected}"]`)?.classList.add('kw-selected');
    },
  };
}
