// The side panel's "Checks" section: what the crowd report found, per tag
// its summary as the report words it, what the page left out and why, and
// the spells as a list (see kw/report.js for what a spell is). A click on an
// entry calls onSelect(its index into checks.marks).
import { describeMark } from 'kw/report.js';
import { $, esc, plural } from 'kw/html.js';

const LIST_LIMIT = 400; // list entries; the timeline holds every mark

// The tag's summary sentence as the report words it.
function tagLine(t, tagName) {
  const text = t.summary && typeof t.summary.text === 'string' ? t.summary.text : 'the report gives no summary';
  return `<div class="kw-check-tag" data-tag="${t.tag}"><b>${esc(tagName(t))}</b>: ${esc(text)}</div>`;
}

// What the page could not show, said under the summaries.
function leftOut(checks) {
  const notes = [];
  if (checks.unmatched) notes.push(`${plural(checks.unmatched, 'event names', 'events name')} an agent or obstacle this run does not have`);
  if (checks.ambiguous) notes.push(`${plural(checks.ambiguous, 'event names', 'events name')} an agent whose name others of its tag share: all of them are highlighted`);
  if (checks.outside) notes.push(`${plural(checks.outside, 'event is', 'events are')} at frames this run did not record`);
  if (checks.unreadable) notes.push(`${plural(checks.unreadable, 'entry', 'entries')} of the report could not be read`);
  for (const [name, n] of checks.unknown) notes.push(`${plural(n, 'event', 'events')} of the kind "${name}", which this page cannot show`);
  return notes.length ? `<div class="kw-warn" id="kw-checks-notes">Left out: ${notes.map(esc).join('; ')}.</div>` : '';
}

function spellList(checks) {
  const colour = new Map(checks.kinds.map((k) => [k.name, k.colour]));
  let html = `<div class="kw-check-nav"><button id="kw-event-prev" title="Previous spell ([)">&#x25C0; spell</button>
      <button id="kw-event-next" title="Next spell (])">spell &#x25B6;</button></div><ol id="kw-events">`;
  checks.marks.slice(0, LIST_LIMIT).forEach((m, i) => {
    html += `<li><button class="kw-event" data-mark="${i}" data-kind="${m.kind}"><span class="kw-lane-swatch" ` +
      `style="background:${esc(colour.get(m.lane))}"></span>${esc(describeMark(m))}</button></li>`;
  });
  html += '</ol>';
  if (checks.marks.length > LIST_LIMIT) {
    html += `<div class="kw-hint">The first ${LIST_LIMIT} of ${checks.marks.length.toLocaleString('en')} spells; the timeline marks them all.</div>`;
  }
  return html;
}

// checks: readReport's result; tagName(tag entry) names a tag.
export function buildChecks(checks, tagName, onSelect) {
  const box = $('kw-checks');
  box.dataset.state = checks.state;
  let html = `<div id="kw-checks-state">${esc(checks.message)}</div>`;
  if (checks.state === 'clean' || checks.state === 'events') {
    if (checks.frames) html = html.replace('</div>', ` <span class="kw-hint">Frames ${checks.frames[0]}\u2013${checks.frames[1]}.</span></div>`);
    html += checks.tags.map((t) => tagLine(t, tagName)).join('') + leftOut(checks);
  }
  if (checks.marks.length) html += spellList(checks);
  box.innerHTML = html;
  $('kw-events')?.addEventListener('click', (e) => {
    const el = e.target.closest('[data-mark]');
    if (el) onSelect(Number(el.dataset.mark));
  });
  return {
    // Shows which spell is selected (-1: none), scrolled into view.
    show(selected) {
      for (const el of box.querySelectorAll('.kw-event.kw-selected')) el.classList.remove('kw-selected');
      const el = selected >= 0 ? box.querySelector(`.kw-event[data-mark="${selected}"]`) : null;
      if (el) { el.classList.add('kw-selected'); el.scrollIntoView({ block: 'nearest' }); }
    },
  };
}
