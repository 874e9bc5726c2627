// A document of the substitute host with the tag's rules run in process: the
// module's table pointer is bound to a host table, and a null object stands
// in for the tag's node (it carries the tag's container).
#ifndef KW_TESTS_MODULE_SCENE_FIXTURE_H
#define KW_TESTS_MODULE_SCENE_FIXTURE_H

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Kestrelwood.h"
#include "core/document.h"
#include "core/host_table.h"
#include "core/object.h"

inline Vector FromKw(const KwVector& v) { return Vector(v.x, v.y, v.z); }
inline Matrix FromKw(const KwMatrix& m) { return Matrix(FromKw(m.off), FromKw(m.v1), FromKw(m.v2), FromKw(m.v3)); }
inline KwMatrix ToKwMatrix(const Matrix& m) {
  return KwMatrix{{m.off.x, m.off.y, m.off.z}, {m.v1.x, m.v1.y, m.v1.z}, {m.v2.x, m.v2.y, m.v2.z}, {m.v3.x, m.v3.y, m.v3.z}};
}

class SceneTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  kwhost::Object* Add(const std::string& name, int32_t type = kwhost::kTypeNull, kwhost::Object* parent = nullptr);
  kwhost::Object* AddAt(const std::string& name, Vector pos, Vector rot = Vector(), kwhost::Object* parent = nullptr,
                        int32_t type = kwhost::kTypeNull);
  kwhost::Object* AddCircle(const std::string& name, Vector pos, float radius, kwhost::Object* parent);
  // A flat square of half size h in the object's local X-Z plane at y = 0.
  kwhost::Object* AddPlane(const std::string& name, float h);
  // n agents under group in a row along X, spacing apart, heading 0.
  std::vector<kwhost::Object*> AddAgents(kwhost::Object* group, int n, float spacing);
  void Link(int32_t id, kwhost::Object* obj);
  void SetReal(int32_t id, float v) { holder_->data().setReal(id, v); }
  KwContainer& Params() { return holder_->data(); }

  // The tag's calls.
  LONG Execute(int32_t frame);
  Bool Press();
  Bool Draw(kwhost::RecordingViewport& vp);

  static BaseObject* B(kwhost::Object* o) { return BaseObject::From(o); }
  static Matrix Mg(kwhost::Object* o) { return B(o)->GetGlobalMatrix(); }

  C4D_OS table_{};
  std::unique_ptr<kwhost::Document> doc_;
  kwhost::Object* holder_ = nullptr;  // carries the tag's container
  Kestrelwood* tag_ = nullptr;
};

#endif
