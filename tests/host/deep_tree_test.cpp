// Object trees far deeper than the call stack allows one frame per level:
// global matrices and their cache, deletion and destruction walk them in
// loops. 300,000 levels would overflow an 8 MB stack several times over.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/document.h"
#include "core/transform.h"

namespace {

constexpr int kLevels = 300000;

std::string named(const char* prefix, int i) {  // appends: GCC 12 warns falsely on "n" + string
  std::string s(prefix);
  s += std::to_string(i);
  return s;
}

std::vector<kwhost::Object*> chain(kwhost::Document& doc, int levels, const char* prefix) {
  std::vector<kwhost::Object*> out;
  kwhost::Object* parent = nullptr;
  for (int i = 0; i < levels; ++i) {
    auto o = doc.createObject(named(prefix, i), kwhost::kTypeNull, parent);
    EXPECT_TRUE(o) << o.error();
    if (!o) break;
    o.value()->setPosition({1, 0, 0});
    out.push_back(parent = o.value());
  }
  return out;
}

TEST(DeepTree, GlobalMatricesThroughEveryLevel) {
  kwhost::Document doc;
  const auto objs = chain(doc, kLevels, "n");
  ASSERT_EQ(objs.size(), size_t(kLevels));
  kwhost::Object* leaf = objs.back();
  // Whole units add up exactly in a float below 2^24.
  EXPECT_EQ(leaf->globalMatrix().off.x, float(kLevels));
  // A move at the top reaches the bottom; a rotation in the middle is the
  // product of the levels above it with what lies below.
  objs.front()->setPosition({-5, 2, 0});
  EXPECT_EQ(leaf->globalMatrix().off.x, float(kLevels - 6));
  EXPECT_EQ(leaf->globalMatrix().off.y, 2.0f);
  kwhost::Object* mid = objs[kLevels / 2];
  mid->setRotation({0.5f, 0, 0});
  const KwMatrix expected = kwhost::multiply(mid->globalMatrix(), objs[kLevels / 2 + 1]->localMatrix());
  const KwMatrix got = objs[kLevels / 2 + 1]->globalMatrix();
  EXPECT_EQ(std::memcmp(&expected, &got, sizeof got), 0);
  EXPECT_NE(leaf->globalMatrix().off.z, 0.0f) << "the turn in the middle moves the bottom";
}

TEST(DeepTree, DeletedAndDestroyedWithoutACallPerLevel) {
  auto doc = std::make_unique<kwhost::Document>();
  const auto objs = chain(*doc, kLevels, "n");
  ASSERT_EQ(objs.size(), size_t(kLevels));
  // A second, wide branch under the middle.
  for (int i = 0; i < 1000; ++i) ASSERT_TRUE(doc->createObject(named("w", i), kwhost::kTypeNull, objs[10]));
  doc->deleteObject(objs[5]);
  EXPECT_EQ(doc->find("n4"), objs[4]);
  EXPECT_EQ(doc->find("n5"), nullptr);
  EXPECT_EQ(doc->find(named("n", kLevels - 1)), nullptr) << "the whole chain below went";
  EXPECT_EQ(doc->find("w999"), nullptr);
  EXPECT_TRUE(objs[4]->children().empty());
  // The name is free again, and a new deep chain goes with the document.
  ASSERT_TRUE(doc->createObject("n5", kwhost::kTypeNull, objs[4]));
  chain(*doc, kLevels, "m");
  EXPECT_EQ(doc->objectsPreOrder().size(), size_t(5 + 1 + kLevels));
  doc.reset();
}

}  // namespace
