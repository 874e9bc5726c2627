// The glTF and viewer writers: the mirror into the viewers' frame, rotations
// as quaternions, terrain winding and normals, the checks on a record, and
// that a failed write never replaces the user's file.
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "core/atomic_file.h"
#include "export/gltf_writer.h"
#include "export/run_record_check.h"
#include "export/view_geometry.h"
#include "export/viewer_page.h"
#include "scratch_folder.h"
#include "text_files.h"

namespace kwhost {
namespace {

namespace fs = std::filesystem;

// Scene axes from heading, pitch, bank (the host's transform model), scaled.
Mat12 hpbMatrix(float H, float P, float B, float scale = 1.0f) {
  const double Z[3] = {-std::sin(H) * std::cos(P), std::sin(P), std::cos(H) * std::cos(P)};
  const double h[3] = {std::cos(H), 0.0, std::sin(H)};
  auto cross = [](const double* a, const double* b, double* o) {
    o[0] = a[1] * b[2] - a[2] * b[1];
    o[1] = a[2] * b[0] - a[0] * b[2];
    o[2] = a[0] * b[1] - a[1] * b[0];
  };
  double Y0[3], X[3], Y[3];
  cross(Z, h, Y0);
  for (int k = 0; k < 3; ++k) X[k] = std::cos(B) * h[k] - std::sin(B) * Y0[k];
  cross(Z, X, Y);
  Mat12 m{};
  m[0] = 10;
  m[1] = 20;
  m[2] = 30;
  for (int k = 0; k < 3; ++k) {
    m[3 + k] = float(X[k] * scale);
    m[6 + k] = float(Y[k] * scale);
    m[9 + k] = float(Z[k] * scale);
  }
  return m;
}

std::array<double, 3> rotate(const view::Quat& q, std::array<double, 3> v) {
  // v + 2 w (u x v) + 2 u x (u x v)
  const double ux = q[0], uy = q[1], uz = q[2], w = q[3];
  const double tx = 2 * (uy * v[2] - uz * v[1]), ty = 2 * (uz * v[0] - ux * v[2]), tz = 2 * (ux * v[1] - uy * v[0]);
  return {v[0] + w * tx + (uy * tz - uz * ty), v[1] + w * ty + (uz * tx - ux * tz), v[2] + w * tz + (ux * ty - uy * tx)};
}

void expectAxis(const view::Quat& q, std::array<double, 3> local, const Mat12& m, int axis, double sign) {
  const Vec3 a{m[3 + 3 * axis], m[4 + 3 * axis], m[5 + 3 * axis]};
  const Vec3 v = view::toView(a);
  const double l = std::sqrt(double(v[0]) * v[0] + double(v[1]) * v[1] + double(v[2]) * v[2]);
  const auto r = rotate(q, local);
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(r[k], sign * v[k] / l, 1e-5) << "axis " << axis << " component " << k;
}

TEST(ViewGeometry, QuaternionCarriesTheMirroredAxes) {
  // Includes a half turn (the trace < 0 branches) and a scaled agent.
  const float cases[][4] = {{0, 0, 0, 1},      {0.7f, 0.2f, -0.3f, 1}, {3.14159265f, 0, 0, 1},
                            {2.0f, -1.2f, 2.5f, 2}, {-1.5f, 0.5f, 3.0f, 0.5f}, {3.1f, 1.4f, 3.1f, 1}};
  for (auto& c : cases) {
    const Mat12 m = hpbMatrix(c[0], c[1], c[2], c[3]);
    const view::Quat q = view::rotationToView(m);
    EXPECT_NEAR(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3], 1.0, 1e-12);
    // The viewer's local +X and +Y are the mirrored scene X and Y axes; its
    // local -Z (where the marker points) is the mirrored forward axis.
    expectAxis(q, {1, 0, 0}, m, 0, 1);
    expectAxis(q, {0, 1, 0}, m, 1, 1);
    expectAxis(q, {0, 0, -1}, m, 2, 1);
  }
  const view::Quat id = view::rotationToView(Mat12{});
  EXPECT_EQ(id, (view::Quat{0, 0, 0, 1}));
}

TEST(ViewGeometry, HemisphereFollowsThePreviousQuaternion) {
  const view::Quat q{0.1, 0.2, 0.3, -0.927};
  EXPECT_EQ(view::sameHemisphere(q, {0, 0, 0, 1}), (view::Quat{-0.1, -0.2, -0.3, 0.927}));
  EXPECT_EQ(view::sameHemisphere(q, {0, 0, 0, -1}), q);
}

RecordedMesh quad(Mat12 global) {
  // Counter-clockwise seen from above in the scene's left-handed frame
  // (+X right, +Z away): (0,0) -> (0,1) -> (1,1).
  RecordedMesh m;
  m.name = "Ground";
  m.global = global;
  m.points = {{0, 0, 0}, {1, 0, 0}, {0, 0, 1}, {1, 0, 1}};
  m.tris = {0, 2, 3, 0, 3, 1};
  return m;
}

TEST(ViewGeometry, TerrainKeepsFacingUpThroughTheMirror) {
  for (float sx : {1.0f, -1.0f}) {  // plain, and a mirroring global matrix
    auto viewed = view::terrainToView(quad({5, 1, 2, sx, 0, 0, 0, 1, 0, 0, 0, 1}));
    ASSERT_TRUE(viewed) << viewed.error();
    const view::ViewMesh& vm = *viewed;
    EXPECT_EQ(vm.positions[3], (Vec3{5 + sx, 1, -3}));
    for (const Vec3& n : vm.normals) EXPECT_EQ(n, (Vec3{0, 1, 0}));
    // The right-handed winding agrees with the normal.
    for (size_t t = 0; t < vm.indices.size(); t += 3) {
      const Vec3 &a = vm.positions[vm.indices[t]], &b = vm.positions[vm.indices[t + 1]],
                 &c = vm.positions[vm.indices[t + 2]];
      const float ny = (b[2] - a[2]) * (c[0] - a[0]) - (b[0] - a[0]) * (c[2] - a[2]);
      EXPECT_GT(ny, 0.0f) << "triangle " << t / 3 << " mirror " << sx;
    }
    EXPECT_EQ(vm.min, (Vec3{std::min(5.0f, 5 + sx), 1, -3}));
  }
}

TEST(ViewGeometry, TerrainWithBadTrianglesIsRefused) {
  RecordedMesh m = quad({0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1});
  m.tris.push_back(0);
  auto viewed = view::terrainToView(m);
  ASSERT_FALSE(viewed);
  EXPECT_NE(viewed.error().find("multiple of 3"), std::string::npos) << viewed.error();
  m.tris.insert(m.tris.end(), {1, 4});
  viewed = view::terrainToView(m);
  ASSERT_FALSE(viewed);
  EXPECT_NE(viewed.error().find("refers to point 4 of 4"), std::string::npos) << viewed.error();
}

RunRecord smallRun() {
  RunRecord r;
  r.sceneName = "Small </script> scene";
  r.agents = {{"A", 0, 0, 2.0f}, {"B", 0, 1, 3.0f}};
  for (int f = 0; f < 3; ++f) {
    FrameRecord fr;
    fr.frame = f;
    fr.agents = {{hpbMatrix(0.1f * f, 0, 0), {0.1f * f, 0, 0}}, {hpbMatrix(-0.1f * f, 0, 0), {-0.1f * f, 0, 0}}};
    fr.lines.push_back({{0, 0, 0}, {1, 0, 1}, {255, 0, 0}});
    r.frames.push_back(fr);
  }
  r.terrains.push_back(quad({0, 0, 0, 100, 0, 0, 0, 1, 0, 0, 0, 100}));
  return r;
}

TEST(RunRecordCheck, ReportsTheFirstFault) {
  auto e = checkRunRecord(smallRun());
  EXPECT_TRUE(e) << e.error();
  RunRecord r = smallRun();
  r.frames[1].agents.pop_back();
  e = checkRunRecord(r);
  EXPECT_FALSE(e);
  EXPECT_EQ(e.error(), "frame 1: 1 agent states for 2 agents");
  r = smallRun();
  r.frames[2].frame = 1;
  e = checkRunRecord(r);
  EXPECT_FALSE(e);
  EXPECT_EQ(e.error(), "frame 1 follows frame 1: frames must increase");
  r = smallRun();
  r.frames[2].agents[1].global[4] = NAN;
  e = checkRunRecord(r);
  EXPECT_FALSE(e);
  EXPECT_EQ(e.error(), "frame 2: agent 'B' has a matrix that is not a finite number");
  r = smallRun();
  r.fps = 0;
  e = checkRunRecord(r);
  EXPECT_FALSE(e);
  r = smallRun();
  r.tracks.push_back({"Target", {Mat12{}}});
  e = checkRunRecord(r);
  EXPECT_FALSE(e);
  EXPECT_EQ(e.error(), "object 'Target': 1 matrices for 3 frames");
}

class Files : public kwtest::ScratchTest {
 protected:
  size_t entries() const { return size_t(std::distance(fs::directory_iterator(dir_), fs::directory_iterator())); }
};

TEST_F(Files, GlbIsWrittenAndABadRecordLeavesTheOldFile) {
  const fs::path glb = dir_ / "run.glb";
  auto w = writeGlb(smallRun(), glb.string());
  ASSERT_TRUE(w) << w.error();
  const std::string bytes = kwtest::readText(glb);
  ASSERT_GE(bytes.size(), 20u);
  EXPECT_EQ(bytes.substr(0, 4), "glTF");
  EXPECT_EQ(bytes[4], 2);                                       // version 2
  EXPECT_EQ(uint32_t(bytes.size()) % 4, 0u);                    // chunks padded
  EXPECT_NE(bytes.find("\"translation\""), std::string::npos);  // animated

  RunRecord bad = smallRun();
  bad.frames[0].agents.clear();
  w = writeGlb(bad, glb.string());
  EXPECT_FALSE(w);
  EXPECT_NE(w.error().find("run.glb: frame 0"), std::string::npos) << w.error();
  EXPECT_EQ(kwtest::readText(glb), bytes);
  EXPECT_EQ(entries(), 1u) << "a temporary file was left behind";

  w = writeGlb(smallRun(), (dir_ / "missing" / "run.glb").string());
  EXPECT_FALSE(w);
  EXPECT_NE(w.error().find("does not exist"), std::string::npos) << w.error();
}

TEST_F(Files, AtomicWriteKeepsTheTargetWhenTheWriterFails) {
  const fs::path p = dir_ / "keep.txt";
  kwtest::writeText(p, "old");
  auto w = writeFileAtomically(p.string(), [](std::FILE* f, std::string* why) {
    std::fputs("half", f);
    *why = "gave up";
    return false;
  });
  EXPECT_FALSE(w);
  EXPECT_EQ(w.error(), p.string() + ": gave up; the existing file is unchanged");
  EXPECT_EQ(kwtest::readText(p), "old");
  EXPECT_EQ(entries(), 1u);
}

TEST_F(Files, ViewerFillsTheTemplateAndEscapesNames) {
  const fs::path tpl = dir_ / "tpl.html";
  kwtest::writeText(tpl, "<html><body>HEAD<!--KW-RUN-DATA-->TAIL</body></html>");
  ::setenv("KESTRELWOOD_VIEWER_TEMPLATE", tpl.c_str(), 1);
  std::string e;
  { auto v = writeViewer(smallRun(), (dir_ / "out").string(), "run.glb"); ASSERT_TRUE(v) << v.error(); }
  const std::string page = kwtest::readText(dir_ / "out" / "index.html");
  EXPECT_EQ(page.rfind("<html><body>HEAD<script", 0), 0u);
  EXPECT_NE(page.find("</script>\nTAIL</body></html>"), std::string::npos);
  EXPECT_NE(page.find("Small \\u003c/script> scene"), std::string::npos);
  EXPECT_EQ(page.find("Small </script>"), std::string::npos);
  for (const char* id : {"kw-meta", "kw-agents", "kw-terrain-0-pos", "kw-lines", "kw-circle-start"}) {
    EXPECT_NE(page.find(std::string("id=\"") + id + "\""), std::string::npos) << id;
  }

  EXPECT_EQ(page.find("id=\"kw-report\""), std::string::npos) << "no report, no report element";

  // The report goes in as it is, its names as safe as the run's; anything
  // but an object is refused and leaves the page as it was.
  const nlohmann::json report = {{"format", "kestrelwood-report/1"},
                                 {"tags", {{{"tag", 0}, {"object", "Crowd <!-- </script>"}}}}};
  { auto v = writeViewer(smallRun(), (dir_ / "out").string(), "run.glb", report); ASSERT_TRUE(v) << v.error(); }
  const std::string withReport = kwtest::readText(dir_ / "out" / "index.html");
  const size_t at = withReport.find("<script type=\"application/json\" id=\"kw-report\">");
  ASSERT_NE(at, std::string::npos);
  const size_t body = withReport.find('>', at) + 1;
  EXPECT_EQ(nlohmann::json::parse(withReport.substr(body, withReport.find("</script>", body) - body)), report);
  EXPECT_EQ(withReport.find("<!-- </script>"), std::string::npos);
  auto refused = writeViewer(smallRun(), (dir_ / "out").string(), "run.glb", nlohmann::json::array());
  EXPECT_FALSE(refused);
  EXPECT_NE(refused.error().find("crowd report is a JSON array, not an object"), std::string::npos) << refused.error();
  EXPECT_EQ(kwtest::readText(dir_ / "out" / "index.html"), withReport);
  { auto v = writeViewer(smallRun(), (dir_ / "out").string(), "run.glb"); ASSERT_TRUE(v) << v.error(); }

  kwtest::writeText(tpl, "<html>no marker</html>");
  auto noMarker = writeViewer(smallRun(), (dir_ / "out").string(), "run.glb");
  EXPECT_FALSE(noMarker);
  EXPECT_NE(noMarker.error().find("not a viewer page template"), std::string::npos) << noMarker.error();
  ::setenv("KESTRELWOOD_VIEWER_TEMPLATE", (dir_ / "none.html").c_str(), 1);
  auto missing = writeViewer(smallRun(), (dir_ / "out").string(), "run.glb");
  EXPECT_FALSE(missing);
  EXPECT_NE(missing.error().find("template " + (dir_ / "none.html").string() + " is missing"), std::string::npos)
      << missing.error();
  EXPECT_EQ(kwtest::readText(dir_ / "out" / "index.html"), page) << "a failed write replaced the page";
  ::unsetenv("KESTRELWOOD_VIEWER_TEMPLATE");
}

}  // namespace
}  // namespace kwhost
