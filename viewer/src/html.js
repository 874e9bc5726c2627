// The page's HTML: its elements by id, escaping what a run or its report
// names, and numbers as the panels print them.

export const $ = (id) => document.getElementById(id);

export function esc(s) {
  return String(s).replace(/[&<>"]/g, (c) => ({ '&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;' }[c]));
}

// d decimals; what is not finite as it is ("NaN", "Infinity").
export function fixed(v, d = 3) {
  return Number.isFinite(v) ? v.toFixed(d) : String(v);
}

// "1 agent", "2,048 agents".
export function plural(n, one, many) {
  return `${n.toLocaleString('en')} ${n === 1 ? one : many}`;
}
