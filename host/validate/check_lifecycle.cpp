// Checks of the module as a whole: loading and unloading, the entry's
// actions and their order, the plug-in messages, and what it registers.
#include <cstring>
#include <filesystem>

#include "core/console.h"
#include "core/evaluate.h"
#include "core/host_strings.h"
#include "core/registry.h"
#include "core/resources.h"
#include "validate/checks.h"
#include "validate/crowd_scene.h"
#include "validate/tag_contract.h"

namespace kwhost::validate {

namespace {

std::string str(int64_t v) { return std::to_string(v); }

// New console lines since `from`.
std::vector<std::string> linesSince(size_t from) {
  auto all = Console::instance().lines();
  if (from >= all.size()) return {};
  return std::vector<std::string>(all.begin() + long(from), all.end());
}

std::string quoted(const std::vector<std::string>& lines) {
  std::string s = "[";
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i) s += ", ";
    s += "\"";
    for (char c : lines[i]) s += c == '\x01' ? std::string("\\x01") : std::string(1, c);
    s += "\"";
  }
  return s + "]";
}

}  // namespace

void checkRepeatedLoad(const ValidatorOptions& o, Probe& p) {
  const int cycles = 2 + o.strictness;
  for (int i = 0; i < cycles && !p.failed(); ++i) {
    auto m = loadModule(o, p);
    if (!m) return;
    if (!p.require(findTagType(kTagId) != nullptr, "cycle " + str(i) + ": the tag type is not registered after the start"))
      return;
    {
      Document doc;
      CrowdLayout l;
      l.agents = 5;
      auto crowd = buildCrowd(doc, l);
      if (!p.require(crowd.ok(), "cycle " + str(i) + ": " + (crowd.ok() ? "" : crowd.error()))) return;
      for (int f = 0; f <= 3; ++f) evaluateFrame(doc, f);
      std::string where;
      p.require(agentsFinite(crowd.value(), &where), "cycle " + str(i) + ": " + where);
    }
    unloadModule(std::move(m), p);
    p.require(findTagType(kTagId) == nullptr, "cycle " + str(i) + ": the tag type is still registered after unloading");
  }
}

void checkLifecycle(const ValidatorOptions& o, Probe& p) {
  // An old host is refused, and nothing the refusal made stays behind.
  {
    LoadOptions old;
    old.hostVersion = 11499;
    auto m = Module::open(o.modulePath, old);
    if (!p.require(m.ok(), m.ok() ? "" : m.error())) return;
    const Account* account = &m.value()->account();
    Module& mod = *m.value();
    p.require(mod.call(KW_ACTION_VERSION, nullptr, nullptr, nullptr) == 3, "action 4 before action 1 does not answer 3");
    const int32_t r = mod.call(KW_ACTION_INIT, &mod.table(), nullptr, mod.folderHandle());
    p.require(r == -3, "host version 11499: action 1 answered " + str(r) + " instead of -3");
    m.value().reset();
    p.require(account->snapshot().liveBlocks == 0, "the refused initialisation left module blocks live");
  }
  {
    auto m = Module::open(o.modulePath);
    if (!p.require(m.ok(), m.ok() ? "" : m.error())) return;
    Module& mod = *m.value();
    const int32_t r = mod.call(KW_ACTION_INIT, &mod.table(), nullptr, nullptr);
    p.require(r == -3, "action 1 without a module path answered " + str(r) + " instead of -3");
  }
  auto opened = Module::open(o.modulePath);
  if (!p.require(opened.ok(), opened.ok() ? "" : opened.error())) return;
  Module& mod = *opened.value();
  const Account& account = mod.account();
  for (int32_t action : {0, 5, 7, 100, -1}) {
    const int32_t r = mod.call(action, nullptr, nullptr, nullptr);
    p.require(r == -1, "unknown action " + str(action) + " answered " + str(r) + " instead of -1");
  }
  int32_t r = mod.call(KW_ACTION_INIT, &mod.table(), nullptr, mod.folderHandle());
  p.require(r == 1, "the first action 1 answered " + str(r));
  r = mod.call(KW_ACTION_INIT, &mod.table(), nullptr, mod.folderHandle());
  p.require(r == 1, "a second action 1 answered " + str(r));
  p.require(mod.message(KW_PLUGINMSG_INIT_RESOURCE, nullptr) == 1, "plug-in message 1 (resource) answered FALSE");
  p.require(mod.call(KW_ACTION_START, nullptr, nullptr, nullptr) == 1, "action 2 (start) failed");
  p.require(findTagType(kTagId) != nullptr, "the start registered no tag type " + str(kTagId));
  p.require(mod.call(KW_ACTION_VERSION, nullptr, nullptr, nullptr) == 3, "action 4 does not answer 3 after the start");
  const int64_t started = account.snapshot().liveBlocks;
  p.require(started > 0, "the started module holds no block (its path and resource should be live)");
  r = mod.call(KW_ACTION_END, nullptr, nullptr, nullptr);
  p.require(r == 1, "the first action 3 answered " + str(r));
  p.require(account.snapshot().liveBlocks == started,
            "the first of two ends already freed the module's state (" + str(started) + " -> " +
                str(account.snapshot().liveBlocks) + " live blocks): init counting is broken");
  unregisterModule(mod.context());
  r = mod.call(KW_ACTION_END, nullptr, nullptr, nullptr);
  p.require(r == 1, "the second action 3 answered " + str(r));
  const AccountSnapshot s = account.snapshot();
  p.require(s.liveBlocks == 0, "after the last end " + str(s.liveBlocks) + " module block(s) are still live");
  opened.value().reset();
  p.require(account.snapshot().liveBlocks == 0 && account.snapshot().badFrees == 0,
            "unloading the ended module freed or left blocks it should not have");
}

