// A node's parameters: typed entries addressed by 32-bit identifiers.
#ifndef KW_C4D_BASECONTAINER_H
#define KW_C4D_BASECONTAINER_H

#include "c4d_string.h"
#include "c4d_types.h"

class BaseDocument;
class BaseObject;

class BaseContainer {
 public:
  BaseContainer();  // a new, empty container
  BaseContainer(const BaseContainer& other);
  BaseContainer& operator=(const BaseContainer& other);
  BaseContainer(BaseContainer&& other) noexcept;
  ~BaseContainer();

  Bool GetBool(LONG id, Bool preset = FALSE) const;
  LONG GetLong(LONG id, LONG preset = 0) const;
  Real GetReal(LONG id, Real preset = 0.0f) const;
  Matrix GetMatrix(LONG id, const Matrix& preset = Matrix()) const;
  String GetString(LONG id) const;
  // The linked object when it exists in doc, else null.
  BaseObject* GetObjectLink(LONG id, const BaseDocument* doc) const;

  void SetBool(LONG id, Bool v);
  void SetLong(LONG id, LONG v);
  void SetReal(LONG id, Real v);
  void SetMatrix(LONG id, const Matrix& v);
  void SetString(LONG id, const String& v);

  // Takes over a copy the host made, or borrows a node's own container.
  static BaseContainer Adopt(KwContainer* handle);
  static BaseContainer Borrow(KwContainer* handle);

 private:
  BaseContainer(KwContainer* handle, bool owned) : h_(handle), owned_(owned) {}
  KwContainer* h_;
  bool owned_;
};

#endif
