// Ctrl-C and kill as a user sends them: `run --out` stopped while it writes
// its files and `tune` stopped while its workers run end within a second
// with 130 (SIGINT) or 143 (SIGTERM), leave no temporary file and no worker
// process, and say on standard error what was and was not written. And a
// worker lost under a trial: a failed row, not a failed tune.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "program_run.h"
#include "scene_text.h"
#include "scratch_folder.h"
#include "text_files.h"

extern char** environ;

namespace {

using namespace kwtest;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The program started with args, its standard error into errFile.
pid_t start(const std::vector<std::string>& args, const std::string& errFile) {
  std::vector<std::string> all = {programPath()};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  EXPECT_EQ(posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&fa);
  return pid;
}

// Waits up to limit for ready(); false when the time ran out.
template <class F>
bool waitFor(F ready, std::chrono::seconds limit) {
  for (const auto end = Clock::now() + limit; Clock::now() < end;) {
    if (ready()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

std::vector<std::string> temporaryFiles(const fs::path& dir) {
  std::vector<std::string> out;
  std::error_code ec;
  for (const auto& e : fs::recursive_directory_iterator(dir, ec))
    if (e.path().filename().string().find(".tmp-") != std::string::npos) out.push_back(e.path().string());
  return out;
}

// The processes whose parent is pid.
std::vector<pid_t> childrenOf(pid_t pid) {
  std::vector<pid_t> out;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator("/proc", ec)) {
    const std::string name = e.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(e.path() / "stat");
    std::string line;
    std::getline(stat, line);
    const size_t close = line.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    int ppid = 0;
    if (std::sscanf(line.c_str() + close + 1, " %c %d", &state, &ppid) == 2 && ppid == pid) out.push_back(std::stoi(name));
  }
  return out;
}

// Sends sig and waits for the end: the exit status (-1 if it did not exit) and how long it took.
std::pair<int, double> stop(pid_t pid, int sig) {
  const auto t0 = Clock::now();
  ::kill(pid, sig);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, std::chrono::duration<double>(Clock::now() - t0).count()};
}

class Stop : public ScratchTest, public ::testing::WithParamInterface<int> {};

TEST_P(Stop, RunStoppedWhileWritingItsFiles) {
  const int sig = GetParam();
  const fs::path out = dir_ / "view";
  const std::string err = (dir_ / "err.txt").string();
  // Long enough that writing its files takes a while (a 180,000-row CSV first).
  const pid_t pid = start({"run", KW_SOURCE_DIR "/scenes/demo.kwscene.json", "--frames", "3000", "--out", out.string()}, err);
  ASSERT_TRUE(waitFor([&] { return !temporaryFiles(out).empty(); }, std::chrono::seconds(120)))
      << "no temporary file appeared: " << readText(err);
  const auto [status, seconds] = stop(pid, sig);
  EXPECT_EQ(status, 128 + sig) << readText(err);
  EXPECT_LT(seconds, 1.0);
  EXPECT_EQ(temporaryFiles(out), std::vector<std::string>{});
  const std::string said = readText(err);
  EXPECT_NE(said.find(sig == SIGINT ? "stopped by SIGINT" : "stopped by SIGTERM"), std::string::npos) << said;
  EXPECT_NE(said.find("not written: "), std::string::npos) << said;
  EXPECT_NE(said.find("agents.csv"), std::string::npos) << said;
}

TEST_P(Stop, TuneStoppedWhileItsWorkersRun) {
  const int sig = GetParam();
  FlockScene s;
  for (int i = 0; i < 16; ++i) s.agents.push_back({(i % 4) * 40 - 60, (i / 4) * 40});
  s.goalZ = 1500;
  s.maxFrame = 200;
  writeText(dir_ / "flock.kwscene.json", flockSceneText(s));
  const std::string err = (dir_ / "err.txt").string(), table = (dir_ / "t.csv").string();
  const pid_t pid = start({"tune", (dir_ / "flock.kwscene.json").string(), "--trials", "100000", "--jobs", "2",
                           "--vary", "ALIGNMENT_WEIGHT,REPULSION_WEIGHT=1:5", "--table", table},
                          err);
  std::vector<pid_t> workers;
  ASSERT_TRUE(waitFor([&] { return (workers = childrenOf(pid)).size() == 2; }, std::chrono::seconds(60)))
      << readText(err);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // trials under way
  const auto [status, seconds] = stop(pid, sig);
  EXPECT_EQ(status, 128 + sig) << readText(err);
  EXPECT_LT(seconds, 1.0);
  for (pid_t w : workers) EXPECT_NE(::kill(w, 0), 0) << "worker " << w << " is still there";
  EXPECT_FALSE(fs::exists(table));
  EXPECT_EQ(temporaryFiles(dir_), std::vector<std::string>{});
  const std::string said = readText(err);
  EXPECT_NE(said.find("the tune was not finished"), std::string::npos) << said;
  EXPECT_NE(said.find("not written: " + table), std::string::npos) << said;
}

// A worker killed under a trial (as the system's out-of-memory killer would):
// that trial is a row that says so, and the tune goes on to its end.
class WorkerLost : public ScratchTest {};

TEST_F(WorkerLost, ItsTrialFailsAndTheTuneGoesOn) {
  FlockScene s;
  for (int i = 0; i < 16; ++i) s.agents.push_back({(i % 4) * 40 - 60, (i / 4) * 40});
  s.goalZ = 1500;
  s.maxFrame = 300;
  writeText(dir_ / "flock.kwscene.json", flockSceneText(s));
  const std::string err = (dir_ / "err.txt").string(), table = (dir_ / "t.csv").string();
  const pid_t pid = start({"tune", (dir_ / "flock.kwscene.json").string(), "--trials", "200", "--jobs", "2", "--vary",
                           "ALIGNMENT_WEIGHT,REPULSION_WEIGHT=1:5", "--table", table},
                          err);
  // Once both workers have run trials (past the given scene's trial, which
  // one runs alone), a worker waiting for its next trial on its pipe is
  // stopped: the next batch hands it a trial and waits for it. Then it is killed.
  std::map<pid_t, int> seen;  // 1: seen waiting, 2: seen working after that
  pid_t victim = -1;
  auto waiting = [&] {
    const std::vector<pid_t> workers = childrenOf(pid);
    int working = 0;
    pid_t idle = -1;
    for (pid_t w : workers) {
      std::ifstream wchan("/proc/" + std::to_string(w) + "/wchan");
      std::string where;
      std::getline(wchan, where);
      const bool onPipe = where.find("pipe") != std::string::npos;
      int& state = seen[w];
      if (onPipe) state = std::max(state, 1), idle = w;
      else if (state == 1) state = 2;
      working += state == 2;
    }
    if (working < 2 || idle < 0) return false;
    victim = idle;
    return true;
  };
  ASSERT_TRUE(waitFor(waiting, std::chrono::seconds(60))) << readText(err);
  ::kill(victim, SIGSTOP);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  ::kill(victim, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status)) << readText(err);
  EXPECT_EQ(WEXITSTATUS(status), 0) << readText(err);
  EXPECT_NE(readText(err).find(", 1 failed"), std::string::npos) << readText(err);
  std::istringstream rows(readText(table));
  std::string line;
  int count = 0, failed = 0;
  while (std::getline(rows, line)) {
    ++count;
    if (line.find("the worker process ended by signal 9") != std::string::npos) {
      ++failed;
      EXPECT_NE(line.find(",,,,,,false,"), std::string::npos) << line;
    }
  }
  EXPECT_EQ(count, 201);
  EXPECT_EQ(failed, 1);
}

INSTANTIATE_TEST_SUITE_P(Signals, Stop, ::testing::Values(SIGINT, SIGTERM),
                         [](const auto& info) { return std::string(info.param == SIGINT ? "SIGINT" : "SIGTERM"); });

}  // namespace
