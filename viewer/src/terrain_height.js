// The terrains' height under a point, for draping the obstacles' rings on the
// ground. The triangles are bucketed on a grid over the horizontal (x, z)
// plane of the viewers' frame; a query tests the few triangles of one cell.
// No three.js here, so that node can test it alone.

const MAX_CELLS_PER_SIDE = 1024;

export class HeightField {
  constructor() {
    this.meshes = []; // { pos: Float32Array (x, y, z), idx: Uint32Array }
    this.cells = null;
  }

  add(pos, idx) {
    if (idx.length >= 3) this.meshes.push({ pos, idx });
    this.cells = null;
  }

  get empty() { return this.meshes.length === 0; }

  // A typical triangle's size: how finely a ring must be sampled to follow
  // the ground.
  get step() {
    this.build();
    return this.cellSize;
  }

  build() {
    if (this.cells || this.empty) return;
    let x0 = Infinity, z0 = Infinity, x1 = -Infinity, z1 = -Infinity, tris = 0;
    for (const { pos, idx } of this.meshes) {
      for (let i = 0; i < pos.length; i += 3) {
        x0 = Math.min(x0, pos[i]); x1 = Math.max(x1, pos[i]);
        z0 = Math.min(z0, pos[i + 2]); z1 = Math.max(z1, pos[i + 2]);
      }
      tris += idx.length / 3;
    }
    const w = Math.max(x1 - x0, 1e-6), d = Math.max(z1 - z0, 1e-6);
    // About two triangles a cell.
    const cell = Math.max(Math.sqrt((w * d * 2) / Math.max(tris, 1)), Math.max(w, d) / MAX_CELLS_PER_SIDE);
    const nx = Math.min(MAX_CELLS_PER_SIDE, Math.max(1, Math.ceil(w / cell)));
    const nz = Math.min(MAX_CELLS_PER_SIDE, Math.max(1, Math.ceil(d / cell)));
    Object.assign(this, { x0, z0, nx, nz, cw: w / nx, cd: d / nz, cellSize: Math.min(w / nx, d / nz) });

    // Two passes: count per cell, then fill one flat list of (mesh, triangle).
    const count = new Uint32Array(nx * nz + 1);
    const each = (fn) => {
      this.meshes.forEach(({ pos, idx }, m) => {
        for (let t = 0; t < idx.length; t += 3) {
          const a = idx[t] * 3, b = idx[t + 1] * 3, c = idx[t + 2] * 3;
          const i0 = this.cx(Math.min(pos[a], pos[b], pos[c])), i1 = this.cx(Math.max(pos[a], pos[b], pos[c]));
          const j0 = this.cz(Math.min(pos[a + 2], pos[b + 2], pos[c + 2]));
          const j1 = this.cz(Math.max(pos[a + 2], pos[b + 2], pos[c + 2]));
          for (let j = j0; j <= j1; j++) for (let i = i0; i <= i1; i++) fn(j * nx + i, m, t);
        }
      });
    };
    each((k) => { count[k + 1]++; });
    for (let k = 1; k < count.length; k++) count[k] += count[k - 1];
    const fill = count.slice(0, nx * nz);
    const mesh = new Uint16Array(count[nx * nz]), tri = new Uint32Array(count[nx * nz]);
    each((k, m, t) => { mesh[fill[k]] = m; tri[fill[k]++] = t; });
    this.cells = { start: count, mesh, tri };
  }

  cx(x) { return Math.max(0, Math.min(this.nx - 1, Math.floor((x - this.x0) / this.cw))); }
  cz(z) { return Math.max(0, Math.min(this.nz - 1, Math.floor((z - this.z0) / this.cd))); }

  // The height of the terrain surface at (x, z): of the surfaces there, the
  // one nearest the height `near`. null where no terrain lies under or over
  // the point.
  heightAt(x, z, near = 0) {
    if (this.empty || !Number.isFinite(x) || !Number.isFinite(z)) return null;
    this.build();
    const e = 1e-6;
    if (x < this.x0 - e * this.cw || z < this.z0 - e * this.cd) return null;
    if (x > this.x0 + this.nx * this.cw * (1 + e) || z > this.z0 + this.nz * this.cd * (1 + e)) return null;
    const k = this.cz(z) * this.nx + this.cx(x);
    const { start, mesh, tri } = this.cells;
    let best = null;
    for (let s = start[k]; s < start[k + 1]; s++) {
      const { pos, idx } = this.meshes[mesh[s]];
      const t = tri[s], a = idx[t] * 3, b = idx[t + 1] * 3, c = idx[t + 2] * 3;
      const ax = pos[a], az = pos[a + 2], bx = pos[b], bz = pos[b + 2], qx = pos[c], qz = pos[c + 2];
      const det = (bz - qz) * (ax - qx) + (qx - bx) * (az - qz);
      if (Math.abs(det) < 1e-12) continue; // a wall seen from above
      const l1 = ((bz - qz) * (x - qx) + (qx - bx) * (z - qz)) / det;
      const l2 = ((qz - az) * (x - qx) + (ax - qx) * (z - qz)) / det;
      const l3 = 1 - l1 - l2, tol = -1e-7;
      if (l1 < tol || l2 < tol || l3 < tol) continue;
      const y = l1 * pos[a + 1] + l2 * pos[b + 1] + l3 * pos[c + 1];
      if (best === null || Math.abs(y - near) < Math.abs(best - near)) best = y;
    }
    return best;
  }
}

// A ring of radius r round (cx, cy, cz), draped on the field where there is
// ground (at cy elsewhere): segment end points, 2 per segment, as a flat
// array of x, y, z. Sampled finely enough to follow the ground's triangles.
export function drapedRing(field, cx, cy, cz, r, minSegments = 64, maxSegments = 1024) {
  const step = field.empty ? Infinity : field.step / 2;
  const n = Math.max(minSegments, Math.min(maxSegments, Math.ceil((2 * Math.PI * r) / step) || minSegments));
  const pts = new Float32Array((n + 1) * 3);
  for (let s = 0; s <= n; s++) {
    const a = (2 * Math.PI * (s % n)) / n;
    const x = cx + r * Math.cos(a), z = cz + r * Math.sin(a);
    const y = field.empty ? null : field.heightAt(x, z, cy);
    pts[s * 3] = x; pts[s * 3 + 1] = y === null ? cy : y; pts[s * 3 + 2] = z;
  }
  const out = new Float32Array(n * 6);
  for (let s = 0; s < n; s++) out.set(pts.subarray(s * 3, s * 3 + 6), s * 6);
  return out;
}
