// Tags of the real module in host documents: defaults, copies, the button,
// evaluation and drawing, and a clean account after the module's end.
#include <cmath>
#include <cstring>

#include "core/document.h"
#include "core/evaluate.h"
#include "core/registry.h"
#include "module_test.h"

namespace {

constexpr int32_t kTagId = 1019785;

class TagTest : public kwtest::ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    start();
    doc_ = std::make_unique<kwhost::Document>();
    holder_ = doc_->createObject("Holder", kwhost::kTypeNull).value();
  }
  void TearDown() override {
    doc_.reset();
    ModuleTest::TearDown();
  }
  kwhost::Tag* newTag(kwhost::Object* on = nullptr) {
    auto t = kwhost::createTag(on ? *on : *holder_, kTagId);
    EXPECT_TRUE(t) << t.error();
    return t ? t.value() : nullptr;
  }
  // A group of n agents in a row along X and a target far ahead along +Z.
  kwhost::Object* flock(int n) {
    kwhost::Object* g = doc_->createObject("Flock", kwhost::kTypeNull).value();
    for (int i = 0; i < n; ++i) {
      kwhost::Object* a = doc_->createObject("Agent" + std::to_string(i), kwhost::kTypeNull, g).value();
      a->setPosition({static_cast<float>(i) * 1000.0f, 0, 0});
    }
    kwhost::Object* target = doc_->createObject("Target", kwhost::kTypeNull).value();
    target->setPosition({0, 0, 100000});
    return g;
  }
  std::unique_ptr<kwhost::Document> doc_;
  kwhost::Object* holder_ = nullptr;
};

uint32_t bits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, 4);
  return u;
}

TEST_F(TagTest, NewTagHoldsExactlyTheElevenDefaults) {
  kwhost::Tag* t = newTag();
  ASSERT_NE(t, nullptr);
  const KwContainer& c = t->data();
  const std::map<int32_t, float> reals = {{1003, 1000.0f}, {1004, 200.0f}, {1005, 0.7854f}, {1006, 20.0f},
                                          {1007, 10.0f},   {1008, 20.0f},  {1009, 1.0f},    {1011, 200.0f},
                                          {1012, 800.0f},  {1022, 0.0f}};
  EXPECT_EQ(c.entries.size(), 11u);
  for (auto [id, v] : reals) {
    ASSERT_TRUE(c.has(id)) << id;
    EXPECT_EQ(kwhost::entryType(*c.find(id)), kwhost::EntryType::Real) << id;
    EXPECT_EQ(bits(c.getReal(id)), bits(v)) << id;
  }
  ASSERT_TRUE(c.has(1019));
  EXPECT_FALSE(c.getBool(1019, true));
  EXPECT_EQ(bits(c.getReal(1005)), bits(0.7854f));
  EXPECT_NE(bits(c.getReal(1005)), bits(static_cast<float>(3.14159265358979323846 / 4)));
  for (int32_t absent : {1000, 1001, 1002, 1016, 1017, 1018, 1020, 1021, 1023, 1024, 1025, 1026})
    EXPECT_FALSE(c.has(absent)) << absent;
  EXPECT_EQ(t->name(), "Kestrelwood");
  EXPECT_EQ(t->type(), kTagId);
}

TEST_F(TagTest, CopyKeepsTheContainerWithAFreshInstance) {
  kwhost::Tag* t = newTag();
  t->data().setReal(1006, 55.0f);
  t->data().setBool(1016, true);
  kwhost::Object* other = doc_->createObject("Other", kwhost::kTypeNull).value();
  auto copy = kwhost::copyTag(*t, *other);
  ASSERT_TRUE(copy) << copy.error();
  EXPECT_NE(copy.value()->instance(), t->instance());
  EXPECT_TRUE(kwhost::sameEntries(copy.value()->data(), t->data()));
  EXPECT_EQ(copy.value()->object(), other);
}

