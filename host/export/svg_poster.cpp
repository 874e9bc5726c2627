#include "export/svg_poster.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <vector>

#include "core/atomic_file.h"
#include "export/report_kinds.h"

namespace kwhost {

namespace {

constexpr double kMapSize = 1000.0;  // longer side of the map, pixels
constexpr double kMargin = 24.0;
constexpr double kLegendWidth = 300.0;
constexpr int kGrid = 220;  // terrain cells along the longer side

struct Box {
  double minX = std::numeric_limits<double>::infinity(), maxX = -minX, minZ = minX, maxZ = -minX;
  void add(double x, double z) {
    if (!std::isfinite(x) || !std::isfinite(z)) return;
    minX = std::min(minX, x), maxX = std::max(maxX, x), minZ = std::min(minZ, z), maxZ = std::max(maxZ, z);
  }
  bool empty() const { return !(minX <= maxX); }
};

Vec3 place(const Mat12& m, const Vec3& p) {
  return {m[0] + m[3] * p[0] + m[6] * p[1] + m[9] * p[2], m[1] + m[4] * p[0] + m[7] * p[1] + m[10] * p[2],
          m[2] + m[5] * p[0] + m[8] * p[1] + m[11] * p[2]};
}

std::string num(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f", v);
  return buf;
}

std::string xml(const std::string& s) {
  std::string o;
  for (char c : s) {
    switch (c) {
      case '&': o += "&amp;"; break;
      case '<': o += "&lt;"; break;
      case '>': o += "&gt;"; break;
      case '"': o += "&quot;"; break;
      default: o += c;
    }
  }
  return o;
}

std::string rgb(const Rgb& c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "#%02x%02x%02x", c[0], c[1], c[2]);
  return buf;
}

// Height colours: low green, then tan and brown, snow at the top.
Rgb ramp(double t, double shade) {
  static const double stops[][4] = {{0.0, 70, 120, 70},   {0.3, 130, 160, 90}, {0.55, 190, 175, 120},
                                    {0.8, 150, 115, 80}, {1.0, 240, 240, 235}};
  t = std::clamp(t, 0.0, 1.0);
  int i = 0;
  while (i < 3 && t > stops[i + 1][0]) ++i;
  double u = (t - stops[i][0]) / (stops[i + 1][0] - stops[i][0]);
  Rgb out;
  for (int k = 0; k < 3; ++k) {
    double c = (stops[i][k + 1] * (1 - u) + stops[i + 1][k + 1] * u) * shade;
    int q = int(std::lround(std::clamp(c, 0.0, 255.0))) & ~3;  // coarse steps, so equal cells merge
    out[size_t(k)] = uint8_t(q);
  }
  return out;
}

struct Poster {
  Poster(const RunRecord& r, const CrowdReport* q) : run(r), report(q) {}
  const RunRecord& run;
  const CrowdReport* report;
  Box box;
  double scale = 1, width = 0, height = 0;
  std::string out;

  double X(double x) const { return kMargin + (x - box.minX) * scale; }
  double Y(double z) const { return kMargin + (box.maxZ - z) * scale; }

  void bounds() {
    for (const RecordedMesh& m : run.terrains)
      for (const Vec3& p : m.points) {
        Vec3 w = place(m.global, p);
        box.add(w[0], w[2]);
      }
    for (const RecordedCircle& c : run.obstacles) {
      box.add(c.global[0] - c.radius, c.global[2] - c.radius);
      box.add(c.global[0] + c.radius, c.global[2] + c.radius);
    }
    for (const FrameRecord& f : run.frames)
      for (const AgentState& a : f.agents) box.add(a.global[0], a.global[2]);
    for (const RecordedTrack& t : run.tracks)
      for (const Mat12& m : t.global) box.add(m[0], m[2]);
    if (!run.frames.empty())  // the overlays drawn at the last frame
      for (const DrawnLine& l : run.frames.back().lines) box.add(l.a[0], l.a[2]), box.add(l.b[0], l.b[2]);
    if (box.empty()) box.add(-1, -1), box.add(1, 1);
    double w = box.maxX - box.minX, h = box.maxZ - box.minZ, pad = 0.03 * std::max({w, h, 1e-6});
    box.minX -= pad, box.maxX += pad, box.minZ -= pad, box.maxZ += pad;
    w = box.maxX - box.minX, h = box.maxZ - box.minZ;
    scale = kMapSize / std::max(w, h);
    width = w * scale, height = h * scale;
  }

