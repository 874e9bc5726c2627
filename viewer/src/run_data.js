// The run the page carries (see host/export/viewer_page.h for the layout): a
// JSON element "kw-meta", base64 typed arrays in "kw-*" elements and, when the
// run made one, the crowd report in "kw-report". Positions of lines, circles,
// terrains and obstacles arrive already mirrored into three.js's right-handed
// frame; agent matrices arrive as the scene holds them (left-handed), and
// positionAt mirrors them with the same rule, z -> -z.
import { readReport } from 'kw/report.js';
import { $ } from 'kw/html.js';


function bytes(id) {
  const el = $('kw-' + id);
  const text = el ? el.textContent.trim() : '';
  if (Uint8Array.fromBase64) return Uint8Array.fromBase64(text);
  const bin = atob(text);
  const out = new Uint8Array(bin.length);
  for (let i = 0; i < bin.length; i++) out[i] = bin.charCodeAt(i);
  return out;
}
const f32 = (id) => { const b = bytes(id); return new Float32Array(b.buffer, b.byteOffset, b.byteLength >> 2); };
const u32 = (id) => { const b = bytes(id); return new Uint32Array(b.buffer, b.byteOffset, b.byteLength >> 2); };
const u16 = (id) => { const b = bytes(id); return new Uint16Array(b.buffer, b.byteOffset, b.byteLength >> 1); };
const i8 = (id) => { const b = bytes(id); return new Int8Array(b.buffer, b.byteOffset, b.byteLength); };

// The drawn lines or circles of every frame: NAME holds the geometry,
// NAME-rgb the colours, NAME-kind the overlay kinds (indices into
// OVERLAY_KINDS), NAME-start where each frame's begin (frames + 1 entries).
const drawing = (name) => ({ pos: f32(name + 's'), rgb: bytes(name + '-rgb'), kind: bytes(name + '-kind'), start: u32(name + '-start') });

// The report as the page reads it; a report that is not JSON says so.
function readChecks(meta) {
  const el = $('kw-report');
  try {
    return readReport(el ? JSON.parse(el.textContent) : null, meta);
  } catch (e) {
    const c = readReport(null, meta);
    c.state = 'unreadable';
    c.message = `The crowd report could not be read: ${e.message}`;
    return c;
  }
}

// Tags: those with agents or parameters, named for their agents' group (else
// the object the report says carries the tag).
function tagsOf(meta, checks) {
  const names = new Map();
  for (const t of checks.tags) if (t.object) names.set(t.tag, t.object);
  for (const p of meta.params) if (p.name === 'AGENTS_GROUP' && p.value) names.set(p.tag, p.value);
  const tags = [...new Set([...meta.agents.map((a) => a.tag), ...meta.params.map((p) => p.tag)])].sort((a, b) => a - b);
  return { tags, tagLabel: (tag) => `Tag ${tag}` + (names.has(tag) ? `: ${names.get(tag)}` : '') };
}

// The page's run; null when it holds none (the bare template).
export function readRun() {
  const metaEl = $('kw-meta');
  if (!metaEl) return null;
  const meta = JSON.parse(metaEl.textContent);
  const checks = readChecks(meta);
  const agentCount = meta.agents.length, frameCount = meta.frames.length;
  const states = f32('agents'); // [frame][agent][12 matrix + 3 hpb]
  return {
    meta, checks, agentCount, frameCount, states,
    trackPos: f32('tracks'), // [track][frame][3], mirrored
    lines: drawing('line'),
    circles: drawing('circle'),
    terrains: meta.terrains.map((t) => ({ ...t, points: u16(t.id + '-pos'), normals: i8(t.id + '-nrm'), indices: u32(t.id + '-idx') })),
    frameIndexOf: new Map(meta.frames.map((f, i) => [f, i])),
    ...tagsOf(meta, checks),
    // Where agent i stands at frame index f, in the view's frame.
    positionAt(f, i) {
      const b = (f * agentCount + i) * 15;
      return [states[b], states[b + 1], -states[b + 2]];
    },
  };
}
