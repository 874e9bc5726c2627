// Nothing a user has is lost: saving over a scene replaces it in one step,
// a save that fails (a write that fails part-way, a full disk, a folder
// that is a file) leaves the old file as it was and says so, and loading a
// scene never touches the file.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/atomic_file.h"
#include "core/evaluate.h"
#include "module_test.h"
#include "scene/scene_file.h"
#include "text_files.h"
#include "validate/crowd_scene.h"

namespace fs = std::filesystem;
namespace kv = kwhost::validate;

namespace {

using kwtest::readText;
using kwtest::writeText;

class DataSafety : public kwtest::ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    module_ = kwtest::sharedModule();
    ASSERT_NE(module_, nullptr);
    kv::CrowdLayout l;
    l.agents = 20;
    l.obstacles = 2;
    l.terrain = true;
    auto c = kv::buildCrowd(doc_, l);
    ASSERT_TRUE(c.ok()) << c.error();
    for (int f = 1; f <= 3; ++f) kwhost::evaluateFrame(doc_, f);
  }

  // Names in the folder: a failed or finished save leaves no temporary file.
  std::vector<std::string> folder() const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir_)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  }

  kwhost::Module* module_ = nullptr;
  kwhost::Document doc_;
};

TEST_F(DataSafety, SavingOverASceneReplacesItWholeAndKeepsItsPermissions) {
  const fs::path file = dir_ / "crowd.kwscene.json";
  writeText(file, "{\"format\": \"kestrelwood-scene/1\"}\n");
  ::chmod(file.c_str(), 0640);
  struct stat before{};
  ASSERT_EQ(::stat(file.c_str(), &before), 0);

  auto saved = kwhost::scene::writeSceneFile(doc_, file.string());
  ASSERT_TRUE(saved.ok()) << saved.error();
  struct stat after{};
  ASSERT_EQ(::stat(file.c_str(), &after), 0);
  EXPECT_NE(after.st_ino, before.st_ino) << "the file was rewritten in place, not replaced";
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  EXPECT_EQ(folder(), std::vector<std::string>{"crowd.kwscene.json"});
  auto again = kwhost::scene::readSceneFile(file.string());
  ASSERT_TRUE(again.ok()) << again.error();
  EXPECT_NE(again.value().doc->find("Agent19"), nullptr);
}

TEST_F(DataSafety, AWriteThatFailsPartWayLeavesTheOldFileAndSaysSo) {
  const fs::path file = dir_ / "keep.kwscene.json";
  const std::string old = "old contents\n";
  writeText(file, old);
  auto r = kwhost::writeFileAtomically(file.string(), [](std::FILE* f, std::string* why) {
    std::fputs("{\"format\": \"kestrelwood-sc", f);  // half a scene, then the writer gives up
    *why = "simulated failure";
    return false;
  });
  ASSERT_FALSE(r.ok());
  EXPECT_NE(r.error().find("simulated failure"), std::string::npos) << r.error();
  EXPECT_NE(r.error().find("unchanged"), std::string::npos) << r.error();
  EXPECT_EQ(readText(file), old);
  EXPECT_EQ(folder(), std::vector<std::string>{"keep.kwscene.json"});
}

// A full disk: the file size limit makes the temporary file's writes fail
// the way ENOSPC does, inside the scene writer's own writing.
TEST_F(DataSafety, AFullDiskLeavesTheOldFileAndSaysSo) {
  const fs::path file = dir_ / "full.kwscene.json";
  const std::string old = "{\"format\": \"kestrelwood-scene/1\"}\n";
  writeText(file, old);
  struct rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto previous = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 2048;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  auto r = kwhost::scene::writeSceneFile(doc_, file.string());
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  ASSERT_FALSE(r.ok()) << "a save larger than the disk's room succeeded";
  EXPECT_NE(r.error().find("unchanged"), std::string::npos) << r.error();
  EXPECT_EQ(readText(file), old);
  EXPECT_EQ(folder(), std::vector<std::string>{"full.kwscene.json"});
}