  // The terrain's top surface sampled at cell centres, then drawn as shaded
  // cells (runs of equal colour merged) and contour lines.
  void terrain(double* lowOut, double* highOut) {
    if (run.terrains.empty()) return;
    const double cell = std::max(box.maxX - box.minX, box.maxZ - box.minZ) / kGrid;
    const int nx = std::max(1, int(std::ceil((box.maxX - box.minX) / cell)));
    const int nz = std::max(1, int(std::ceil((box.maxZ - box.minZ) / cell)));
    const double none = -std::numeric_limits<double>::infinity();
    std::vector<double> h(size_t(nx) * size_t(nz), none);
    for (const RecordedMesh& m : run.terrains) {
      std::vector<Vec3> w(m.points.size());
      for (size_t i = 0; i < w.size(); ++i) w[i] = place(m.global, m.points[i]);
      for (size_t t = 0; t + 2 < m.tris.size(); t += 3) {
        if (m.tris[t] >= w.size() || m.tris[t + 1] >= w.size() || m.tris[t + 2] >= w.size()) continue;
        const Vec3 &a = w[m.tris[t]], &b = w[m.tris[t + 1]], &c = w[m.tris[t + 2]];
        double det = (double(b[0]) - a[0]) * (double(c[2]) - a[2]) - (double(c[0]) - a[0]) * (double(b[2]) - a[2]);
        if (std::fabs(det) < 1e-12 || !std::isfinite(det)) continue;
        double lo = std::min({a[0], b[0], c[0]}), hi = std::max({a[0], b[0], c[0]});
        double lz = std::min({a[2], b[2], c[2]}), hz = std::max({a[2], b[2], c[2]});
        int i0 = std::max(0, int(std::ceil((lo - box.minX) / cell - 0.5)));
        int i1 = std::min(nx - 1, int(std::floor((hi - box.minX) / cell - 0.5)));
        int j0 = std::max(0, int(std::ceil((lz - box.minZ) / cell - 0.5)));
        int j1 = std::min(nz - 1, int(std::floor((hz - box.minZ) / cell - 0.5)));
        for (int j = j0; j <= j1; ++j)
          for (int i = i0; i <= i1; ++i) {
            double px = box.minX + (i + 0.5) * cell, pz = box.minZ + (j + 0.5) * cell;
            double u = ((px - a[0]) * (double(c[2]) - a[2]) - (double(c[0]) - a[0]) * (pz - a[2])) / det;
            double v = ((double(b[0]) - a[0]) * (pz - a[2]) - (px - a[0]) * (double(b[2]) - a[2])) / det;
            if (u < -1e-9 || v < -1e-9 || u + v > 1 + 1e-9) continue;
            double y = a[1] + u * (double(b[1]) - a[1]) + v * (double(c[1]) - a[1]);
            double& cellH = h[size_t(j) * size_t(nx) + size_t(i)];
            cellH = std::max(cellH, y);
          }
      }
    }
    double low = std::numeric_limits<double>::infinity(), high = -low;
    for (double v : h)
      if (v != none) low = std::min(low, v), high = std::max(high, v);
    if (!(low <= high)) return;
    *lowOut = low, *highOut = high;
    const double range = std::max(high - low, 1e-9);
    auto at = [&](int i, int j) {
      i = std::clamp(i, 0, nx - 1), j = std::clamp(j, 0, nz - 1);
      double v = h[size_t(j) * size_t(nx) + size_t(i)];
      return v;
    };
    out += "<g id=\"terrain\" shape-rendering=\"crispEdges\">\n";
    const double px = cell * scale;
    for (int j = 0; j < nz; ++j) {
      int runStart = -1;
      Rgb runColor{};
      auto flush = [&](int end) {
        if (runStart < 0) return;
        double x0 = X(box.minX + runStart * cell), y0 = Y(box.minZ + (j + 1) * cell);
        out += "<rect x=\"" + num(x0) + "\" y=\"" + num(y0) + "\" width=\"" + num((end - runStart) * px + 0.6) +
               "\" height=\"" + num(px + 0.6) + "\" fill=\"" + rgb(runColor) + "\"/>\n";
        runStart = -1;
      };
      for (int i = 0; i < nx; ++i) {
        double v = at(i, j);
        if (v == none) {
          flush(i);
          continue;
        }
        // Hill shading: light from the north-west, slopes exaggerated a little.
        double l = at(i - 1, j), r = at(i + 1, j), d = at(i, j - 1), u = at(i, j + 1);
        if (l == none) l = v;
        if (r == none) r = v;
        if (d == none) d = v;
        if (u == none) u = v;
        double gx = (r - l) / (2 * cell) * 1.5, gz = (u - d) / (2 * cell) * 1.5;
        double nlen = std::sqrt(gx * gx + gz * gz + 1);
        double lambert = (gx * 0.5 - gz * 0.5 + 0.7071) / nlen;  // light (-0.5, 0.7071, 0.5) per unit normal (-gx, 1, -gz)
        double shade = 0.6 + 0.45 * std::clamp(lambert, 0.0, 1.0);
        Rgb c = ramp((v - low) / range, shade);
        if (runStart >= 0 && c != runColor) flush(i);
        if (runStart < 0) runStart = i, runColor = c;
      }
      flush(nx);
    }
    out += "</g>\n";

    // Contour lines (marching squares between cell centres), ten levels.
    out += "<path id=\"contours\" fill=\"none\" stroke=\"#3a2f20\" stroke-opacity=\"0.35\" stroke-width=\"0.7\" d=\"";
    for (int level = 1; level < 10; ++level) {
      const double iso = low + range * level / 10.0;
      for (int j = 0; j + 1 < nz; ++j)
        for (int i = 0; i + 1 < nx; ++i) {
          double v[4] = {at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)};
          if (v[0] == none || v[1] == none || v[2] == none || v[3] == none) continue;
          double cx[4] = {double(i), double(i + 1), double(i + 1), double(i)};
          double cz[4] = {double(j), double(j), double(j + 1), double(j + 1)};
          std::vector<std::pair<double, double>> pts;
          for (int e = 0; e < 4; ++e) {
            int f = (e + 1) % 4;
            if ((v[e] < iso) == (v[f] < iso)) continue;
            double t = (iso - v[e]) / (v[f] - v[e]);
            pts.push_back({cx[e] + t * (cx[f] - cx[e]), cz[e] + t * (cz[f] - cz[e])});
          }
          for (size_t k = 0; k + 1 < pts.size(); k += 2) {
            auto wx = [&](double gi) { return X(box.minX + (gi + 0.5) * cell); };
            auto wz = [&](double gj) { return Y(box.minZ + (gj + 0.5) * cell); };
            out += 'M';
            out += num(wx(pts[k].first));
            out += ' ';
            out += num(wz(pts[k].second));
            out += 'L';
            out += num(wx(pts[k + 1].first));
            out += ' ';
            out += num(wz(pts[k + 1].second));
          }
        }
    }
    out += "\"/>\n";
  }