TEST_F(TagTest, RecordStartStoresTheStartTableAndTheFlockMoves) {
  kwhost::Object* g = flock(3);
  kwhost::Tag* t = newTag();
  t->data().setLink(1000, g);
  t->data().setLink(1001, doc_->find("Target"));
  const int64_t events = kwhost::Console::instance().events();
  ASSERT_TRUE(kwhost::pressButton(*t, 1010));
  EXPECT_EQ(kwhost::Console::instance().events(), events + 1);
  EXPECT_TRUE(t->data().getBool(1019));
  EXPECT_EQ(t->data().getLong(1020), 1024);
  EXPECT_EQ(t->data().getLong(1024), 100);
  EXPECT_EQ(t->data().getMatrix(1025 + 2).off.x, 1000.0f);  // agent 1's start matrix
  EXPECT_EQ(t->data().getReal(1026), 20.0f);
  // Another button changes nothing.
  KwContainer before = t->data();
  EXPECT_TRUE(kwhost::pressButton(*t, 1009));
  EXPECT_TRUE(kwhost::sameEntries(t->data(), before));

  kwhost::Object* a0 = g->firstChild();
  EXPECT_EQ(kwhost::evaluateFrame(*doc_, 1), 1);
  const KwVector moved = a0->globalMatrix().off;
  EXPECT_GT(moved.z, 0.0f);  // towards the target
  // The first frame puts the agents back.
  kwhost::evaluateFrame(*doc_, 0);
  EXPECT_EQ(a0->globalMatrix().off.z, 0.0f);
  EXPECT_EQ(a0->globalMatrix().off.x, 0.0f);
}

TEST_F(TagTest, DrawingRecordsLinesAndCirclesPerPass) {
  kwhost::Object* g = flock(2);
  kwhost::Tag* t = newTag();
  t->data().setLink(1000, g);
  t->data().setBool(1016, true);
  t->data().setBool(1018, true);
  kwhost::RecordingViewport vp;
  kwhost::drawFrame(*doc_, vp);
  doc_->setFrame(3);
  kwhost::drawFrame(*doc_, vp);
  ASSERT_EQ(vp.passes().size(), 2u);
  const kwhost::DrawPass& p = vp.passes()[1];
  EXPECT_EQ(p.frame, 3);
  EXPECT_EQ(p.lines.size(), 8u);    // a probe of four lines per agent
  EXPECT_EQ(p.circles.size(), 2u);  // one alignment circle per agent
  EXPECT_EQ(p.circles[0].color.z, 255.0f);
  EXPECT_EQ(p.circles[0].m.v1.x, 800.0f);
  EXPECT_EQ(p.lines[0].color.x, 255.0f);
}

TEST_F(TagTest, EndDestroysInstancesAndLeavesTheAccountEmpty) {
  kwhost::Object* g = flock(2);
  kwhost::Tag* t = newTag();
  t->data().setLink(1000, g);
  t->data().setLink(1001, doc_->find("Target"));
  ASSERT_TRUE(kwhost::pressButton(*t, 1010));
  kwhost::evaluateFrame(*doc_, 1);
  kwhost::RecordingViewport vp;
  kwhost::drawFrame(*doc_, vp);
  EXPECT_GT(module_->account().snapshot().liveBlocks, 0);
  ASSERT_TRUE(module_->end());
  const auto s = module_->account().snapshot();
  EXPECT_EQ(s.liveBlocks, 0);
  EXPECT_EQ(s.liveBytes, 0);
  EXPECT_EQ(s.liveHandles, 0);
  EXPECT_EQ(s.badFrees, 0);
  EXPECT_GT(s.peakBytes, 0);
  // The tag stays in the document, inert.
  EXPECT_FALSE(t->alive());
  EXPECT_EQ(kwhost::evaluateFrame(*doc_, 2), 0);
  EXPECT_FALSE(kwhost::pressButton(*t, 1010));
  EXPECT_FALSE(kwhost::createTag(*holder_, kTagId));
}

TEST_F(TagTest, DeletingATagOrItsObjectFreesTheInstance) {
  const int64_t base = module_->account().snapshot().liveBlocks;
  kwhost::Tag* t = newTag();
  EXPECT_EQ(module_->account().snapshot().liveBlocks, base + 1);
  kwhost::deleteTag(t);
  EXPECT_EQ(module_->account().snapshot().liveBlocks, base);
  kwhost::Object* o = doc_->createObject("Carrier", kwhost::kTypeNull).value();
  newTag(o);
  doc_->deleteObject(o);
  EXPECT_EQ(module_->account().snapshot().liveBlocks, base);
}

}  // namespace