void checkPluginMessages(const ValidatorOptions& o, Probe& p) {
  Console& console = Console::instance();
  const auto savedArgs = console.arguments();
  console.setArguments({"kestrelwood", "validate"});
  size_t mark = console.lines().size();
  auto m = loadModule(o, p);
  console.setArguments(savedArgs);
  if (!m) return;
  const std::string expectCount = "\x01" "COMMANDLINE number of arguments: 2";
  bool printed = false;
  for (const auto& l : linesSince(mark)) printed = printed || l == expectCount;
  p.require(printed, "the start did not print \\x01COMMANDLINE number of arguments: 2; it printed " +
                         quoted(linesSince(mark)));

  const AccountSnapshot before = m->account().snapshot();
  mark = console.lines().size();
  p.require(m->message(0, nullptr) == 1, "message 0 did not answer TRUE");
  p.require(m->message(KW_PLUGINMSG_INIT_RESOURCE, nullptr) == 1, "a second message 1 did not answer TRUE");
  for (int32_t id : {1001, -5, 2, 999999}) p.require(m->message(id, nullptr) == -1, "unknown message " + str(id) + " did not answer FALSE");
  p.require(m->message(KW_PLUGINMSG_EDIT_IMAGE, nullptr) == -1, "message 1003 without a record did not answer FALSE");
  p.require(linesSince(mark).empty(), "messages 0, 1, unknown ones and 1003 without a record printed " + quoted(linesSince(mark)));

  char a0[] = "kestrelwood", a1[] = "--help", a2[] = "-SDK", a3[] = "-sdk", a4[] = "--HELP";
  char* argv[] = {a0, a1, nullptr, a2, a3, a4};
  KwCommandLineArgs args{6, argv};
  mark = console.lines().size();
  p.require(m->message(KW_PLUGINMSG_COMMANDLINE, &args) == -1, "message 1002 did not answer FALSE");
  const auto got = linesSince(mark);
  const std::vector<std::string> want = {"\x01-SDK is here :-)", "\x01-SDK executed:-)"};
  p.require(got == want, "message 1002 with --help and -SDK printed " + quoted(got) + " instead of " + quoted(want));
  p.require(argv[3] == nullptr, "message 1002 did not clear the -SDK argument");
  p.require(argv[0] == a0 && argv[1] == a1 && argv[4] == a3 && argv[5] == a4,
            "message 1002 changed arguments other than -SDK");

  KwCommandLineArgs none{0, nullptr};
  mark = console.lines().size();
  p.require(m->message(KW_PLUGINMSG_COMMANDLINE, &none) == -1, "message 1002 with no arguments did not answer FALSE");
  p.require(linesSince(mark).empty(), "message 1002 with no arguments printed something");

  KwFilename image{"/tmp/kestrelwood-validate.tif", nullptr};
  KwImageEditRecord handled{&image, 1};
  mark = console.lines().size();
  p.require(m->message(KW_PLUGINMSG_EDIT_IMAGE, &handled) == -1, "message 1003 did not answer FALSE");
  p.require(linesSince(mark).empty(), "message 1003 for a handled image printed " + quoted(linesSince(mark)));
  KwImageEditRecord fresh{&image, 0};
  p.require(m->message(KW_PLUGINMSG_EDIT_IMAGE, &fresh) == -1, "message 1003 did not answer FALSE");
  const std::vector<std::string> hook = {"C4DSDK - Edit Image Hook: /tmp/kestrelwood-validate.tif"};
  p.require(linesSince(mark) == hook, "message 1003 printed " + quoted(linesSince(mark)) + " instead of " + quoted(hook));
  p.require(fresh.handled == 0 && fresh.image == &image, "message 1003 changed the image record");

  const AccountSnapshot after = m->account().snapshot();
  p.require(after.liveBlocks == before.liveBlocks && after.liveHandles == before.liveHandles,
            "the messages leaked: live blocks " + str(before.liveBlocks) + " -> " + str(after.liveBlocks) +
                ", live handles " + str(before.liveHandles) + " -> " + str(after.liveHandles));
  unloadModule(std::move(m), p);
}

