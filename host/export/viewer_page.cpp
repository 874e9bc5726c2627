#include "export/viewer_page.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "core/atomic_file.h"
#include "export/run_record_check.h"
#include "export/view_geometry.h"

#ifndef KW_VIEWER_TEMPLATE
#error "KW_VIEWER_TEMPLATE names the page template the build makes"
#endif

namespace kwhost {
namespace {

// Where the template wants the run's data.
constexpr const char* kDataMarker = "<!--KW-RUN-DATA-->";

// The overlay kinds, told apart by the pen colour the tag draws them with.
enum Kind : uint8_t { kProbe = 0, kRepulsion = 1, kAlignment = 2, kOther = 3 };

Kind kindOf(const Rgb& c) {
  if ((c == Rgb{255, 0, 0}) || (c == Rgb{255, 255, 255})) return kProbe;
  if (c == Rgb{0, 255, 0}) return kRepulsion;
  if (c == Rgb{0, 0, 255}) return kAlignment;
  return kOther;
}

std::string base64(const void* data, size_t n) {
  static const char* t = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const auto* p = static_cast<const unsigned char*>(data);
  std::string out;
  out.reserve((n + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 2 < n; i += 3) {
    const uint32_t v = (uint32_t(p[i]) << 16) | (uint32_t(p[i + 1]) << 8) | p[i + 2];
    out += t[v >> 18];
    out += t[(v >> 12) & 63];
    out += t[(v >> 6) & 63];
    out += t[v & 63];
  }
  if (i < n) {
    const uint32_t v = (uint32_t(p[i]) << 16) | (i + 1 < n ? uint32_t(p[i + 1]) << 8 : 0);
    out += t[v >> 18];
    out += t[(v >> 12) & 63];
    out += i + 1 < n ? t[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

// The typed arrays are written as the machine holds them; the page reads
// them little-endian, as every machine we build for is.
static_assert(std::endian::native == std::endian::little, "the page's arrays are little-endian");

class Page {
 public:
  template <class T>
  void blob(const std::string& id, const std::vector<T>& v) {
    out_ << "<script type=\"application/octet-stream\" id=\"kw-" << id << "\">" << base64(v.data(), v.size() * sizeof(T))
         << "</script>\n";
  }
  void json(const std::string& id, const nlohmann::json& j) {
    // "</script" would close the element and "<!--" would change how the
    // parser reads on, in any name a scene or report holds: every "<" goes
    // as "\u003c", the same JSON string (it only occurs inside strings).
    std::string s = j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    std::string safe;
    safe.reserve(s.size());
    for (char c : s) {
      if (c == '<') safe += "\\u003c";
      else safe += c;
    }
    out_ << "<script type=\"application/json\" id=\"kw-" << id << "\">" << safe << "</script>\n";
  }
  std::string str() const { return out_.str(); }

 private:
  std::ostringstream out_;
};

nlohmann::json vec(const Vec3& v) { return nlohmann::json::array({v[0], v[1], v[2]}); }

Result<void> addTerrains(const RunRecord& run, Page* page, nlohmann::json* meta) {
  nlohmann::json list = nlohmann::json::array();
  for (const RecordedMesh& t : run.terrains) {
    if (t.points.empty() || t.tris.empty()) continue;
    auto viewed = view::terrainToView(t);
    if (!viewed) return fail(viewed.error());
    const view::ViewMesh& vm = *viewed;
    // Points quantised to 16 bits per axis over the terrain's box: 6 bytes a
    // point instead of 12, a 65535th of the extent (15 cm over 10 km).
    std::vector<uint16_t> q(vm.positions.size() * 3);
    for (size_t i = 0; i < vm.positions.size(); ++i) {
      for (int k = 0; k < 3; ++k) {
        const double ext = double(vm.max[k]) - vm.min[k];
        const double u = ext > 0 ? (double(vm.positions[i][k]) - vm.min[k]) / ext : 0.0;
        q[i * 3 + k] = uint16_t(std::lround(std::clamp(u, 0.0, 1.0) * 65535.0));
      }
    }
    std::vector<int8_t> n(vm.normals.size() * 3);
    for (size_t i = 0; i < vm.normals.size(); ++i) {
      for (int k = 0; k < 3; ++k) n[i * 3 + k] = int8_t(std::lround(std::clamp(vm.normals[i][k], -1.0f, 1.0f) * 127.0f));
    }
    const std::string id = "terrain-" + std::to_string(list.size());
    page->blob(id + "-pos", q);
    page->blob(id + "-nrm", n);
    page->blob(id + "-idx", vm.indices);
    list.push_back({{"name", t.name},
                    {"id", id},
                    {"points", vm.positions.size()},
                    {"indices", vm.indices.size()},
                    {"min", vec(vm.min)},
                    {"max", vec(vm.max)}});
  }
  (*meta)["terrains"] = list;
  return {};
}

void addOverlays(const RunRecord& run, Page* page, nlohmann::json* meta) {
  std::vector<float> lines, circles;
  std::vector<uint8_t> lineRgb, lineKind, circleRgb, circleKind;
  std::vector<uint32_t> lineStart{0}, circleStart{0};
  for (const FrameRecord& f : run.frames) {
    for (const DrawnLine& l : f.lines) {
      const Vec3 a = view::toView(l.a), b = view::toView(l.b);
      lines.insert(lines.end(), {a[0], a[1], a[2], b[0], b[1], b[2]});
      lineRgb.insert(lineRgb.end(), l.color.begin(), l.color.end());
      lineKind.push_back(kindOf(l.color));
    }
    lineStart.push_back(uint32_t(lineKind.size()));
    for (const DrawnCircle& c : f.circles) {
      // Centre and the two radius vectors, mirrored like any point.
      const Vec3 o = view::toView({c.m[0], c.m[1], c.m[2]});
      const Vec3 v1 = view::toView({c.m[3], c.m[4], c.m[5]});
      const Vec3 v2 = view::toView({c.m[6], c.m[7], c.m[8]});
      circles.insert(circles.end(), {o[0], o[1], o[2], v1[0], v1[1], v1[2], v2[0], v2[1], v2[2]});
      circleRgb.insert(circleRgb.end(), c.color.begin(), c.color.end());
      circleKind.push_back(kindOf(c.color));
    }
    circleStart.push_back(uint32_t(circleKind.size()));
  }
  page->blob("lines", lines);
  page->blob("line-rgb", lineRgb);
  page->blob("line-kind", lineKind);
  page->blob("line-start", lineStart);
  page->blob("circles", circles);
  page->blob("circle-rgb", circleRgb);
  page->blob("circle-kind", circleKind);
  page->blob("circle-start", circleStart);
  std::array<bool, 4> present{};
  for (uint8_t k : lineKind) present[k] = true;
  for (uint8_t k : circleKind) present[k] = true;
  (*meta)["overlayKinds"] = {{"probe", present[kProbe]},
                             {"repulsion", present[kRepulsion]},
                             {"alignment", present[kAlignment]},
                             {"other", present[kOther]}};
}

// The run's data as the page's script elements.
Result<std::string> buildData(const RunRecord& run, const std::string& glbName, const nlohmann::json& report) {
  if (auto ok = checkRunRecord(run); !ok) return fail(ok.error());
  if (!report.is_null() && !report.is_object())
    return fail(std::string("the crowd report is a JSON ") + report.type_name() + ", not an object");
  Page page;
  nlohmann::json meta;
  meta["format"] = "kestrelwood-viewer/1";
  meta["scene"] = run.sceneName;
  meta["fps"] = run.fps;
  meta["glb"] = glbName;
  nlohmann::json frames = nlohmann::json::array();
  for (const FrameRecord& f : run.frames) frames.push_back(f.frame);
  meta["frames"] = frames;
  nlohmann::json agents = nlohmann::json::array();
  for (const RecordedAgent& a : run.agents) {
    agents.push_back({{"name", a.name}, {"tag", a.tag}, {"index", a.index}, {"speed", a.speed}});
  }
  meta["agents"] = agents;
  nlohmann::json params = nlohmann::json::array();
  for (const RunRecord::Param& p : run.params) params.push_back({{"tag", p.tag}, {"name", p.name}, {"value", p.value}});
  meta["params"] = params;
  nlohmann::json obstacles = nlohmann::json::array();
  for (const RecordedCircle& c : run.obstacles) {
    obstacles.push_back({{"name", c.name}, {"centre", vec(view::offsetToView(c.global))}, {"radius", c.radius}});
  }
  meta["obstacles"] = obstacles;
  nlohmann::json tracks = nlohmann::json::array();
  for (const RecordedTrack& t : run.tracks) tracks.push_back(t.name);
  meta["tracks"] = tracks;

  const float size = view::markerLength(run);
  const view::Marker mk = view::agentMarker(size);
  nlohmann::json mp = nlohmann::json::array(), mn = nlohmann::json::array();
  for (size_t i = 0; i < mk.positions.size(); ++i) {
    for (int k = 0; k < 3; ++k) {
      mp.push_back(mk.positions[i][k]);
      mn.push_back(mk.normals[i][k]);
    }
  }
  meta["marker"] = {{"length", size}, {"positions", mp}, {"normals", mn}};

  // Agents: per frame, per agent, the global matrix as the scene holds it
  // (12 floats, off v1 v2 v3) and its rotation (heading, pitch, bank): the
  // page mirrors the matrix itself and shows the scene's own numbers.
  std::vector<float> states;
  states.reserve(run.frames.size() * run.agents.size() * 15);
  for (const FrameRecord& f : run.frames) {
    for (const AgentState& a : f.agents) {
      states.insert(states.end(), a.global.begin(), a.global.end());
      states.insert(states.end(), a.hpb.begin(), a.hpb.end());
    }
  }
  page.blob("agents", states);
  std::vector<float> trackPos;
  for (const RecordedTrack& t : run.tracks) {
    for (const Mat12& g : t.global) {
      const Vec3 p = view::offsetToView(g);
      trackPos.insert(trackPos.end(), p.begin(), p.end());
    }
  }
  page.blob("tracks", trackPos);
  if (auto ok = addTerrains(run, &page, &meta); !ok) return fail(ok.error());
  addOverlays(run, &page, &meta);
  page.json("meta", meta);
  if (report.is_object()) page.json("report", report);
  return page.str();
}

bool readFile(const std::string& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  *out = s.str();
  return bool(in) || in.eof();
}

}  // namespace

std::string viewerTemplatePath() {
  const char* env = std::getenv("KESTRELWOOD_VIEWER_TEMPLATE");
  if (env && *env) return env;
  return KW_VIEWER_TEMPLATE;
}

Result<void> writeViewer(const RunRecord& run, const std::string& dir, const std::string& glbName,
                         const nlohmann::json& report) {
  const std::string tplPath = viewerTemplatePath();
  std::string tpl;
  if (!readFile(tplPath, &tpl))
    return fail("the viewer page template " + tplPath + " is missing (the build makes it when node and npm are installed)");
  const size_t at = tpl.find(kDataMarker);
  if (at == std::string::npos) return fail(tplPath + ": not a viewer page template (no " + kDataMarker + ")");
  const std::string page = (std::filesystem::path(dir) / "index.html").string();
  auto data = buildData(run, glbName, report);
  if (!data) return fail(page + ": " + data.error());
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) return fail(dir + ": cannot create the folder: " + ec.message());
  const size_t rest = at + std::strlen(kDataMarker);
  std::string text;
  text.reserve(tpl.size() + data->size());
  text.append(tpl, 0, at).append(*data).append(tpl, rest, std::string::npos);
  return writeFileAtomically(page, text);
}

}  // namespace kwhost