// Permissions do not stop root (CI runs as root): a folder that is a file does.
TEST_F(DataSafety, ASaveIntoAPathThatCannotBeAFolderFailsClearlyAndWritesNothing) {
  const fs::path blocker = dir_ / "not-a-folder";
  writeText(blocker, "x");
  const fs::path file = blocker / "crowd.kwscene.json";
  auto r = kwhost::scene::writeSceneFile(doc_, file.string());
  ASSERT_FALSE(r.ok());
  EXPECT_NE(r.error().find(file.string()), std::string::npos) << r.error();
  EXPECT_EQ(readText(blocker), "x");
  EXPECT_EQ(folder(), std::vector<std::string>{"not-a-folder"});
  // A target that is a folder is refused too, and the folder stays.
  fs::create_directories(dir_ / "taken.kwscene.json");
  auto r2 = kwhost::scene::writeSceneFile(doc_, (dir_ / "taken.kwscene.json").string());
  EXPECT_FALSE(r2.ok());
  EXPECT_TRUE(fs::is_directory(dir_ / "taken.kwscene.json"));
}

TEST_F(DataSafety, LoadingASceneNeverChangesTheFileOrItsMesh) {
  const fs::path mesh = dir_ / "ground.obj";
  writeText(mesh, "v -5000 0 -5000\nv 5000 0 -5000\nv 5000 0 5000\nv -5000 0 5000\nf 1 4 3 2\n");
  const fs::path file = dir_ / "scene.kwscene.json";
  writeText(file, R"({"format": "kestrelwood-scene/1", "objects": [
    {"name": "H", "tags": [{"type": "Kestrelwood", "recordStart": true,
      "params": {"AGENTS_GROUP": "G", "TARGET": "T", "TERRAIN": "Ground"}}]},
    {"name": "G", "children": [{"name": "a"}, {"name": "b", "position": [300, 0, 0]}]},
    {"name": "T", "position": [0, 0, 3000]},
    {"name": "Ground", "type": "polygon", "obj": "ground.obj"}]}
)");
  // Old time stamps, so that a rewrite within the same second would show.
  const auto stamp = fs::file_time_type::clock::now() - std::chrono::hours(24);
  fs::last_write_time(file, stamp);
  fs::last_write_time(mesh, stamp);
  const std::string sceneBytes = readText(file), meshBytes = readText(mesh);
  {
    auto loaded = kwhost::scene::readSceneFile(file.string());
    ASSERT_TRUE(loaded.ok()) << loaded.error();
    for (kwhost::Tag* t : loaded.value().recordStart) kwhost::pressButton(*t, 1010);
    for (int f = 0; f <= 5; ++f) kwhost::evaluateFrame(*loaded.value().doc, f);
    // Saving elsewhere does not touch the source either.
    ASSERT_TRUE(kwhost::scene::writeSceneFile(*loaded.value().doc, (dir_ / "out.kwscene.json").string(),
                                              &loaded.value().geometrySources)
                    .ok());
  }
  EXPECT_EQ(readText(file), sceneBytes);
  EXPECT_EQ(readText(mesh), meshBytes);
  EXPECT_EQ(fs::last_write_time(file), stamp);
  EXPECT_EQ(fs::last_write_time(mesh), stamp);
  // A scene that fails to read is left alone as well.
  const fs::path bad = dir_ / "bad.kwscene.json";
  writeText(bad, "{\"format\": \"kestrelwood-scene/1\", \"objects\": [{\"nam\": 1}]}");
  fs::last_write_time(bad, stamp);
  EXPECT_FALSE(kwhost::scene::readSceneFile(bad.string()).ok());
  EXPECT_EQ(fs::last_write_time(bad), stamp);
}

// Saving onto something that is no regular file (a FIFO here; /dev/full or
// /dev/stdout alike) must not replace it: renaming a temporary file over a
// device node would destroy it, for root even in /dev.
TEST_F(DataSafety, ASaveDoesNotReplaceSomethingThatIsNoRegularFile) {
  const fs::path fifo = dir_ / "pipe.kwscene.json";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  auto r = kwhost::scene::writeSceneFile(doc_, fifo.string());
  EXPECT_FALSE(r.ok()) << "a save replaced a FIFO by a regular file";
  struct stat st{};
  ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

// Saving through a symbolic link writes the file it names and keeps the link.
TEST_F(DataSafety, ASaveThroughALinkWritesItsTargetAndKeepsTheLink) {
  const fs::path real = dir_ / "real.kwscene.json";
  const fs::path link = dir_ / "link.kwscene.json";
  ASSERT_TRUE(kwhost::scene::writeSceneFile(doc_, real.string()).ok());
  fs::create_symlink(real, link);
  ASSERT_TRUE(kwhost::scene::writeSceneFile(doc_, link.string()).ok());
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_TRUE(fs::is_regular_file(real));
  EXPECT_TRUE(kwhost::scene::readSceneFile(link.string()).ok());
}

}  // namespace
