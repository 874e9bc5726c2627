// The browser tests' window onto the page, window.kwViewer: the page's
// status, and what the tests read and do that a user sees and does (frames,
// agents where they are drawn, colours and pixels, spells). The page loads
// this module only when its address asks for it (index.html?test-hook); a
// user's page never runs it.
//   installTestHook(status, viewer): status is the page's { ready, error,
//   webgl, loadMs }; viewer the parts app.js built, null when there are none
//   (no run, or it could not be shown).
import { tagColour } from 'kw/tag_colours.js';

// Pixels within tol of rgb in p (a rendering's pixels).
function countColour(p, rgb, tol) {
  let n = 0;
  for (let i = 0; i < p.px.length; i += 4) {
    if (Math.abs(p.px[i] - rgb[0]) <= tol && Math.abs(p.px[i + 1] - rgb[1]) <= tol && Math.abs(p.px[i + 2] - rgb[2]) <= tol) n++;
  }
  return n;
}

// Pixels within r device pixels of (cx, cy) that differ between two
// renderings.
function changedAround(on, off, cx, cy, r) {
  const { w, h } = on;
  let n = 0;
  for (let y = Math.max(0, Math.floor(cy - r)); y < Math.min(h, Math.ceil(cy + r)); y++) {
    for (let x = Math.max(0, Math.floor(cx - r)); x < Math.min(w, Math.ceil(cx + r)); x++) {
      if ((x - cx) ** 2 + (y - cy) ** 2 > r * r) continue;
      const k = (y * w + x) * 4;
      const d = Math.abs(on.px[k] - off.px[k]) + Math.abs(on.px[k + 1] - off.px[k + 1]) + Math.abs(on.px[k + 2] - off.px[k + 2]);
      if (d > 24) n++;
    }
  }
  return n;
}

// What shows of each agent: the pixels within radius CSS pixels of it that
// change when the agents are not drawn (null without WebGL).
function agentCoverage(v, radius) {
  const on = v.rendering.pixels();
  if (!on) return null;
  v.agents.mesh.visible = false;
  const off = v.rendering.pixels();
  v.agents.mesh.visible = true;
  const ratio = on.w / (v.canvas.clientWidth || 1), c = v.canvas.getBoundingClientRect();
  return Array.from({ length: v.run.agentCount }, (_, i) => {
    const s = agentScreenPosition(v, i);
    return changedAround(on, off, (s.x - c.left) * ratio, on.h - (s.y - c.top) * ratio, radius * ratio);
  });
}

function agentScreenPosition(v, i) {
  const p = v.agents.shownPosition(i);
  return v.camera.screenOf([p.x, p.y, p.z]);
}

// Plays every frame, one per display refresh, for ms milliseconds and
// resolves to the rendered frames per second.
function benchmark(v, ms) {
  return new Promise((resolve) => {
    let frames = 0, f = v.frames.index();
    const t0 = performance.now();
    function step(now) {
      f = (f + 1) % v.run.frameCount;
      v.frames.show(f);
      v.rendering.render();
      frames++;
      if (now - t0 < ms) requestAnimationFrame(step);
      else resolve((frames * 1000) / (performance.now() - t0));
    }
    requestAnimationFrame(step);
  });
}

// The calls on a page that shows a run.
function viewerCalls(v) {
  const { run, frames, agents, camera } = v;
  return {
    frameNumber: (f) => run.meta.frames[f],
    setFrameIndex: frames.show,
    // Where the agent is drawn, in the scene's frame.
    agentPosition: (i) => { const p = agents.shownPosition(i); return [p.x, p.y, -p.z]; },
    agentScreenPosition: (i) => agentScreenPosition(v, i),
    agentForward: agents.forward,
    screenOf: camera.screenOf,
    selectAgent: frames.select,
    selectedAgent: frames.selected,
    agentColour: agents.colour,
    tagColour,
    markerLength: agents.length,
    setAgentSize: v.setSize,
    overlayVisible: v.overlays.visible,
    overlaySegments: v.overlays.segments,
    // The overlays' end points at the frame on show, in the view's frame.
    overlayPoints: () => Array.from(v.overlays.drawnPoints()),
    obstacleCount: v.obstacles.count,
    trackCount: run.meta.tracks.length,
    obstacleRing: (o) => Array.from(v.obstacles.rings[o]),
    trackPosition: (t, f = frames.index()) => { const b = (t * run.frameCount + f) * 3; return Array.from(run.trackPos.subarray(b, b + 3)); },
    // The free part of the view, in page pixels.
    freeRect: () => {
      const c = v.canvas.getBoundingClientRect(), r = camera.freeRect();
      return { left: c.left + r.left, top: c.top + r.top, right: c.left + r.left + r.width, bottom: c.top + r.height };
    },
    cameraDistance: camera.distance,
    frameAll: v.frameAll,
    checksState: () => run.checks.state,
    marks: () => run.checks.marks.map(({ kind, tag, agents: a, obstacles: o, names, obstacleName, from, to, frame }) =>
      ({ kind, tag, agents: a, obstacles: o, names, obstacleName, from, to, frame })),
    selectMark: v.spells.select,
    selectedMark: v.spells.selected,
    highlightedAgents: () => [...frames.events().agents].sort((a, b) => a - b),
    highlightedObstacles: () => [...frames.events().obstacles].sort((a, b) => a - b),
    play: () => v.timeline.setPlaying(true),
    pause: () => v.timeline.setPlaying(false),
    isPlaying: v.timeline.playing,
    // Pixels of about this colour in a fresh rendering (null without WebGL).
    countColour: (rgb, tol = 40) => { const p = v.rendering.pixels(); return p && countColour(p, rgb, tol); },
    agentCoverage: (radius = 30) => agentCoverage(v, radius),
    benchmark: (ms) => benchmark(v, ms),
  };
}

export function installTestHook(status, viewer) {
  window.kwViewer = {
    get ready() { return status.ready; },
    get error() { return status.error; },
    get webgl() { return status.webgl; },
    get loadMs() { return status.loadMs; },
    frameCount: viewer ? viewer.run.frameCount : 0,
    agentCount: viewer ? viewer.run.agentCount : 0,
    get frameIndex() { return viewer ? viewer.frames.index() : 0; },
    ...(viewer ? viewerCalls(viewer) : {}),
  };
}
