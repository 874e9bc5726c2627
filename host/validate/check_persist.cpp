// A scene saved with its recorded tag and read back: the reloaded tag's
// container is the saved one, entry for entry and bit for bit, and its fresh
// instance regains the start state from the stored pairs.
#include <cstring>
#include <filesystem>
#include <variant>

#include <unistd.h>

#include "core/evaluate.h"
#include "validate/checks.h"
#include "validate/crowd_scene.h"
#include "validate/tag_contract.h"

#include "scene/scene_file.h"

namespace kwhost::validate {

namespace {

std::string str(int64_t v) { return std::to_string(v); }

// Entries equal by type and bits; links by the name of the linked object.
bool sameEntry(const EntryValue& a, const EntryValue& b) {
  if (a.index() != b.index()) return false;
  if (const auto* la = std::get_if<LinkValue>(&a)) {
    const Node* na = liveNode(la->serial);
    const Node* nb = liveNode(std::get<LinkValue>(b).serial);
    return (na == nullptr) == (nb == nullptr) && (!na || na->name() == nb->name());
  }
  if (const auto* fa = std::get_if<float>(&a)) return std::memcmp(fa, &std::get<float>(b), sizeof(float)) == 0;
  if (const auto* ma = std::get_if<KwMatrix>(&a)) return sameBits(*ma, std::get<KwMatrix>(b));
  if (const auto* ba = std::get_if<bool>(&a)) return *ba == std::get<bool>(b);
  if (const auto* ia = std::get_if<int32_t>(&a)) return *ia == std::get<int32_t>(b);
  return std::get<std::string>(a) == std::get<std::string>(b);
}

Crowd findCrowd(Document& doc, const std::string& prefix) {
  Crowd c;
  c.holder = doc.find(prefix + "Crowd");
  c.group = doc.find(prefix + "Agents");
  c.target = doc.find(prefix + "Target");
  if (c.holder && !c.holder->tags().empty()) c.tag = c.holder->tags().front().get();
  return c;
}

}  // namespace

void checkSaveReload(const ValidatorOptions& o, Probe& p) {
  auto m = loadModule(o, p);
  if (!m) return;
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path dir = fs::temp_directory_path(ec) / ("kestrelwood-validate-" + std::to_string(::getpid()));
  fs::create_directories(dir, ec);
  const std::string file = (dir / "crowd.kwscene.json").string();
  {
    Document doc;
    CrowdLayout l;
    l.agents = 9;
    l.obstacles = 2;
    l.terrain = true;
    auto built = buildCrowd(doc, l);
    if (!p.require(built.ok(), built.ok() ? "" : built.error())) return unloadModule(std::move(m), p);
    const Crowd& c = built.value();
    const auto recorded = agentMatrices(c);
    for (int f = 1; f <= 7; ++f) evaluateFrame(doc, f);
    auto saved = scene::writeSceneFile(doc, file);
    if (!p.require(saved.ok(), "saving failed: " + (saved.ok() ? std::string() : saved.error())))
      return unloadModule(std::move(m), p);
    auto loaded = scene::readSceneFile(file);
    if (!p.require(loaded.ok(), "reading the saved scene failed: " + (loaded.ok() ? std::string() : loaded.error())))
      return unloadModule(std::move(m), p);
    Document& doc2 = *loaded.value().doc;
    p.require(loaded.value().recordStart.empty(), "the saved scene asks for a RECORD_START press on reload");
    Crowd c2 = findCrowd(doc2, l.prefix);
    if (!p.require(c2.tag && c2.group, "the reloaded scene lost the crowd, its group or its tag"))
      return unloadModule(std::move(m), p);
    const auto& e1 = c.tag->data().entries;
    const auto& e2 = c2.tag->data().entries;
    p.require(e1.size() == e2.size(), "the reloaded container has " + str(int64_t(e2.size())) + " entries, the saved one " +
                                          str(int64_t(e1.size())));
    for (const auto& [id, v] : e1) {
      auto it = e2.find(id);
      if (!p.require(it != e2.end(), "entry " + str(id) + " was lost by saving")) break;
      if (!p.require(sameEntry(v, it->second), "entry " + str(id) + " reads back different")) break;
    }
    p.require(largestOffsetDistance(agentMatrices(c), agentMatrices(c2)) == 0.0,
              "the agents' positions changed by saving and reloading");
    evaluateFrame(doc2, doc2.minFrame());
    const auto restored = agentMatrices(c2);
    for (size_t i = 0; i < restored.size() && i < recorded.size(); ++i)
      p.require(sameBits(restored[i], recorded[i]), "reloaded agent " + str(int64_t(i)) + " did not regain its start matrix");
    // Both documents from the start: the same steps, bit for bit.
    evaluateFrame(doc, 0);
    for (int f = 1; f <= 5; ++f) {
      evaluateFrame(doc, f);
      evaluateFrame(doc2, f);
    }
    const auto a = agentMatrices(c), b = agentMatrices(c2);
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
      if (!p.require(sameBits(a[i], b[i]), "after 5 steps from the start, reloaded agent " + str(int64_t(i)) +
                                               " differs from the original"))
        break;
  }
  fs::remove_all(dir, ec);
  unloadModule(std::move(m), p);
}

}  // namespace kwhost::validate
