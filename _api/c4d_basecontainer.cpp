#include "c4d_basecontainer.h"

#include "c4d_nodes.h"
#include "c4d_os.h"

BaseContainer::BaseContainer() : h_(C4DOS.containers.create()), owned_(true) {}

BaseContainer::BaseContainer(const BaseContainer& other) : h_(C4DOS.containers.create()), owned_(true) {
  C4DOS.containers.copy_to(other.h_, h_);
}

BaseContainer::BaseContainer(BaseContainer&& other) noexcept : h_(other.h_), owned_(other.owned_) {
  other.h_ = nullptr;
  other.owned_ = false;
}

BaseContainer& BaseContainer::operator=(const BaseContainer& other) {
  if (this != &other) C4DOS.containers.copy_to(other.h_, h_);
  return *this;
}

BaseContainer::~BaseContainer() {
  if (owned_ && h_) C4DOS.containers.free(h_);
}

BaseContainer BaseContainer::Adopt(KwContainer* handle) { return BaseContainer(handle, true); }
BaseContainer BaseContainer::Borrow(KwContainer* handle) { return BaseContainer(handle, false); }

Bool BaseContainer::GetBool(LONG id, Bool preset) const { return C4DOS.containers.get_bool(h_, id, preset); }
LONG BaseContainer::GetLong(LONG id, LONG preset) const { return C4DOS.containers.get_long(h_, id, preset); }
Real BaseContainer::GetReal(LONG id, Real preset) const { return C4DOS.containers.get_real(h_, id, preset); }

Matrix BaseContainer::GetMatrix(LONG id, const Matrix& preset) const {
  Matrix m;
  C4DOS.containers.get_matrix(h_, id, ToKw(&preset), ToKw(&m));
  return m;
}

String BaseContainer::GetString(LONG id) const { return String::Adopt(C4DOS.containers.get_string(h_, id)); }

BaseObject* BaseContainer::GetObjectLink(LONG id, const BaseDocument* doc) const {
  return reinterpret_cast<BaseObject*>(
      C4DOS.containers.get_link(h_, id, reinterpret_cast<const KwDocument*>(doc)));
}

void BaseContainer::SetBool(LONG id, Bool v) { C4DOS.containers.set_bool(h_, id, v); }
void BaseContainer::SetLong(LONG id, LONG v) { C4DOS.containers.set_long(h_, id, v); }
void BaseContainer::SetReal(LONG id, Real v) { C4DOS.containers.set_real(h_, id, v); }
void BaseContainer::SetMatrix(LONG id, const Matrix& v) { C4DOS.containers.set_matrix(h_, id, ToKw(&v)); }
void BaseContainer::SetString(LONG id, const String& v) { C4DOS.containers.set_string(h_, id, v.Handle()); }
