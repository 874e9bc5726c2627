// Plug-in node classes. A tag type derives from TagData and overrides the
// host operations it needs; the host reaches them through a table of thunks
// that RegisterTagPlugin hands over.
#ifndef KW_C4D_NODEDATA_H
#define KW_C4D_NODEDATA_H

#include "c4d_basedraw.h"
#include "c4d_description.h"
#include "c4d_nodes.h"

class HyperFile;
class AliasTrans;
class BranchInfo;
class GeData;
class DescID;

// Result of TagData::Execute when all went well.
#define EXECUTION_RESULT_OK KW_EXECUTION_RESULT_OK

// Tag info flags.
#define TAG_VISIBLE KW_TAG_VISIBLE
#define TAG_EXPRESSION KW_TAG_EXPRESSION

class BaseData {
 public:
  virtual ~BaseData() {}
};

// Slots in the order of the host's table; every default answers as the host
// does for a node that does not override it.
class NodeData : public BaseData {
 public:
  ~NodeData() override {}
  virtual Bool Init(GeListNode* node);
  virtual void Free(GeListNode* node);
  virtual Bool Read(GeListNode* node, HyperFile* hf, LONG level);
  virtual Bool Write(GeListNode* node, HyperFile* hf);
  virtual Bool Message(GeListNode* node, LONG type, void* data);
  virtual Bool CopyTo(NodeData* dest, GeListNode* snode, GeListNode* dnode, LONG flags, AliasTrans* trn);
  virtual void GetBubbleHelp(GeListNode* node, String& str);
  virtual BaseDocument* GetDocument(GeListNode* node);
  virtual LONG GetBranchInfoEx(GeListNode* node, BranchInfo* info, LONG max, ULONG flags);
  virtual LONG GetBranchInfo(GeListNode* node, BranchInfo* info, LONG max);
  virtual Bool IsInstanceOf(const GeListNode* node, LONG type) const;
  virtual Bool GetDDescription(GeListNode* node, Description* description, LONG& flags);
  virtual Bool GetDParameter(GeListNode* node, const DescID& id, GeData& t_data, LONG& flags);
  virtual Bool GetDEnabling(GeListNode* node, const DescID& id, const GeData& t_data, LONG flags,
                            const BaseContainer* itemdesc);
  virtual Bool SetDParameter(GeListNode* node, const DescID& id, const GeData& t_data, LONG& flags);
  virtual Bool TranslateDescID(GeListNode* node, const DescID& id, DescID& res_id, GeListNode*& res_at);
  virtual Bool IsDocumentRelated(const GeListNode* node, Bool& docrelated) const;
};

class TagData : public NodeData {
 public:
  virtual Bool Draw(PluginTag* tag, BaseObject* op, BaseDraw* bd, BaseDrawHelp* bh);
  virtual LONG Execute(PluginTag* tag, BaseDocument* doc, BaseObject* op, BaseThread* bt, LONG priority,
                       LONG flags);
  virtual Bool AddToExecution(PluginTag* tag, void* list);
};

typedef NodeData* DataAllocator();

// Registers a tag type with the host; icon is a file in the module's res folder.
Bool RegisterTagPlugin(LONG id, const String& str, LONG info, DataAllocator* g, const String& description,
                       const String& icon, LONG disklevel);

#endif
