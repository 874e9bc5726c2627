#include "core/host_table.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "core/allocator.h"
#include "core/call_scope.h"
#include "core/collider_ops.h"
#include "core/console.h"
#include "core/container.h"
#include "core/document.h"
#include "core/registry.h"
#include "core/resources.h"
#include "core/host_strings.h"
#include "core/viewport.h"

namespace kwhost {

namespace {

std::atomic<long> g_faults{0};

// Runs f; a C++ exception inside the host becomes a fault report and the
// operation's failure value, so nothing unwinds into the module.
template <class R, class F>
R guarded(const char* op, R failValue, F&& f) noexcept {
  try {
    return f();
  } catch (const std::exception& e) {
    reportTableFault(op, e.what());
  } catch (...) {
    reportTableFault(op, "unknown exception");
  }
  return failValue;
}

template <class F>
void guardedVoid(const char* op, F&& f) noexcept {
  try {
    f();
  } catch (const std::exception& e) {
    reportTableFault(op, e.what());
  } catch (...) {
    reportTableFault(op, "unknown exception");
  }
}

Object* asObject(KwNode* n) { return n && n->kind() == Node::Kind::Object ? static_cast<Object*>(n) : nullptr; }
Tag* asTag(KwNode* n) { return n && n->kind() == Node::Kind::Tag ? static_cast<Tag*>(n) : nullptr; }

// ---- memory
void* memAlloc(size_t size, int32_t line, const char* file) {
  return guarded("memory.alloc", static_cast<void*>(nullptr), [&] { return hostAlloc(size, line, file); });
}
void* memAllocNc(size_t size, int32_t line, const char* file) {
  return guarded("memory.alloc_nc", static_cast<void*>(nullptr), [&] { return hostAllocNoClear(size, line, file); });
}
void memFree(void* p) {
  guardedVoid("memory.free", [&] { hostFree(p); });
}

// ---- strings
KwString* strCreate(const char* utf8, int32_t length) {
  return guarded("strings.create", static_cast<KwString*>(nullptr), [&] {
    if (!utf8) return newString("");
    const size_t n = length < 0 ? std::strlen(utf8) : static_cast<size_t>(length);
    return newString(std::string_view(utf8, n));
  });
}
void strFree(KwString* s) {
  guardedVoid("strings.free", [&] { freeString(s); });
}
KwString* strConcat(const KwString* a, const KwString* b) {
  return guarded("strings.concat", static_cast<KwString*>(nullptr), [&] {
    std::string joined(view(a));
    joined += view(b);
    return newString(joined);
  });
}
KwString* strFromLong(int32_t v) {
  return guarded("strings.from_long", static_cast<KwString*>(nullptr), [&] { return newString(std::to_string(v)); });
}
int32_t strLength(const KwString* s) {
  return guarded("strings.length", 0, [&] {
    const size_t n = view(s).size();
    return n > INT32_MAX ? INT32_MAX : static_cast<int32_t>(n);
  });
}
int32_t strGetUtf8(const KwString* s, char* buf, int32_t cap) {
  return guarded("strings.get_utf8", 0, [&] {
    std::string_view v = view(s);
    if (buf && cap > 0) {
      const size_t k = std::min(v.size(), static_cast<size_t>(cap - 1));
      if (k) std::memcpy(buf, v.data(), k);
      buf[k] = '\0';
    }
    return v.size() > INT32_MAX ? INT32_MAX : static_cast<int32_t>(v.size());
  });
}
KwString* strCopy(const KwString* s) {
  return guarded("strings.copy", static_cast<KwString*>(nullptr), [&] { return newString(view(s)); });
}

// ---- file names
KwFilename* fnCreate() {
  return guarded("filenames.create", static_cast<KwFilename*>(nullptr), [&] { return newFilename(""); });
}
void fnFree(KwFilename* f) {
  guardedVoid("filenames.free", [&] { freeFilename(f); });
}
void fnCopyTo(const KwFilename* src, KwFilename* dst) {
  guardedVoid("filenames.copy_to", [&] {
    if (dst && dst != src) dst->path = src ? src->path : std::string();
  });
}
KwString* fnGetString(const KwFilename* f) {
  return guarded("filenames.get_string", static_cast<KwString*>(nullptr),
                 [&] { return newString(f ? std::string_view(f->path) : std::string_view()); });
}
void fnSetString(KwFilename* f, const KwString* s) {
  guardedVoid("filenames.set_string", [&] {
    if (f) f->path = std::string(view(s));
  });
}
void fnAddPart(KwFilename* f, const char* part) {
  guardedVoid("filenames.add_part", [&] {
    if (f && part) f->path = joinPath(f->path, part);
  });
}

// ---- containers
KwContainer* bcCreate() {
  return guarded("containers.create", static_cast<KwContainer*>(nullptr), [&] {
    auto* bc = new KwContainer();
    bc->account = currentAccount();
    bc->account->handleCreated();
    return bc;
  });
}
void bcFree(KwContainer* bc) {
  guardedVoid("containers.free", [&] {
    if (!bc) return;
    if (!bc->account) {
      // A node's own container (get_live_data) is never the caller's to free.
      reportTableFault("containers.free", "refused to free a node's own container");
      return;
    }
    bc->account->handleFreed();
    delete bc;
  });
}
void bcCopyTo(const KwContainer* src, KwContainer* dst) {
  guardedVoid("containers.copy_to", [&] {
    if (!dst || dst == src) return;
    if (src) dst->entries = src->entries;
    else dst->entries.clear();
  });
}
int32_t bcGetBool(const KwContainer* bc, int32_t id, int32_t def) {
  return guarded("containers.get_bool", def, [&] {
    if (!bc) return def;
    const EntryValue* v = bc->find(id);
    if (!v) return def;
    if (auto* b = std::get_if<bool>(v)) return *b ? 1 : 0;
    if (auto* l = std::get_if<int32_t>(v)) return *l != 0 ? 1 : 0;
    return def;
  });
}
int32_t bcGetLong(const KwContainer* bc, int32_t id, int32_t def) {
  return guarded("containers.get_long", def, [&] { return bc ? bc->getLong(id, def) : def; });
}
float bcGetReal(const KwContainer* bc, int32_t id, float def) {
  return guarded("containers.get_real", def, [&] { return bc ? bc->getReal(id, def) : def; });
}
void bcGetMatrix(const KwContainer* bc, int32_t id, const KwMatrix* def, KwMatrix* out) {
  guardedVoid("containers.get_matrix", [&] {
    if (!out) return;
    const KwMatrix d = def ? *def : identityMatrix();
    *out = bc ? bc->getMatrix(id, d) : d;
  });
}
KwNode* bcGetLink(const KwContainer* bc, int32_t id, const KwDocument* doc) {
  return guarded("containers.get_link", static_cast<KwNode*>(nullptr), [&]() -> KwNode* {
    if (!bc) return nullptr;
    KwNode* n = bc->getLink(id, doc);
    return asObject(n);  // links are to objects
  });
}
KwString* bcGetString(const KwContainer* bc, int32_t id) {
  return guarded("containers.get_string", static_cast<KwString*>(nullptr),
                 [&] { return newString(bc ? bc->getString(id) : std::string()); });
}
void bcSetBool(KwContainer* bc, int32_t id, int32_t v) {
  guardedVoid("containers.set_bool", [&] {
    if (bc) bc->setBool(id, v != 0);
  });
}
void bcSetLong(KwContainer* bc, int32_t id, int32_t v) {
  guardedVoid("containers.set_long", [&] {
    if (bc) bc->setLong(id, v);
  });
}
void bcSetReal(KwContainer* bc, int32_t id, float v) {
  guardedVoid("containers.set_real", [&] {
    if (bc) bc->setReal(id, v);
  });
}
void bcSetMatrix(KwContainer* bc, int32_t id, const KwMatrix* v) {
  guardedVoid("containers.set_matrix", [&] {
    if (bc && v) bc->setMatrix(id, *v);
  });
}
void bcSetLink(KwContainer* bc, int32_t id, KwNode* v) {
  guardedVoid("containers.set_link", [&] {
    if (bc) bc->setLink(id, v);
  });
}
void bcSetString(KwContainer* bc, int32_t id, const KwString* v) {
  guardedVoid("containers.set_string", [&] {
    if (bc) bc->setString(id, std::string(view(v)));
  });
}

// ---- nodes
KwDocument* nodeDocument(KwNode* n) {
  return guarded("nodes.get_document", static_cast<KwDocument*>(nullptr),
                 [&]() -> KwDocument* { return n ? n->document() : nullptr; });
}
KwNode* nodeDown(KwNode* n) {
  return guarded("nodes.get_down", static_cast<KwNode*>(nullptr), [&]() -> KwNode* {
    Object* o = asObject(n);
    return o ? o->firstChild() : nullptr;
  });
}
KwNode* nodeNext(KwNode* n) {
  return guarded("nodes.get_next", static_cast<KwNode*>(nullptr), [&]() -> KwNode* {
    if (Object* o = asObject(n)) return o->next();
    if (Tag* t = asTag(n)) return t->next();
    return nullptr;
  });
}
KwNode* nodeUp(KwNode* n) {
  return guarded("nodes.get_up", static_cast<KwNode*>(nullptr), [&]() -> KwNode* {
    Object* o = asObject(n);
    return o ? o->parent() : nullptr;
  });
}
int32_t nodeType(KwNode* n) {
  return guarded("nodes.get_type", 0, [&] { return n ? n->type() : 0; });
}
KwContainer* nodeData(KwNode* n) {
  return guarded("nodes.get_data", static_cast<KwContainer*>(nullptr), [&]() -> KwContainer* {
    if (!n) return nullptr;
    auto* bc = new KwContainer();
    bc->entries = n->data().entries;
    bc->account = currentAccount();
    bc->account->handleCreated();
    return bc;
  });
}
KwContainer* nodeLiveData(KwNode* n) {
  return guarded("nodes.get_live_data", static_cast<KwContainer*>(nullptr),
                 [&]() -> KwContainer* { return n ? &n->data() : nullptr; });
}
KwString* nodeName(KwNode* n) {
  return guarded("nodes.get_name", static_cast<KwString*>(nullptr),
                 [&] { return newString(n ? n->name() : std::string()); });
}

// ---- objects
void objGlobal(KwNode* op, KwMatrix* out) {
  guardedVoid("objects.get_global_matrix", [&] {
    if (!out) return;
    Object* o = asObject(op);
    *out = o ? o->globalMatrix() : identityMatrix();
  });
}
void objSetGlobal(KwNode* op, const KwMatrix* m, int32_t flag) {
  guardedVoid("objects.set_global_matrix", [&] {
    Object* o = asObject(op);
    if (o && m) o->setGlobalMatrix(*m, flag);
  });
}
void objRotation(KwNode* op, KwVector* out) {
  guardedVoid("objects.get_rotation", [&] {
    if (!out) return;
    Object* o = asObject(op);
    *out = o ? o->rotation() : KwVector{0, 0, 0};
  });
}
void objSetRotation(KwNode* op, const KwVector* v) {
  guardedVoid("objects.set_rotation", [&] {
    Object* o = asObject(op);
    if (o && v) o->setRotation(*v);
  });
}

// ---- documents
void docTime(const KwDocument* d, KwTime* out) {
  guardedVoid("documents.get_time", [&] {
    if (out) *out = d ? Document::from(d)->time() : KwTime{0.0, 1.0};
  });
}
void docMinTime(const KwDocument* d, KwTime* out) {
  guardedVoid("documents.get_min_time", [&] {
    if (out) *out = d ? Document::from(d)->minTime() : KwTime{0.0, 1.0};
  });
}
int32_t docFps(const KwDocument* d) {
  return guarded("documents.get_fps", 0, [&] { return d ? Document::from(d)->fps() : 0; });
}

// ---- colliders
KwCollider* rcAlloc() {
  return guarded("colliders.alloc", static_cast<KwCollider*>(nullptr), [&] { return colliderAlloc(); });
}
void rcFree(KwCollider* rc) {
  guardedVoid("colliders.free", [&] { colliderFree(rc); });
}
int32_t rcInit(KwCollider* rc, KwNode* op, int32_t force) {
  return guarded("colliders.init", 0, [&] { return colliderInit(rc, op, force); });
}
int32_t rcIntersect(KwCollider* rc, const KwVector* start, const KwVector* dir, float distance, int32_t onlyTest) {
  return guarded("colliders.intersect", 0, [&] { return colliderIntersect(rc, start, dir, distance, onlyTest); });
}
int32_t rcNearest(KwCollider* rc, KwRayColResult* out) {
  return guarded("colliders.get_nearest", 0, [&] { return colliderNearest(rc, out); });
}

// ---- drawing
void drawColor(KwDraw* bd, const KwVector* c) {
  guardedVoid("drawing.set_color", [&] {
    if (bd && c) RecordingViewport::from(bd)->setColor(*c);
  });
}
void drawLine(KwDraw* bd, const KwVector* a, const KwVector* b) {
  guardedVoid("drawing.line3d", [&] {
    if (bd && a && b) RecordingViewport::from(bd)->line(*a, *b);
  });
}
void drawCircle(KwDraw* bd, const KwMatrix* m) {
  guardedVoid("drawing.circle3d", [&] {
    if (bd && m) RecordingViewport::from(bd)->circle(*m);
  });
}
KwDocument* drawDocument(KwDrawHelp* bh) {
  return guarded("drawing.helper_document", static_cast<KwDocument*>(nullptr),
                 [&]() -> KwDocument* { return bh ? bh->document : nullptr; });
}

// ---- registry
int32_t regTag(int32_t id, const KwString* name, int32_t info, const KwTagFuncs* funcs, const char* description,
               const char* icon, int32_t disklevel) {
  return guarded("registry.register_tag", 0,
                 [&] { return registerTag(id, name, info, funcs, description, icon, disklevel); });
}
int32_t regLoadDescription(KwDescription* d, int32_t id) {
  return guarded("registry.load_description", 0, [&] { return loadDescription(d, id); });
}

// ---- messages
void msgPrint(const KwString* s) {
  guardedVoid("messages.print", [&] { Console::instance().print(view(s)); });
}
void msgEventAdd(int32_t flags) {
  guardedVoid("messages.event_add", [&] { Console::instance().eventAdd(flags); });
}
int32_t msgCommandLine(KwCommandLineArgs* out) {
  return guarded("messages.get_command_line_args", 0, [&] { return Console::instance().commandLine(out) ? 1 : 0; });
}

// ---- resources
KwResource* resLoad(const KwFilename* folder) {
  return guarded("resources.load", static_cast<KwResource*>(nullptr), [&]() -> KwResource* {
    if (!folder) {
      noteRefusal("resource: no folder given");
      return nullptr;
    }
    auto r = loadResource(folder->path);
    if (!r) {
      noteRefusal("resource: " + r.error());
      return nullptr;
    }
    auto* res = new KwResource(std::move(r.value()));
    res->account = currentAccount();
    res->account->handleCreated();
    return res;
  });
}
void resFree(KwResource* r) {
  guardedVoid("resources.free", [&] {
    if (!r) return;
    if (r->account) r->account->handleFreed();
    delete r;
  });
}
KwString* resLoadString(const KwResource* r, int32_t id) {
  return guarded("resources.load_string", static_cast<KwString*>(nullptr), [&] {
    if (r) {
      auto it = r->strings.find(id);
      if (it != r->strings.end()) return newString(it->second);
    }
    return newString("");
  });
}

}  // namespace

void reportTableFault(const char* operation, const char* what) {
  g_faults.fetch_add(1);
  std::fprintf(stderr, "kestrelwood host: fault in %s: %s\n", operation, what);
}

long tableFaults() { return g_faults.load(); }

C4D_OS makeHostTable() {
  C4D_OS t{};
  t.version = KW_HOST_VERSION;
  t.table_size = sizeof(C4D_OS);
  t.memory = {memAlloc, memAllocNc, memFree};
  t.strings = {strCreate, strFree, strConcat, strFromLong, strLength, strGetUtf8, strCopy};
  t.filenames = {fnCreate, fnFree, fnCopyTo, fnGetString, fnSetString, fnAddPart};
  t.containers = {bcCreate,  bcFree,      bcCopyTo,  bcGetBool,   bcGetLong,   bcGetReal,
                  bcGetMatrix, bcGetLink, bcGetString, bcSetBool, bcSetLong,   bcSetReal,
                  bcSetMatrix, bcSetLink, bcSetString};
  t.nodes = {nodeDocument, nodeDown, nodeNext, nodeUp, nodeType, nodeData, nodeLiveData, nodeName};
  t.objects = {objGlobal, objSetGlobal, objRotation, objSetRotation};
  t.documents = {docTime, docMinTime, docFps};
  t.colliders = {rcAlloc, rcFree, rcInit, rcIntersect, rcNearest};
  t.drawing = {drawColor, drawLine, drawCircle, drawDocument};
  t.registry = {regTag, regLoadDescription};
  t.messages = {msgPrint, msgEventAdd, msgCommandLine};
  t.resources = {resLoad, resFree, resLoadString};
  t.crash_handler = nullptr;
  return t;
}

}  // namespace kwhost