  void obstacles() {
    out += "<g id=\"obstacles\" fill=\"#ff8c1a\" fill-opacity=\"0.45\" stroke=\"#a04a00\" stroke-width=\"1.5\">\n";
    for (const RecordedCircle& c : run.obstacles)
      out += "<circle cx=\"" + num(X(c.global[0])) + "\" cy=\"" + num(Y(c.global[2])) + "\" r=\"" +
             num(c.radius * scale) + "\"><title>" + xml(c.name) + "</title></circle>\n";
    out += "</g>\n";
  }

  static std::string hue(size_t i, size_t n) {
    // Distinct but calm colours along the agents' order.
    double hdeg = 360.0 * double(i) / double(std::max<size_t>(n, 1));
    double c = 0.55, x = c * (1 - std::fabs(std::fmod(hdeg / 60.0, 2) - 1)), m = 0.2;
    double r = 0, g = 0, b = 0;
    int s = int(hdeg / 60) % 6;
    if (s == 0) r = c, g = x;
    else if (s == 1) r = x, g = c;
    else if (s == 2) g = c, b = x;
    else if (s == 3) g = x, b = c;
    else if (s == 4) r = x, b = c;
    else r = c, b = x;
    return rgb({uint8_t((r + m) * 255), uint8_t((g + m) * 255), uint8_t((b + m) * 255)});
  }

