// One colour per tag for its agents. Kept clear of the colours that mean
// something else on the page: the overlays' pure red, white, green and blue,
// the obstacles' orange, the targets' light blue, the highlight of an agent in
// a reported event and the selection's magenta.
export const SELECTED = '#ff3df5';
export const HIGHLIGHT = '#ff2e63';
export const OBSTACLE = '#ff8c1a';
export const TARGET = '#4db3ff';

const PALETTE = ['#f2d933', '#3fe0c5', '#b99cff', '#a6e34f', '#f0a6a0', '#e8e8a0', '#7fd4ff', '#d9b38c'];

// Past the palette, hues a golden angle apart at the palette's lightness,
// outside the reds, magentas and oranges (hues 320 to 45 degrees).
export function tagColour(tag) {
  const t = Math.max(0, Math.floor(tag) || 0);
  if (t < PALETTE.length) return PALETTE[t];
  const hue = 45 + ((t * 137.508) % 275);
  return hsl(hue, 0.65, 0.68);
}

function hsl(h, s, l) {
  const f = (n) => {
    const k = (n + h / 30) % 12;
    const c = l - s * Math.min(l, 1 - l) * Math.max(-1, Math.min(k - 3, 9 - k, 1));
    return Math.round(c * 255).toString(16).padStart(2, '0');
  };
  return `#${f(0)}${f(8)}${f(4)}`;
}
