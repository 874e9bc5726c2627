#include "core/container.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/allocator.h"
#include "core/collider_ops.h"
#include "core/document.h"
#include "core/host_strings.h"
#include "core/host_table.h"

namespace {

class HostTable : public ::testing::Test {
 protected:
  C4D_OS t = kwhost::makeHostTable();
  kwhost::Document doc;
};

TEST_F(HostTable, ContainerTypedGetSetAndDefaults) {
  KwContainer* bc = t.containers.create();
  EXPECT_EQ(t.containers.get_real(bc, 5, 1.5f), 1.5f);
  EXPECT_EQ(t.containers.get_long(bc, 5, -7), -7);
  EXPECT_EQ(t.containers.get_bool(bc, 5, 1), 1);
  KwMatrix m;
  t.containers.get_matrix(bc, 5, nullptr, &m);  // no default given: identity
  EXPECT_EQ(m.v1.x, 1.0f);
  EXPECT_EQ(m.v2.y, 1.0f);
  EXPECT_EQ(m.off.x, 0.0f);

  t.containers.set_real(bc, 1, 0.7854f);
  t.containers.set_long(bc, 2, 100);
  t.containers.set_bool(bc, 3, 5);
  KwMatrix w{{1, 2, 3}, {0, 0, -1}, {0, 1, 0}, {1, 0, 0}};
  t.containers.set_matrix(bc, 4, &w);
  EXPECT_EQ(t.containers.get_real(bc, 1, 0), 0.7854f);
  EXPECT_EQ(t.containers.get_long(bc, 2, 0), 100);
  EXPECT_EQ(t.containers.get_bool(bc, 3, 0), 1);
  t.containers.get_matrix(bc, 4, nullptr, &m);
  EXPECT_EQ(std::memcmp(&m, &w, sizeof m), 0);

  // Bools and longs read each other; a real does not read as a long, nor a long as a real.
  EXPECT_EQ(t.containers.get_bool(bc, 2, 0), 1);
  EXPECT_EQ(t.containers.get_long(bc, 3, 9), 1);
  EXPECT_EQ(t.containers.get_long(bc, 1, 9), 9);
  EXPECT_EQ(t.containers.get_real(bc, 2, 2.5f), 2.5f);
  // A replaced entry takes its new type.
  t.containers.set_real(bc, 2, 3.0f);
  EXPECT_EQ(t.containers.get_long(bc, 2, -1), -1);
  EXPECT_EQ(t.containers.get_real(bc, 2, 0), 3.0f);
  t.containers.free(bc);
}

TEST_F(HostTable, ContainerEntriesStayOrderedById) {
  KwContainer bc;
  for (int32_t id : {1026, 1000, 1224, 1019, 1025}) bc.setReal(id, static_cast<float>(id));
  std::vector<int32_t> ids;
  for (auto& [id, v] : bc.entries) ids.push_back(id);
  EXPECT_EQ(ids, (std::vector<int32_t>{1000, 1019, 1025, 1026, 1224}));
}

TEST_F(HostTable, GetDataIsACopyAndLiveDataTheNodesOwn) {
  kwhost::Object* o = doc.createObject("A", kwhost::kTypeNull).value();
  o->data().setReal(1003, 1000.0f);
  KwContainer* copy = t.nodes.get_data(o);
  t.containers.set_real(copy, 1003, 5.0f);
  EXPECT_EQ(o->data().getReal(1003), 1000.0f);
  KwContainer* live = t.nodes.get_live_data(o);
  t.containers.set_real(live, 1003, 7.0f);
  EXPECT_EQ(o->data().getReal(1003), 7.0f);
  EXPECT_EQ(t.containers.get_real(copy, 1003, 0), 5.0f);
  t.containers.free(copy);
  // Freeing a node's own container is refused: the node keeps it.
  const long faults = kwhost::tableFaults();
  t.containers.free(live);
  EXPECT_EQ(kwhost::tableFaults(), faults + 1);
  EXPECT_EQ(o->data().getReal(1003), 7.0f);
}

TEST_F(HostTable, LinksReadNullWhenDeletedOrInAnotherDocument) {
  kwhost::Object* holder = doc.createObject("Holder", kwhost::kTypeNull).value();
  kwhost::Object* group = doc.createObject("Group", kwhost::kTypeNull).value();
  kwhost::Object* child = doc.createObject("Child", kwhost::kTypeNull, group).value();
  KwContainer* bc = t.nodes.get_live_data(holder);
  t.containers.set_link(bc, 1000, group);
  t.containers.set_link(bc, 1001, child);
  EXPECT_EQ(t.containers.get_link(bc, 1000, &doc), group);
  EXPECT_EQ(t.containers.get_link(bc, 1001, &doc), child);
  kwhost::Document other;
  EXPECT_EQ(t.containers.get_link(bc, 1000, &other), nullptr);
  EXPECT_EQ(t.containers.get_link(bc, 1000, nullptr), nullptr);
  // Deleting the group deletes its child too; both links read null, never dangle.
  doc.deleteObject(group);
  EXPECT_EQ(t.containers.get_link(bc, 1000, &doc), nullptr);
  EXPECT_EQ(t.containers.get_link(bc, 1001, &doc), nullptr);
  EXPECT_EQ(doc.find("Child"), nullptr);
  EXPECT_EQ(t.containers.get_link(bc, 4711, &doc), nullptr);
}

TEST_F(HostTable, StringsKeepExactBytes) {
  KwString* s = t.strings.create("\x01-SDK is here :-)", -1);
  EXPECT_EQ(t.strings.length(s), 17);
  const char withNul[] = {'a', '\0', 'b'};
  KwString* n = t.strings.create(withNul, 3);
  EXPECT_EQ(t.strings.length(n), 3);
  KwString* j = t.strings.concat(s, n);
  char buf[64];
  EXPECT_EQ(t.strings.get_utf8(j, buf, sizeof buf), 20);
  EXPECT_EQ(std::memcmp(buf, "\x01-SDK is here :-)a\0b", 21), 0);
  // A short buffer gets cap-1 bytes and a NUL; the full length comes back.
  char small[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(t.strings.get_utf8(s, small, 4), 17);
  EXPECT_EQ(std::string(small), "\x01-S");
  KwString* l = t.strings.from_long(-2147483647 - 1);
  EXPECT_EQ(std::string(kwhost::view(l)), "-2147483648");
  for (KwString* x : {s, n, j, l}) t.strings.free(x);
}

TEST_F(HostTable, HandlesAreChargedToTheCallersAccount) {
  kwhost::Account* acc = kwhost::newAccount("handles");
  kwhost::AccountScope scope(acc);
  KwString* s = t.strings.create("x", -1);
  KwFilename* f = t.filenames.create();
  KwContainer* c = t.containers.create();
  EXPECT_EQ(acc->snapshot().liveHandles, 3);
  t.filenames.add_part(f, "res");
  KwString* fs = t.filenames.get_string(f);
  EXPECT_EQ(std::string(kwhost::view(fs)), "res");
  for (KwString* x : {s, fs}) t.strings.free(x);
  t.filenames.free(f);
  t.containers.free(c);
  EXPECT_EQ(acc->snapshot().liveHandles, 0);
}

TEST_F(HostTable, NullHandlesAnswerDefaults) {
  EXPECT_EQ(t.containers.get_real(nullptr, 1, 2.0f), 2.0f);
  EXPECT_EQ(t.nodes.get_down(nullptr), nullptr);
  EXPECT_EQ(t.nodes.get_document(nullptr), nullptr);
  KwMatrix m{};
  t.objects.get_global_matrix(nullptr, &m);
  EXPECT_EQ(m.v3.z, 1.0f);
  EXPECT_EQ(t.colliders.init(nullptr, nullptr, 1), 0);
  KwCollider* rc = t.colliders.alloc();
  EXPECT_EQ(t.colliders.init(rc, doc.createObject("Null", kwhost::kTypeNull).value(), 1), 0);
  KwVector a{0, 0, 0}, d{0, -1, 0};
  EXPECT_EQ(t.colliders.intersect(rc, &a, &d, 1000, 0), 0);
  KwRayColResult r;
  EXPECT_EQ(t.colliders.get_nearest(rc, &r), 0);
  t.colliders.free(rc);
}

TEST_F(HostTable, ColliderHitsAPolygonInLocalCoordinates) {
  kwhost::Object* ground = doc.createObject("Ground", kwhost::kTypePolygon).value();
  ASSERT_TRUE(ground->setMesh({{-10, 0, -10}, {10, 0, -10}, {10, 0, 10}, {-10, 0, 10}}, {{0, 3, 2, 1}}));
  EXPECT_EQ(ground->triangles(), (std::vector<uint32_t>{0, 3, 2, 0, 2, 1}));
  ground->setPosition({0, 500, 0});  // the ray is cast in local coordinates
  KwCollider* rc = t.colliders.alloc();
  ASSERT_EQ(t.colliders.init(rc, ground, 1), 1);
  KwVector start{1, 5, 2}, down{0, -1, 0};
  ASSERT_EQ(t.colliders.intersect(rc, &start, &down, 100000, 0), 1);
  KwRayColResult r;
  ASSERT_EQ(t.colliders.get_nearest(rc, &r), 1);
  EXPECT_FLOAT_EQ(r.hitPosition.x, 1);
  EXPECT_FLOAT_EQ(r.hitPosition.y, 0);
  EXPECT_FLOAT_EQ(r.hitPosition.z, 2);
  EXPECT_FLOAT_EQ(r.distance, 5);
  EXPECT_FLOAT_EQ(std::abs(r.faceNormal.y), 1);
  KwVector up{0, 1, 0};
  EXPECT_EQ(t.colliders.intersect(rc, &start, &up, 100000, 0), 0);
  EXPECT_EQ(t.colliders.get_nearest(rc, &r), 0);
  t.colliders.free(rc);
}

// Colliders on one object share its structure, yet each answers for the
// geometry it was initialised on until it is initialised again.
TEST_F(HostTable, CollidersShareTheObjectsStructureUntilItChanges) {
  kwhost::Object* ground = doc.createObject("Ground", kwhost::kTypePolygon).value();
  auto square = [&](float y) {
    ASSERT_TRUE(ground->setMesh({{-10, y, -10}, {10, y, -10}, {10, y, 10}, {-10, y, 10}}, {{0, 3, 2, 1}}));
  };
  square(0);
  const auto before = kwhost::colliderStats();
  KwCollider* a = t.colliders.alloc();
  KwCollider* b = t.colliders.alloc();
  ASSERT_EQ(t.colliders.init(a, ground, 1), 1);
  ASSERT_EQ(t.colliders.init(b, ground, 1), 1);
  EXPECT_EQ(kwhost::colliderStats().builds, before.builds + 1);
  EXPECT_EQ(kwhost::colliderStats().liveShapes, before.liveShapes + 1);
  KwVector start{1, 50, 2}, down{0, -1, 0};
  KwRayColResult r;
  auto heightUnder = [&](KwCollider* rc) {
    return t.colliders.intersect(rc, &start, &down, 100000, 0) && t.colliders.get_nearest(rc, &r) ? r.hitPosition.y
                                                                                                    : -1.0f;
  };
  square(5);
  ASSERT_EQ(t.colliders.init(b, ground, 1), 1);
  EXPECT_EQ(heightUnder(b), 5.0f);
  EXPECT_EQ(heightUnder(a), 0.0f);  // still the square it was initialised on
  EXPECT_EQ(kwhost::colliderStats().liveShapes, before.liveShapes + 2);
  t.colliders.free(a);
  EXPECT_EQ(kwhost::colliderStats().liveShapes, before.liveShapes + 1);
  // The object gone, the handle still answers until it is freed.
  doc.deleteObject(ground);
  EXPECT_EQ(heightUnder(b), 5.0f);
  t.colliders.free(b);
  EXPECT_EQ(kwhost::colliderStats().liveShapes, before.liveShapes);
}

TEST_F(HostTable, MeshRejectsBadPolygonsAndKeepsTheOldOne) {
  kwhost::Object* p = doc.createObject("P", kwhost::kTypePolygon).value();
  ASSERT_TRUE(p->setMesh({{0, 0, 0}, {1, 0, 0}, {0, 0, 1}, {1, 0, 1}, {2, 0, 2}}, {{0, 1, 3, 4, 2}}));
  EXPECT_EQ(p->triangles(), (std::vector<uint32_t>{0, 1, 3, 0, 3, 4, 0, 4, 2}));  // n-gon fanned
  EXPECT_FALSE(p->setMesh({{0, 0, 0}}, {{0, 1, 2}}));
  EXPECT_FALSE(p->setMesh({{0, 0, 0}, {1, 0, 0}}, {{0, 1}}));
  EXPECT_EQ(p->triangles().size(), 9u);
}

TEST_F(HostTable, ObjectNamesAreUniqueAndTheTreeWalksInOrder) {
  kwhost::Object* g = doc.createObject("G", kwhost::kTypeNull).value();
  EXPECT_FALSE(doc.createObject("G", kwhost::kTypeCube));
  EXPECT_FALSE(doc.createObject("", kwhost::kTypeCube));
  EXPECT_FALSE(doc.createObject("X", 1234));
  kwhost::Object* a = doc.createObject("A", kwhost::kTypeCircle, g).value();
  kwhost::Object* b = doc.createObject("B", kwhost::kTypeNull, g).value();
  kwhost::Object* c = doc.createObject("C", kwhost::kTypeNull, a).value();
  kwhost::Object* h = doc.createObject("H", kwhost::kTypeNull).value();
  EXPECT_EQ(t.nodes.get_down(g), a);
  EXPECT_EQ(t.nodes.get_next(a), b);
  EXPECT_EQ(t.nodes.get_next(b), nullptr);
  EXPECT_EQ(t.nodes.get_up(c), a);
  EXPECT_EQ(t.nodes.get_up(g), nullptr);
  EXPECT_EQ(t.nodes.get_type(a), 5181);
  EXPECT_EQ(t.containers.get_real(t.nodes.get_live_data(a), 2012, 0), 200.0f);
  EXPECT_EQ(doc.objectsPreOrder(), (std::vector<kwhost::Object*>{g, a, c, b, h}));
  doc.deleteObject(a);
  EXPECT_EQ(t.nodes.get_down(g), b);
  EXPECT_EQ(t.nodes.get_next(g), h);
  EXPECT_TRUE(doc.createObject("A", kwhost::kTypeNull));  // the name is free again
}

TEST_F(HostTable, TimeIsFrameOverFps) {
  ASSERT_TRUE(doc.setTimeline(25, -5, 100));
  EXPECT_FALSE(doc.setTimeline(0, 0, 10));
  EXPECT_FALSE(doc.setTimeline(25, 10, 9));
  doc.setFrame(7);
  KwTime now, first;
  t.documents.get_time(&doc, &now);
  t.documents.get_min_time(&doc, &first);
  EXPECT_EQ(now.numerator, 7.0);
  EXPECT_EQ(now.denominator, 25.0);
  EXPECT_EQ(first.numerator, -5.0);
  EXPECT_EQ(t.documents.get_fps(&doc), 25);
}

}  // namespace