  void paths() {
    if (run.frames.empty()) return;
    const size_t n = run.agents.size();
    out += "<g id=\"paths\" fill=\"none\" stroke-width=\"1.6\" stroke-linejoin=\"round\" stroke-opacity=\"0.9\">\n";
    for (size_t a = 0; a < n; ++a) {
      std::string pts;
      double lastX = 1e300, lastY = 1e300;
      for (const FrameRecord& f : run.frames) {
        if (a >= f.agents.size()) continue;
        double x = X(f.agents[a].global[0]), y = Y(f.agents[a].global[2]);
        if (!std::isfinite(x) || !std::isfinite(y)) continue;
        if (std::fabs(x - lastX) + std::fabs(y - lastY) < 0.5) continue;  // sub-pixel steps add nothing
        pts += num(x) + "," + num(y) + " ";
        lastX = x, lastY = y;
      }
      out += "<polyline stroke=\"" + hue(a, n) + "\" points=\"" + pts + "\"><title>" + xml(run.agents[a].name) +
             "</title></polyline>\n";
    }
    out += "</g>\n";
    // Start dots and end arrows (pointing along the agent's forward axis).
    const FrameRecord& first = run.frames.front();
    const FrameRecord& last = run.frames.back();
    out += "<g id=\"starts\" fill=\"#ffffff\" stroke=\"#222\" stroke-width=\"1\">\n";
    for (size_t a = 0; a < n && a < first.agents.size(); ++a)
      out += "<circle cx=\"" + num(X(first.agents[a].global[0])) + "\" cy=\"" + num(Y(first.agents[a].global[2])) +
             "\" r=\"2.5\"/>\n";
    out += "</g>\n<g id=\"ends\" stroke=\"#111\" stroke-width=\"0.8\">\n";
    for (size_t a = 0; a < n && a < last.agents.size(); ++a) {
      const Mat12& m = last.agents[a].global;
      double fx = m[9], fz = m[11], len = std::hypot(fx, fz);
      if (!(len > 0)) fx = 0, fz = 1, len = 1;
      double dx = fx / len, dy = -fz / len;  // page direction of the forward axis
      double cx = X(m[0]), cy = Y(m[2]), s = 7;
      out += "<polygon fill=\"" + hue(a, n) + "\" points=\"" + num(cx + dx * s) + "," + num(cy + dy * s) + " " +
             num(cx - dx * s * 0.6 - dy * s * 0.55) + "," + num(cy - dy * s * 0.6 + dx * s * 0.55) + " " +
             num(cx - dx * s * 0.6 + dy * s * 0.55) + "," + num(cy - dy * s * 0.6 - dx * s * 0.55) + "\"/>\n";
    }
    out += "</g>\n";
  }

