// Drawing the scene, on demand: one rendering per display refresh at most,
// and only when something changed. Without WebGL there is no renderer, and
// every call here does nothing (pixels answers null).
import * as THREE from 'three';

function webglAvailable() {
  try {
    return !!document.createElement('canvas').getContext('webgl2');
  } catch {
    return false;
  }
}

export function createRendering(canvas, scene, camera) {
  const webgl = webglAvailable();
  let renderer = null;
  if (webgl) {
    renderer = new THREE.WebGLRenderer({ canvas, antialias: true });
    renderer.setPixelRatio(Math.min(window.devicePixelRatio, 2));
  }
  let pending = false;
  function render() {
    pending = false;
    if (renderer) renderer.render(scene, camera);
  }
  return {
    webgl,
    render,
    requestRender() {
      if (!pending) { pending = true; requestAnimationFrame(render); }
    },
    setSize(w, h) {
      if (renderer) renderer.setSize(w, h, false);
    },
    // The pixels of a fresh rendering, bottom row first: { w, h, px: RGBA }.
    pixels() {
      if (!renderer) return null;
      renderer.render(scene, camera);
      const gl = renderer.getContext();
      const w = gl.drawingBufferWidth, h = gl.drawingBufferHeight, px = new Uint8Array(w * h * 4);
      gl.readPixels(0, 0, w, h, gl.RGBA, gl.UNSIGNED_BYTE, px);
      return { w, h, px };
    },
  };
}
