#include "c4d_nodes.h"

#include "c4d_os.h"

BaseDocument* GeListNode::GetDocument() { return BaseDocument::From(C4DOS.nodes.get_document(Handle())); }
GeListNode* GeListNode::GetDown() { return From(C4DOS.nodes.get_down(Handle())); }
GeListNode* GeListNode::GetNext() { return From(C4DOS.nodes.get_next(Handle())); }
GeListNode* GeListNode::GetUp() { return From(C4DOS.nodes.get_up(Handle())); }
LONG GeListNode::GetType() { return C4DOS.nodes.get_type(Handle()); }
BaseContainer GeListNode::GetData() { return BaseContainer::Adopt(C4DOS.nodes.get_data(Handle())); }
BaseContainer GeListNode::GetLiveData() { return BaseContainer::Borrow(C4DOS.nodes.get_live_data(Handle())); }

String BaseList2D::GetName() { return String::Adopt(C4DOS.nodes.get_name(Handle())); }

Matrix BaseObject::GetMg() {
  Matrix m;
  C4DOS.objects.get_global_matrix(Handle(), ToKw(&m));
  return m;
}

void BaseObject::SetGlobalMatrix(const Matrix& m, LONG flag) { C4DOS.objects.set_global_matrix(Handle(), ToKw(&m), flag); }

Vector BaseObject::GetRotation() {
  Vector v;
  C4DOS.objects.get_rotation(Handle(), ToKw(&v));
  return v;
}

void BaseObject::SetRotation(const Vector& v) { C4DOS.objects.set_rotation(Handle(), ToKw(&v)); }

BaseTime BaseDocument::GetTime() {
  KwTime t;
  C4DOS.documents.get_time(Handle(), &t);
  return BaseTime(t.numerator, t.denominator);
}

BaseTime BaseDocument::GetMinTime() {
  KwTime t;
  C4DOS.documents.get_min_time(Handle(), &t);
  return BaseTime(t.numerator, t.denominator);
}

LONG BaseDocument::GetFps() { return C4DOS.documents.get_fps(Handle()); }