  // Where the crowd report found trouble: a cross at every agent-frame
  // inside an obstacle, and each stuck spell as the stretch of the agent's
  // path it covers, ringed where it began. One element per mark, so that the
  // marks can be counted against the report.
  size_t frameIndex(int frame) const {
    if (run.frames.empty()) return 0;
    return size_t(std::clamp<int64_t>(int64_t(frame) - run.frames.front().frame, 0, int64_t(run.frames.size()) - 1));
  }
  void events() {
    if (!report) return;
    out += "<g id=\"intrusions\" stroke=\"" + std::string(kindColour("intrusions")) +
           "\" stroke-width=\"2\" stroke-linecap=\"round\">\n";
    for (const TagReport& t : report->tags) {
      for (size_t i = 0; i < t.intrusions.size(); ++i) {
        const Intrusion& e = t.intrusions[i];
        // One mark per agent-frame, however many obstacles it is inside.
        if (i > 0 && t.intrusions[i - 1].frame == e.frame && t.intrusions[i - 1].agent == e.agent) continue;
        const FrameRecord& f = run.frames[frameIndex(e.frame)];
        if (size_t(e.agent) >= f.agents.size()) continue;
        const double x = X(f.agents[size_t(e.agent)].global[0]), y = Y(f.agents[size_t(e.agent)].global[2]);
        out += "<path class=\"intrusion\" d=\"M" + num(x - 3) + " " + num(y - 3) + "l6 6m0 -6l-6 6\"><title>" +
               xml(run.agents[size_t(e.agent)].name) + " inside " + xml(run.obstacles[size_t(e.obstacle)].name) +
               " at frame " + std::to_string(e.frame) + "</title></path>\n";
      }
    }
    out += "</g>\n<g id=\"stuck-spells\" fill=\"none\" stroke=\"" + std::string(kindColour("stuck")) +
           "\" stroke-width=\"4\" stroke-opacity=\"0.75\">\n";
    for (const TagReport& t : report->tags)
      for (const StuckSpell& e : t.stuck) {
        if (size_t(e.agent) >= run.frames[frameIndex(e.from)].agents.size()) continue;
        std::string pts;
        for (size_t k = frameIndex(e.from); k <= frameIndex(e.to); ++k) {
          if (size_t(e.agent) >= run.frames[k].agents.size()) continue;
          const Mat12& m = run.frames[k].agents[size_t(e.agent)].global;
          pts += num(X(m[0])) + "," + num(Y(m[2])) + " ";
        }
        const Mat12& s0 = run.frames[frameIndex(e.from)].agents[size_t(e.agent)].global;
        out += "<g class=\"stuck\"><title>" + xml(run.agents[size_t(e.agent)].name) + " stuck from frame " +
               std::to_string(e.from) + " to " + std::to_string(e.to) + "</title><polyline points=\"" + pts +
               "\"/><circle cx=\"" + num(X(s0[0])) + "\" cy=\"" + num(Y(s0[2])) + "\" r=\"6\"/></g>\n";
      }
    out += "</g>\n";
  }

  // The legend's key for the marks of a kind, or "" for a kind not marked.
  static std::string markKey(const ReportKind& k) {
    const std::string name = k.name, colour = k.colour;
    if (name == "intrusions") return "<path d=\"M10 -3l6 6m0 -6l-6 6\" stroke=\"" + colour + "\" stroke-width=\"2\"/>";
    if (name == "stuck")
      return "<path d=\"M0 0h26\" stroke=\"" + colour + "\" stroke-width=\"4\" stroke-opacity=\"0.75\"/>";
    return "";
  }
  static const char* kindColour(std::string_view name) {
    const ReportKind* k = reportKindByName(name);
    return k ? k->colour : "#000";
  }

  void targets() {
    out += "<g id=\"targets\" fill=\"none\" stroke=\"#d0103a\" stroke-width=\"2.5\">\n";
    for (const RecordedTrack& t : run.tracks) {
      if (t.global.empty()) continue;
      double cx = X(t.global.back()[0]), cy = Y(t.global.back()[2]);
      out += "<circle cx=\"" + num(cx) + "\" cy=\"" + num(cy) + "\" r=\"11\"/><circle cx=\"" + num(cx) + "\" cy=\"" +
             num(cy) + "\" r=\"4\" fill=\"#d0103a\"/>\n<text x=\"" + num(cx + 15) + "\" y=\"" + num(cy + 5) +
             "\" fill=\"#d0103a\" stroke=\"#fff\" stroke-width=\"3\" paint-order=\"stroke\" font-size=\"14\">" +
             xml(t.name) + "</text>\n";
    }
    out += "</g>\n";
  }

  void overlays() {
    if (run.frames.empty()) return;
    const FrameRecord& f = run.frames.back();
    out += "<g id=\"overlay-circles\" fill=\"none\" stroke-width=\"1\" stroke-opacity=\"0.7\">\n";
    for (const DrawnCircle& c : f.circles) {
      // The unit circle mapped by the circle's matrix, seen from above.
      const Mat12& m = c.m;
      out += "<circle r=\"1\" vector-effect=\"non-scaling-stroke\" stroke=\"" + rgb(c.color) + "\" transform=\"matrix(" +
             num(m[3] * scale) + " " + num(-m[5] * scale) + " " + num(m[6] * scale) + " " + num(-m[8] * scale) + " " +
             num(X(m[0])) + " " + num(Y(m[2])) + ")\"/>\n";
    }
    out += "</g>\n<g id=\"overlay-lines\" stroke-width=\"1.2\" stroke-linecap=\"round\">\n";
    for (const DrawnLine& l : f.lines) {
      std::string seg = "x1=\"" + num(X(l.a[0])) + "\" y1=\"" + num(Y(l.a[2])) + "\" x2=\"" + num(X(l.b[0])) +
                        "\" y2=\"" + num(Y(l.b[2])) + "\"";
      // A dark halo keeps white probes visible on light ground.
      out += "<line " + seg + " stroke=\"#000\" stroke-opacity=\"0.45\" stroke-width=\"2.6\"/><line " + seg +
             " stroke=\"" + rgb(l.color) + "\"/>\n";
    }
    out += "</g>\n";
  }

