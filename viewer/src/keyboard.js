// The page's keys (the help at the side panel's foot lists them): space plays
// and pauses, the arrows step a frame, [ and ] go to the previous and next
// spell, F frames the whole run. Typing in a text field is left alone;
// sliders and check boxes keep no key of these.
export function bindKeys({ timeline, spells, frameAll }) {
  window.addEventListener('keydown', (e) => {
    if (e.target instanceof HTMLInputElement && e.target.type !== 'range' && e.target.type !== 'checkbox') return;
    if (e.key === ' ') { e.preventDefault(); timeline.setPlaying(!timeline.playing()); }
    else if (e.key === 'ArrowRight') { e.preventDefault(); timeline.step(1); }
    else if (e.key === 'ArrowLeft') { e.preventDefault(); timeline.step(-1); }
    else if (e.key === ']') spells.step(1);
    else if (e.key === '[') spells.step(-1);
    else if (e.key === 'f' || e.key === 'F') frameAll();
  });
}
