#include "c4d_nodedata.h"

#include "c4d_memory.h"
#include "c4d_os.h"

Bool NodeData::Init(GeListNode*) { return TRUE; }
void NodeData::Free(GeListNode*) {}
Bool NodeData::Read(GeListNode*, HyperFile*, LONG) { return TRUE; }
Bool NodeData::Write(GeListNode*, HyperFile*) { return TRUE; }
Bool NodeData::Message(GeListNode*, LONG, void*) { return TRUE; }
Bool NodeData::CopyTo(NodeData*, GeListNode*, GeListNode*, LONG, AliasTrans*) { return TRUE; }
void NodeData::GetBubbleHelp(GeListNode*, String&) {}
BaseDocument* NodeData::GetDocument(GeListNode* node) { return node->GetDocument(); }
LONG NodeData::GetBranchInfoEx(GeListNode*, BranchInfo*, LONG, ULONG) { return 0; }
LONG NodeData::GetBranchInfo(GeListNode*, BranchInfo*, LONG) { return 0; }
Bool NodeData::IsInstanceOf(const GeListNode*, LONG) const { return FALSE; }
Bool NodeData::GetDDescription(GeListNode*, Description*, LONG&) { return TRUE; }
Bool NodeData::GetDParameter(GeListNode*, const DescID&, GeData&, LONG&) { return TRUE; }
Bool NodeData::GetDEnabling(GeListNode*, const DescID&, const GeData&, LONG, const BaseContainer*) { return TRUE; }
Bool NodeData::SetDParameter(GeListNode*, const DescID&, const GeData&, LONG&) { return TRUE; }
Bool NodeData::TranslateDescID(GeListNode*, const DescID&, DescID&, GeListNode*&) { return FALSE; }
Bool NodeData::IsDocumentRelated(const GeListNode*, Bool& docrelated) const {
  docrelated = TRUE;
  return TRUE;
}

Bool TagData::Draw(PluginTag*, BaseObject*, BaseDraw*, BaseDrawHelp*) { return TRUE; }
LONG TagData::Execute(PluginTag*, BaseDocument*, BaseObject*, BaseThread*, LONG, LONG) { return EXECUTION_RESULT_OK; }
Bool TagData::AddToExecution(PluginTag*, void*) { return FALSE; }

namespace {

// The host calls a tag type through these plain functions; each forwards to
// the virtual operation of the instance.
TagData* Tag(void* instance) { return static_cast<TagData*>(static_cast<NodeData*>(instance)); }

void* ThunkCreate(const void* type_data) {
  DataAllocator* alloc = *static_cast<DataAllocator* const*>(type_data);
  return alloc ? static_cast<void*>(alloc()) : nullptr;
}

void ThunkDestroy(void* instance) { delete static_cast<NodeData*>(instance); }

int32_t ThunkInit(void* instance, KwNode* node) { return Tag(instance)->Init(GeListNode::From(node)); }

int32_t ThunkMessage(void* instance, KwNode* node, int32_t type, void* data) {
  return Tag(instance)->Message(GeListNode::From(node), type, data);
}

int32_t ThunkDescription(void* instance, KwNode* node, KwDescription* description, int32_t* flags) {
  LONG f = *flags;
  Bool ok = Tag(instance)->GetDDescription(GeListNode::From(node), reinterpret_cast<Description*>(description), f);
  *flags = f;
  return ok;
}

int32_t ThunkDraw(void* instance, KwNode* tag, KwNode* op, KwDraw* bd, KwDrawHelp* bh) {
  return Tag(instance)->Draw(PluginTag::From(tag), BaseObject::From(op), reinterpret_cast<BaseDraw*>(bd),
                             reinterpret_cast<BaseDrawHelp*>(bh));
}

int32_t ThunkExecute(void* instance, KwNode* tag, KwDocument* doc, KwNode* op, KwThread* thread, int32_t priority,
                     int32_t flags) {
  return Tag(instance)->Execute(PluginTag::From(tag), BaseDocument::From(doc), BaseObject::From(op),
                                reinterpret_cast<BaseThread*>(thread), priority, flags);
}

// One slot per registered type; a module registers a handful at most.
const int kMaxTypes = 8;
DataAllocator* g_allocators[kMaxTypes];
KwTagFuncs g_funcs[kMaxTypes];
int g_types = 0;

}  // namespace

Bool RegisterTagPlugin(LONG id, const String& str, LONG info, DataAllocator* g, const String& description,
                       const String& icon, LONG disklevel) {
  if (g_types >= kMaxTypes) return FALSE;
  int slot = g_types;
  g_allocators[slot] = g;
  KwTagFuncs& f = g_funcs[slot];
  f.create = ThunkCreate;
  f.destroy = ThunkDestroy;
  f.init = ThunkInit;
  f.message = ThunkMessage;
  f.get_ddescription = ThunkDescription;
  f.draw = ThunkDraw;
  f.execute = ThunkExecute;
  f.type_data = &g_allocators[slot];

  // Names cross the table as plain bytes.
  CHAR desc[128];
  CHAR iconName[128];
  description.GetCString(desc, sizeof(desc));
  icon.GetCString(iconName, sizeof(iconName));
  Bool ok = C4DOS.registry.register_tag(id, str.Handle(), info, &f, desc, iconName, disklevel);
  if (ok) ++g_types;
  return ok;
}