  void legend(double low, double high, bool haveTerrain) {
    double x = kMargin * 2 + width, y = kMargin;
    out += "<g id=\"legend\" font-family=\"sans-serif\" font-size=\"13\" fill=\"#222\">\n";
    out += "<rect x=\"" + num(x - 8) + "\" y=\"" + num(y - 8) + "\" width=\"" + num(kLegendWidth - 8) + "\" height=\"" +
           num(height + 16) + "\" fill=\"#fafaf7\" stroke=\"#bbb\"/>\n";
    auto text = [&](const std::string& s, double dy, const char* extra = "") {
      y += dy;
      out += "<text x=\"" + num(x) + "\" y=\"" + num(y) + "\"" + extra + ">" + xml(s) + "</text>\n";
    };
    text(run.sceneName.empty() ? "Kestrelwood run" : run.sceneName, 14, " font-size=\"17\" font-weight=\"bold\"");
    if (!run.frames.empty())
      text("frames " + std::to_string(run.frames.front().frame) + " to " + std::to_string(run.frames.back().frame) +
               " at " + std::to_string(run.fps) + " fps",
           20);
    text(std::to_string(run.agents.size()) + " agents, seen from above", 17);
    y += 10;
    auto key = [&](const std::string& shape, const std::string& label) {
      y += 22;
      out += "<g transform=\"translate(" + num(x) + " " + num(y - 5) + ")\">" + shape + "</g>\n";
      out += "<text x=\"" + num(x + 34) + "\" y=\"" + num(y) + "\">" + xml(label) + "</text>\n";
    };
    key("<polyline points=\"0,4 10,-3 20,2 26,-2\" fill=\"none\" stroke=\"#3973ac\" stroke-width=\"1.6\"/>",
        "agent's path");
    key("<circle cx=\"13\" cy=\"0\" r=\"2.5\" fill=\"#fff\" stroke=\"#222\"/>", "start");
    key("<polygon points=\"20,0 6,-5 6,5\" fill=\"#3973ac\" stroke=\"#111\" stroke-width=\"0.8\"/>",
        "last position and heading");
    key("<circle cx=\"13\" cy=\"0\" r=\"8\" fill=\"#ff8c1a\" fill-opacity=\"0.45\" stroke=\"#a04a00\" stroke-width=\"1.5\"/>",
        "obstacle (circle)");
    key("<circle cx=\"13\" cy=\"0\" r=\"7\" fill=\"none\" stroke=\"#d0103a\" stroke-width=\"2.5\"/>", "target");
    if (report) {
      // Each kind counted over the tags as the summary counts it, beside the
      // mark drawn for it; a kind the poster does not mark is a line of text.
      text("crowd report:", 28, " font-style=\"italic\"");
      for (const ReportKind& k : reportKinds()) {
        size_t n = 0;
        for (const TagReport& t : report->tags) n += k.count(t);
        const std::string shape = markKey(k);
        if (shape.empty()) text(countPhrase(k, n), 20, " font-size=\"12\"");
        else key(shape, countPhrase(k, n));
      }
    }
    text("overlays drawn at the last frame:", 28, " font-style=\"italic\"");
    key("<rect x=\"2\" y=\"-4\" width=\"22\" height=\"8\" fill=\"none\" stroke=\"#000\" stroke-opacity=\"0.45\" stroke-width=\"2.6\"/><rect x=\"2\" y=\"-4\" width=\"22\" height=\"8\" fill=\"none\" stroke=\"#fff\" stroke-width=\"1.2\"/>",
        "vision probe, clear");
    key("<rect x=\"2\" y=\"-4\" width=\"22\" height=\"8\" fill=\"none\" stroke=\"#f00\" stroke-width=\"1.2\"/>",
        "vision probe, sees an obstacle");
    key("<circle cx=\"13\" cy=\"0\" r=\"8\" fill=\"none\" stroke=\"#0f0\" stroke-width=\"1.2\"/>", "repulsion radius");
    key("<circle cx=\"13\" cy=\"0\" r=\"8\" fill=\"none\" stroke=\"#00f\" stroke-width=\"1.2\"/>", "alignment radius");
    if (haveTerrain) {
      y += 30;
      out += "<defs><linearGradient id=\"heights\" x1=\"0\" x2=\"1\">";
      for (int i = 0; i <= 10; ++i)
        out += "<stop offset=\"" + num(i / 10.0) + "\" stop-color=\"" + rgb(ramp(i / 10.0, 1.0)) + "\"/>";
      out += "</linearGradient></defs>\n<rect x=\"" + num(x) + "\" y=\"" + num(y - 12) +
             "\" width=\"200\" height=\"12\" fill=\"url(#heights)\" stroke=\"#888\"/>\n";
      char buf[96];
      std::snprintf(buf, sizeof buf, "terrain height %.4g to %.4g", low, high);
      text(buf, 18);
    }
    // Scale bar: a round length near a fifth of the map.
    {
      double world = (box.maxX - box.minX) / 5, p10 = std::pow(10.0, std::floor(std::log10(world)));
      double len = world / p10 >= 5 ? 5 * p10 : world / p10 >= 2 ? 2 * p10 : p10;
      y += 26;
      out += "<path d=\"M" + num(x) + " " + num(y) + "h" + num(len * scale) + "\" stroke=\"#222\" stroke-width=\"3\"/>\n";
      char buf[64];
      std::snprintf(buf, sizeof buf, "%g scene units", len);
      text(buf, 16);
    }
    if (!run.params.empty()) {
      text("parameters:", 26, " font-style=\"italic\"");
      int shown = 0;
      for (const RunRecord::Param& p : run.params) {
        if (y > kMargin + height - 14) {
          text("...", 15);
          break;
        }
        std::string label = (run.agents.empty() || run.params.back().tag == run.params.front().tag)
                                ? p.name + " = " + p.value
                                : "tag " + std::to_string(p.tag) + ": " + p.name + " = " + p.value;
        text(label, 15, " font-size=\"11.5\"");
        ++shown;
      }
    }
    out += "</g>\n";
  }

