// The frame on show and the selected agent. Showing a frame places the
// agents, targets and overlays as the run recorded them there and lights
// what the report found there; a click (not a drag) on the canvas selects
// the agent nearest the pointer. Whoever shows the frame elsewhere (the
// timeline) listens through onShow.
import { NO_EVENTS } from 'kw/report.js';
import { showAgentInfo } from 'kw/agent_info.js';

const PICK_RADIUS_PX = 24;
const DRAG_PX = 4; // a pointer that moved farther between down and up dragged the view

// parts: { agents, obstacles, overlays, camera, requestRender }
export function createFrames(run, parts) {
  const { agents, obstacles, overlays, requestRender } = parts;
  let index = 0, selected = -1, events = NO_EVENTS;
  const listeners = [];

  function paint() {
    agents.paint(selected, events.agents);
    obstacles.highlight(events.obstacles);
  }
  function info() {
    showAgentInfo(run, selected, index, (selected >= 0 && events.notes.get(selected)) || []);
  }
  function show(f) {
    if (!run.frameCount) return;
    index = Math.max(0, Math.min(run.frameCount - 1, Math.round(Number(f)) || 0));
    events = run.checks.byFrame.get(run.meta.frames[index]) || NO_EVENTS;
    agents.show(index, events);
    paint();
    overlays.show(index);
    for (const fn of listeners) fn(index);
    info();
    requestRender();
  }
  function select(i) {
    selected = i >= 0 && i < run.agentCount ? i : -1;
    paint();
    info();
    requestRender();
  }
  return {
    index: () => index,
    selected: () => selected,
    events: () => events,
    show,
    select,
    onShow: (fn) => listeners.push(fn),
    // The agent drawn nearest a page point, within PICK_RADIUS_PX; -1 for none.
    agentAt(x, y) {
      let best = -1, bestD = PICK_RADIUS_PX;
      for (let i = 0; i < run.agentCount; i++) {
        const p = agents.shownPosition(i), s = parts.camera.screenOf([p.x, p.y, p.z]);
        const d = Math.hypot(s.x - x, s.y - y);
        if (s.inView && d < bestD) { bestD = d; best = i; }
      }
      return best;
    },
  };
}

// A click on the canvas selects; a drag orbits and selects nothing.
export function bindPicking(canvas, frames) {
  let down = null;
  canvas.addEventListener('pointerdown', (e) => { down = { x: e.clientX, y: e.clientY }; });
  canvas.addEventListener('pointerup', (e) => {
    if (!down || Math.hypot(e.clientX - down.x, e.clientY - down.y) > DRAG_PX) return;
    frames.select(frames.agentAt(e.clientX, e.clientY));
  });
}
