// The crowd report on the page: the marks on the timeline, one per spell
// (see kw/report.js for the rule), and the side panel's "Checks" section with
// the report's summary per tag and the same spells as a list. Either one
// selects a spell through onSelect(index into checks.marks).
import { describeMark, KINDS } from 'kw/report.js';

const LANE_TITLES = { intrusion: 'Inside an obstacle', 'close-pair': 'Closer than the minimum gap', stuck: 'Stuck' };
const LIST_LIMIT = 400; // list entries; the timeline holds every mark

function esc(s) {
  return String(s).replace(/[&<>"]/g, (c) => ({ '&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;' }[c]));
}
const num = (v, d = 1) => (typeof v === 'number' && Number.isFinite(v) ? v.toFixed(d) : '\u2013');
const plural = (n, one, many) => `${n.toLocaleString('en')} ${n === 1 ? one : many}`;

function tagLine(t, tagName) {
  const s = t.summary || {};
  const pick = (key, fallback) => (Number.isFinite(s[key]) ? s[key] : fallback);
  const intr = pick('intrusionFrames', t.counts.intrusion), pairs = pick('closePairFrames', t.counts['close-pair']);
  const stuck = pick('stuckAgents', null);
  const parts = [];
  parts.push(intr
    ? `${plural(intr, 'agent-frame', 'agent-frames')} inside obstacles` +
      (Number.isFinite(s.agentsIntruding) ? ` (${plural(s.agentsIntruding, 'agent', 'agents')}, deepest ${num(s.deepest)})` : '')
    : 'no intrusions');
  const gap = t.minGap === null ? '' : `, gap ${num(t.minGap, 2)}`;
  parts.push(pairs
    ? `${plural(pairs, 'close pair-frame', 'close pair-frames')} (closest ${num(s.closest, 2)}${gap})`
    : `no close pairs${gap ? ` (${gap.slice(2)})` : ''}`);
  parts.push(stuck === null
    ? (t.counts.stuck ? plural(t.counts.stuck, 'stuck spell', 'stuck spells') : 'none stuck')
    : stuck ? `${plural(stuck, 'agent', 'agents')} stuck` : 'none stuck');
  return `<div class="kw-check-tag" data-tag="${t.tag}"><b>${esc(tagName(t))}</b>: ${parts.join('; ')}</div>`;
}

// checks: readReport's result. frames: the page's scene frames.
export function buildChecks(checks, frames, tagName, onSelect) {
  const box = document.getElementById('kw-checks');
  const lanes = document.getElementById('kw-marks');
  box.dataset.state = checks.state;
  let html = `<div id="kw-checks-state">${esc(checks.message)}</div>`;
  if (checks.state === 'clean' || checks.state === 'events') {
    if (checks.frames) html = html.replace('</div>', ` <span class="kw-hint">Frames ${checks.frames[0]}\u2013${checks.frames[1]}.</span></div>`);
    html += checks.tags.map((t) => tagLine(t, tagName)).join('');
    const notes = [];
    if (checks.unmatched) notes.push(`${plural(checks.unmatched, 'event names', 'events name')} an agent or obstacle this run does not have`);
    if (checks.ambiguous) notes.push(`${plural(checks.ambiguous, 'event names', 'events name')} an agent whose name others of its tag share: all of them are highlighted`);
    if (checks.outside) notes.push(`${plural(checks.outside, 'event is', 'events are')} at frames this run did not record`);
    if (checks.unreadable) notes.push(`${plural(checks.unreadable, 'entry', 'entries')} of the report could not be read`);
    if (notes.length) html += `<div class="kw-warn" id="kw-checks-notes">Left out: ${notes.map(esc).join('; ')}.</div>`;
  }
  if (checks.marks.length) {
    html += `<div class="kw-check-nav"><button id="kw-event-prev" title="Previous spell ([)">&#x25C0; spell</button>
      <button id="kw-event-next" title="Next spell (])">spell &#x25B6;</button></div><ol id="kw-events">`;
    checks.marks.slice(0, LIST_LIMIT).forEach((m, i) => {
      html += `<li><button class="kw-event" data-mark="${i}" data-kind="${m.kind}"><span class="kw-lane-swatch" data-kind="${m.kind}"></span>${esc(describeMark(m))}</button></li>`;
    });
    html += '</ol>';
    if (checks.marks.length > LIST_LIMIT) {
      html += `<div class="kw-hint">The first ${LIST_LIMIT} of ${checks.marks.length.toLocaleString('en')} spells; the timeline marks them all.</div>`;
    }
  }
  box.innerHTML = html;

  // The timeline: one lane per kind present, marks spanning their frames.
  const index = new Map(frames.map((f, i) => [f, i]));
  const span = Math.max(frames.length - 1, 1);
  lanes.innerHTML = '';
  for (const kind of KINDS) {
    // Longer spells first, so that a short one is never buried under a long one.
    const ms = checks.marks.map((m, i) => [m, i]).filter(([m]) => m.kind === kind)
      .sort(([a], [b]) => (b.to - b.from) - (a.to - a.from));
    if (!ms.length) continue;
    const lane = document.createElement('div');
    lane.className = 'kw-lane';
    lane.dataset.kind = kind;
    lane.title = LANE_TITLES[kind];
    for (const [m, i] of ms) {
      const b = document.createElement('button');
      b.className = 'kw-mark';
      Object.assign(b.dataset, {
        mark: String(i), kind, tag: String(m.tag), from: String(m.from), to: String(m.to), frame: String(m.frame),
        agents: m.agents.join(' '), obstacles: m.obstacles.join(' '),
      });
      const a = index.get(m.from), z = index.get(m.to);
      b.style.left = `${(a / span) * 100}%`;
      b.style.width = `max(4px, ${((z - a) / span) * 100}%)`;
      b.title = describeMark(m);
      b.setAttribute('aria-label', b.title);
      lane.appendChild(b);
    }
    lanes.appendChild(lane);
  }
  lanes.hidden = !checks.marks.length;
  document.body.classList.toggle('kw-has-marks', checks.marks.length > 0);

  const pick = (e) => {
    const el = e.target.closest('[data-mark]');
    if (el) onSelect(Number(el.dataset.mark));
  };
  lanes.addEventListener('click', pick);
  const list = document.getElementById('kw-events');
  if (list) list.addEventListener('click', pick);
  return {
    // Shows which spell is selected (-1: none) in both places.
    show(selected) {
      for (const el of document.querySelectorAll('.kw-mark.kw-selected, .kw-event.kw-selected')) el.classList.remove('kw-selected');
      if (selected < 0) return;
      for (const el of document.querySelectorAll(`[data-mark="${selected}"]`)) {
        el.classList.add('kw-selected');
        if (el.classList.contains('kw-event')) el.scrollIntoView({ block: 'nearest' });
      }
    },
  };
}