void checkRegistration(const ValidatorOptions& o, Probe& p) {
  auto m = loadModule(o, p);
  if (!m) return;
  auto type = findTagType(kTagId);
  if (!p.require(type != nullptr, "no tag type " + str(kTagId) + " is registered")) return unloadModule(std::move(m), p);
  auto res = loadResource(m->folder());
  if (p.require(res.ok(), "the module's res/ folder cannot be read: " + (res.ok() ? std::string() : res.error()))) {
    auto it = res.value().strings.find(kDisplayNameString);
    const std::string name = it == res.value().strings.end() ? std::string() : it->second;
    p.require(!name.empty(), "the string table has no display name " + str(kDisplayNameString));
    p.require(type->name == name, "the tag is registered as \"" + type->name + "\", not its string " +
                                      str(kDisplayNameString) + " \"" + name + "\"");
  }
  p.require(type->info == kTagInfo, "tag info flags are " + str(type->info) + ", not 9 (visible, expression)");
  p.require(type->description == "Tkestrelwoodexp", "the description is \"" + type->description + "\"");
  p.require(type->icon == "kestrelwood.tif", "the icon is \"" + type->icon + "\"");
  p.require(type->diskLevel == 0, "the disk level is " + str(type->diskLevel));
  p.require(isTiffFile(joinPath(type->resFolder, type->icon)), "the icon is no TIFF image");

  // The description the attribute panel shows: every user parameter with its type.
  struct Want {
    int32_t id;
    ParamType type;
  };
  const Want want[] = {{kAgentsGroup, ParamType::Link},     {kTarget, ParamType::Link},
                       {kObstaclesGroup, ParamType::Link},  {kTerrain, ParamType::Link},
                       {kVisionLength, ParamType::Real},    {kVisionHalfWidth, ParamType::Real},
                       {kAvoidAngle, ParamType::Real},      {kSpeed, ParamType::Real},
                       {kTargetWeight, ParamType::Real},    {kRepulsionWeight, ParamType::Real},
                       {kAlignmentWeight, ParamType::Real}, {kRepulsionRadius, ParamType::Real},
                       {kAlignmentRadius, ParamType::Real}, {kSpeedVariation, ParamType::Real},
                       {kMaxPitchStep, ParamType::Real},    {kRecordStart, ParamType::Button},
                       {kShowVision, ParamType::Bool},      {kShowRepulsion, ParamType::Bool},
                       {kShowAlignment, ParamType::Bool}};
  for (const Want& w : want) {
    const DescriptionEntry* e = type->parsed.find(w.id);
    if (!p.require(e != nullptr, "the description has no parameter " + str(w.id))) continue;
    p.require(e->type == w.type, "parameter " + str(w.id) + " (" + e->name + ") is a " + paramTypeName(e->type) +
                                     ", not a " + paramTypeName(w.type));
  }
  for (const DefaultEntry& d : kDefaults) {
    const DescriptionEntry* e = type->parsed.find(d.id);
    if (e && e->def && !d.isBool)
      p.require(float(*e->def) == d.value, "the description's default of " + e->name + " is " + std::to_string(*e->def) +
                                               ", the tag's own is " + std::to_string(d.value));
  }
  {
    Document doc;
    auto holder = doc.createObject("Holder", kTypeNull);
    auto tag = holder ? createTag(*holder.value(), kTagId) : Result<Tag*>(Error{holder.error()});
    if (p.require(tag.ok(), tag.ok() ? "" : tag.error())) {
      int32_t flags = 0;
      auto d = tag.value()->description(&flags);
      p.require(d.ok(), "GetDDescription failed: " + (d.ok() ? std::string() : d.error()));
      p.require((flags & 2) != 0, "GetDDescription did not set the loaded flag 2 (flags " + str(flags) + ")");
    }
  }
  unloadModule(std::move(m), p);
}

}  // namespace kwhost::validate