  std::string build() {
    bounds();
    const double W = width + kMargin * 3 + kLegendWidth, H = std::max(height, 560.0) + kMargin * 2;
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + num(W) + "\" height=\"" + num(H) + "\" viewBox=\"0 0 " +
           num(W) + " " + num(H) + "\">\n";
    out += "<title>" + xml(run.sceneName) + " seen from above</title>\n";
    out += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
    out += "<rect x=\"" + num(kMargin) + "\" y=\"" + num(kMargin) + "\" width=\"" + num(width) + "\" height=\"" +
           num(height) + "\" fill=\"#e8ecef\"/>\n";
    out += "<svg x=\"" + num(kMargin) + "\" y=\"" + num(kMargin) + "\" width=\"" + num(width) + "\" height=\"" +
           num(height) + "\" viewBox=\"" + num(kMargin) + " " + num(kMargin) + " " + num(width) + " " + num(height) +
           "\" overflow=\"hidden\">\n";
    double low = 0, high = 0;
    terrain(&low, &high);
    obstacles();
    overlays();
    paths();
    events();
    targets();
    out += "</svg>\n";
    out += "<rect x=\"" + num(kMargin) + "\" y=\"" + num(kMargin) + "\" width=\"" + num(width) + "\" height=\"" +
           num(height) + "\" fill=\"none\" stroke=\"#666\"/>\n";
    if (height < 560) height = 560;
    legend(low, high, !run.terrains.empty() && high >= low && !(low == 0 && high == 0 && run.terrains.empty()));
    out += "</svg>\n";
    return std::move(out);
  }
};

}  // namespace

std::string svgPoster(const RunRecord& run, const CrowdReport* report) { return Poster(run, report).build(); }

Result<void> writeSvgPoster(const RunRecord& run, const std::string& path, const CrowdReport* report) {
  return writeFileAtomically(path, svgPoster(run, report));
}

}  // namespace kwhost
