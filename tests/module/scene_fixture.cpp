#include "scene_fixture.h"

#include "core/evaluate.h"
#include "core/viewport.h"

void SceneTest::SetUp() {
  table_ = kwhost::makeHostTable();
  t_C4DOS = &table_;
  doc_ = std::make_unique<kwhost::Document>();
  ASSERT_TRUE(doc_->setTimeline(30, 0, 1000).ok());
  holder_ = Add("TagHolder");
  tag_ = static_cast<Kestrelwood*>(Kestrelwood::Alloc());
  ASSERT_NE(tag_, nullptr);
  tag_->Init(GeListNode::From(holder_));
  // The shared table starts from zero in every test.
  for (auto& rec : VistaHelper) rec = TVistaHelper{};
}

void SceneTest::TearDown() {
  delete tag_;
  doc_.reset();
  t_C4DOS = nullptr;
}

kwhost::Object* SceneTest::Add(const std::string& name, int32_t type, kwhost::Object* parent) {
  auto r = doc_->createObject(name, type, parent);
  EXPECT_TRUE(r.ok()) << r.error();
  return r.ok() ? r.value() : nullptr;
}

kwhost::Object* SceneTest::AddAt(const std::string& name, Vector pos, Vector rot, kwhost::Object* parent,
                                 int32_t type) {
  kwhost::Object* o = Add(name, type, parent);
  o->setPSR(KwVector{pos.x, pos.y, pos.z}, KwVector{rot.x, rot.y, rot.z}, KwVector{1, 1, 1});
  return o;
}

kwhost::Object* SceneTest::AddCircle(const std::string& name, Vector pos, float radius, kwhost::Object* parent) {
  kwhost::Object* o = AddAt(name, pos, Vector(), parent, kwhost::kTypeCircle);
  o->data().setReal(kwhost::kCircleRadiusId, radius);
  return o;
}

kwhost::Object* SceneTest::AddPlane(const std::string& name, float h) {
  kwhost::Object* o = Add(name, kwhost::kTypePolygon);
  std::vector<KwVector> pts = {{-h, 0, -h}, {h, 0, -h}, {h, 0, h}, {-h, 0, h}};
  EXPECT_TRUE(o->setMesh(pts, {{0, 3, 2, 1}}).ok());  // normal +Y
  return o;
}

void SceneTest::Link(int32_t id, kwhost::Object* obj) { holder_->data().setLink(id, obj); }

LONG SceneTest::Execute(int32_t frame) {
  doc_->setFrame(frame);
  return tag_->Execute(PluginTag::From(holder_), BaseDocument::From(doc_->handle()), nullptr, nullptr, 0, 0);
}

Bool SceneTest::Press() {
  DescriptionCommand dc;
  dc.id = DescID(RECORD_START);
  return tag_->Message(GeListNode::From(holder_), MSG_DESCRIPTION_COMMAND, &dc);
}

Bool SceneTest::Draw(kwhost::RecordingViewport& vp) {
  KwDrawHelp bh;
  bh.document = doc_->handle();
  return tag_->Draw(PluginTag::From(holder_), nullptr, reinterpret_cast<BaseDraw*>(vp.handle()),
                    reinterpret_cast<BaseDrawHelp*>(&bh));
}

std::vector<kwhost::Object*> SceneTest::AddAgents(kwhost::Object* group, int n, float spacing) {
  std::vector<kwhost::Object*> out;
  for (int i = 0; i < n; ++i) out.push_back(AddAt("Agent" + std::to_string(i), Vector(spacing * float(i), 0, 0), Vector(), group));
  return out;
}
