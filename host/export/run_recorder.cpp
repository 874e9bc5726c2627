#include "export/run_recorder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/crowd_links.h"
#include "core/description.h"
#include "core/tag.h"

namespace kwhost {

namespace {

constexpr int kMaxStartSlots = 100;  // the tag's start table holds 100 pairs

Rgb toRgb(const KwVector& c) {
  auto ch = [](float v) {
    if (!(v > 0)) return uint8_t(0);
    if (v >= 255) return uint8_t(255);
    return uint8_t(std::lround(v));
  };
  return {ch(c.x), ch(c.y), ch(c.z)};
}

std::string realText(float v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", double(v));
  return buf;
}

}  // namespace

Mat12 toMat12(const KwMatrix& m) {
  return {m.off.x, m.off.y, m.off.z, m.v1.x, m.v1.y, m.v1.z, m.v2.x, m.v2.y, m.v2.z, m.v3.x, m.v3.y, m.v3.z};
}

void RunRecorder::begin(const Document& doc, std::string sceneName) {
  rec_ = RunRecord{};
  agents_.clear();
  tracks_.clear();
  rec_.sceneName = std::move(sceneName);
  rec_.fps = doc.fps();

  std::vector<const Object*> terrains, obstacles;
  auto indexOf = [](std::vector<const Object*>& v, const Object* o) {
    auto it = std::find(v.begin(), v.end(), o);
    if (it != v.end()) return int(it - v.begin());
    v.push_back(o);
    return int(v.size() - 1);
  };
  // Targets wait until every agent is known: a target that is an agent is
  // replayed as an agent, not as a track of its own.
  std::vector<std::pair<size_t, const Object*>> targets;
  for (const CrowdLinks& c : crowdTags(doc)) {
    const Container& data = c.tag->data();
    const DescriptionInfo* d = descriptionOf(*c.tag);
    RecordedCrowd crowd;
    crowd.tag = c.tagIndex;
    crowd.object = c.tag->object()->nameRef();
    crowd.repulsionRadius = data.getReal(paramId(d, "REPULSION_RADIUS", KW_KESTRELWOOD_REPULSION_RADIUS));
    // The agents, with their speeds from the stored start table.
    const int32_t countId = data.getLong(paramId(d, "START_COUNT_ID", KW_KESTRELWOOD_START_COUNT_ID));
    const int32_t count = countId != 0 ? std::min(data.getLong(countId), int32_t(kMaxStartSlots)) : 0;
    if (c.agentsGroup) {
      int index = 0;
      for (Object* a = c.agentsGroup->firstChild(); a; a = a->next(), ++index) {
        RecordedAgent ra;
        ra.name = a->nameRef();
        ra.tag = c.tagIndex;
        ra.index = index;
        ra.speed = index < count ? data.getReal(countId + 2 + 2 * index) : 0.0f;
        crowd.agents.push_back(int(rec_.agents.size()));
        rec_.agents.push_back(ra);
        agents_.push_back(a);
      }
    }
    if (c.terrain && c.terrain->type() == kTypePolygon) indexOf(terrains, c.terrain);
    if (c.obstaclesGroup)
      for (Object* o = c.obstaclesGroup->firstChild(); o; o = o->next())
        if (o->type() == kTypeCircle) crowd.obstacles.push_back(indexOf(obstacles, o));
    if (c.target) targets.emplace_back(rec_.crowds.size(), c.target);
    // Parameters for a legend: what the attribute panel shows.
    for (const DescriptionEntry& e : d->entries) {
      if (e.hidden || e.type == ParamType::Button || !data.has(e.id)) continue;
      std::string value;
      switch (e.type) {
        case ParamType::Real: value = realText(data.getReal(e.id)); break;
        case ParamType::Long: value = std::to_string(data.getLong(e.id)); break;
        case ParamType::Bool: value = data.getBool(e.id) ? "on" : "off"; break;
        case ParamType::Link: {
          KwNode* n = data.getLink(e.id, &doc);
          value = n ? n->name() : "(none)";
          break;
        }
        default: continue;
      }
      rec_.params.push_back({c.tagIndex, e.name, value});
    }
    rec_.crowds.push_back(std::move(crowd));
  }
  for (const Object* t : terrains) {
    RecordedMesh m;
    m.name = t->nameRef();
    m.global = toMat12(t->globalMatrix());
    m.points.reserve(t->points().size());
    for (const KwVector& p : t->points()) m.points.push_back({p.x, p.y, p.z});
    m.tris = t->triangles();
    rec_.terrains.push_back(std::move(m));
  }
  for (const Object* o : obstacles) rec_.obstacles.push_back({o->nameRef(), toMat12(o->globalMatrix()), o->radius()});
  for (const auto& [crowd, target] : targets) {
    auto agent = std::find(agents_.begin(), agents_.end(), target);
    if (agent != agents_.end()) {
      rec_.crowds[crowd].targetAgent = int(agent - agents_.begin());
      continue;
    }
    auto track = std::find(tracks_.begin(), tracks_.end(), target);
    if (track == tracks_.end()) track = tracks_.insert(tracks_.end(), target);
    rec_.crowds[crowd].targetTrack = int(track - tracks_.begin());
  }
  for (const Object* t : tracks_) rec_.tracks.push_back({t->nameRef(), {}});
}

void RunRecorder::addFrame(int frame, const DrawPass* pass) {
  FrameRecord f;
  f.frame = frame;
  f.agents.reserve(agents_.size());
  for (const Object* a : agents_) {
    const KwVector& r = a->rotation();
    f.agents.push_back({toMat12(a->globalMatrix()), {r.x, r.y, r.z}});
  }
  for (size_t i = 0; i < tracks_.size(); ++i) rec_.tracks[i].global.push_back(toMat12(tracks_[i]->globalMatrix()));
  if (pass) {
    f.lines.reserve(pass->lines.size());
    for (const RecordedLine& l : pass->lines)
      f.lines.push_back({{l.a.x, l.a.y, l.a.z}, {l.b.x, l.b.y, l.b.z}, toRgb(l.color), l.tag});
    f.circles.reserve(pass->circles.size());
    for (const RecordedCircle3D& c : pass->circles) f.circles.push_back({toMat12(c.m), toRgb(c.color), c.tag});
  }
  rec_.frames.push_back(std::move(f));
}

}  // namespace kwhost
