// Scene nodes. These classes have no data of their own: a pointer to one is
// the host's node handle, and each method is one call through the table.
#ifndef KW_C4D_NODES_H
#define KW_C4D_NODES_H

#include "c4d_basecontainer.h"
#include "c4d_types.h"

class BaseDocument;

class GeListNode {
 public:
  BaseDocument* GetDocument();
  GeListNode* GetDown();
  GeListNode* GetNext();
  GeListNode* GetUp();
  LONG GetType();
  // A fresh copy of the node's parameters.
  BaseContainer GetData();
  // The node's own parameters: what is written there is saved with the scene.
  BaseContainer GetLiveData();

  KwNode* Handle() { return reinterpret_cast<KwNode*>(this); }
  static GeListNode* From(KwNode* n) { return reinterpret_cast<GeListNode*>(n); }

 protected:
  GeListNode() = default;
  ~GeListNode() = default;
};

class BaseList2D : public GeListNode {
 public:
  String GetName();

 protected:
  BaseList2D() = default;
};

class BaseObject : public BaseList2D {
 public:
  BaseObject* GetDown() { return static_cast<BaseObject*>(GeListNode::GetDown()); }
  BaseObject* GetNext() { return static_cast<BaseObject*>(GeListNode::GetNext()); }
  BaseObject* GetUp() { return static_cast<BaseObject*>(GeListNode::GetUp()); }

  Matrix GetMg();  // the global matrix, as the SDK spells it
  Matrix GetGlobalMatrix() { return GetMg(); }
  void SetGlobalMatrix(const Matrix& m, LONG flag);
  Vector GetRotation();
  void SetRotation(const Vector& v);

  static BaseObject* From(KwNode* n) { return reinterpret_cast<BaseObject*>(n); }

 protected:
  BaseObject() = default;
};

class BaseTag : public BaseList2D {
 protected:
  BaseTag() = default;
};

class PluginTag : public BaseTag {
 public:
  static PluginTag* From(KwNode* n) { return reinterpret_cast<PluginTag*>(n); }

 protected:
  PluginTag() = default;
};

// A moment of the document's timeline as a fraction.
class BaseTime {
 public:
  BaseTime() : numerator_(0.0), denominator_(1.0) {}
  BaseTime(LReal numerator, LReal denominator) : numerator_(numerator), denominator_(denominator) {}
  LReal GetNumerator() const { return numerator_; }
  LReal GetDenominator() const { return denominator_; }

 private:
  LReal numerator_;
  LReal denominator_;
};

class BaseDocument {
 public:
  BaseTime GetTime();
  BaseTime GetMinTime();
  LONG GetFps();

  static BaseDocument* From(KwDocument* d) { return reinterpret_cast<BaseDocument*>(d); }
  KwDocument* Handle() { return reinterpret_cast<KwDocument*>(this); }

 protected:
  BaseDocument() = default;
};

class BaseThread;

#endif
