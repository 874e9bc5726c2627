#include <cerrno>
#include <csignal>
#include <cstring>
#include <deque>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/interrupt.h"
#include "tune/worker_pool.h"
#include "tune/worker_protocol.h"

extern char** environ;

namespace kwhost::tune {

namespace {

constexpr int kStartFailuresAllowed = 3;  // replacements that fail to start before the tune gives up

struct Worker {
  pid_t pid = -1;
  int toFd = -1, fromFd = -1;
  std::string buffer;  // what has arrived after the last complete line
  bool ready = false;
  int job = -1;        // index of the job it runs, or -1
};

std::string endedHow(int status) {
  if (WIFSIGNALED(status)) {
    const int sig = WTERMSIG(status);
    const char* name = strsignal(sig);
    return "the worker process ended by signal " + std::to_string(sig) + (name ? std::string(" (") + name + ")" : "");
  }
  if (WIFEXITED(status)) return "the worker process exited with status " + std::to_string(WEXITSTATUS(status));
  return "the worker process ended";
}

class PosixPool final : public WorkerPool {
 public:
  PosixPool(WorkerCommand command, TrialSetup setup) : command_(std::move(command)), setup_(std::move(setup)) {}
  ~PosixPool() override {
    for (Worker& w : workers_) stop(w, w.job >= 0);
  }

  Result<void> spawnAll(int count) {
    std::string firstError;
    for (int i = 0; i < count; ++i) {
      Worker w;
      if (auto ok = spawn(&w); !ok) return fail(ok.error());
      workers_.push_back(std::move(w));
    }
    // Every worker reads the scene; wait for each to say it is ready.
    for (Worker& w : workers_) {
      std::string line;
      while (!w.ready && w.pid > 0) {
        if (!readLine(w, &line)) {
          const std::string why = reap(w);
          if (firstError.empty()) firstError = why;
          break;
        }
        if (line == "ready") w.ready = true;
        else if (line.rfind("error ", 0) == 0) {
          if (firstError.empty()) firstError = line.substr(6);
          stop(w, true);
        }
      }
    }
    std::erase_if(workers_, [](const Worker& w) { return w.pid <= 0; });
    if (workers_.empty()) return fail(firstError.empty() ? "no worker process could start" : firstError);
    return {};
  }

  Result<std::vector<TrialOutcome>> run(const std::vector<TrialJob>& jobs, const std::function<void()>& done) override {
    std::vector<TrialOutcome> out(jobs.size());
    std::deque<int> queue;
    for (size_t i = 0; i < jobs.size(); ++i) queue.push_back(int(i));
    size_t finished = 0;
    int startFailures = 0;
    auto finish = [&](int job, TrialOutcome outcome) {
      out[size_t(job)] = std::move(outcome);
      ++finished;
      if (done) done();
    };
    while (finished < jobs.size()) {
      // Hand out work.
      for (Worker& w : workers_) {
        if (!w.ready || w.job >= 0 || queue.empty()) continue;
        const int job = queue.front();
        const std::string line = trialLine(jobs[size_t(job)].trial, jobs[size_t(job)].values);
        if (!writeAll(w.toFd, line)) {
          finish(job, {std::nullopt, reap(w)});
          queue.pop_front();
          continue;
        }
        queue.pop_front();
        w.job = job;
      }
      // Replace workers that ended while there is work left.
      std::erase_if(workers_, [](const Worker& w) { return w.pid <= 0; });
      if (workers_.empty()) {
        if (++startFailures > kStartFailuresAllowed) return fail("the worker processes keep failing to start");
        Worker w;
        if (auto ok = spawn(&w); !ok) return fail(ok.error());
        workers_.push_back(std::move(w));
      }
      // Wait for any worker to say something.
      std::vector<pollfd> fds;
      for (const Worker& w : workers_) fds.push_back({w.fromFd, POLLIN, 0});
      if (::poll(fds.data(), fds.size(), -1) < 0) {
        if (errno == EINTR) continue;
        return fail(std::string("waiting for the workers: ") + std::strerror(errno));
      }
      for (size_t i = 0; i < fds.size(); ++i) {
        if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        Worker& w = workers_[i];
        char chunk[4096];
        const ssize_t n = ::read(w.fromFd, chunk, sizeof chunk);
        if (n <= 0) {
          // The worker ended: its trial fails, and one takes its place.
          const int job = w.job;
          const std::string why = reap(w);
          if (job >= 0) finish(job, {std::nullopt, why});
          if (!queue.empty() || finished < jobs.size()) {
            Worker fresh;
            if (spawn(&fresh)) workers_.push_back(std::move(fresh));
          }
          break;  // the list changed
        }
        w.buffer.append(chunk, size_t(n));
        for (size_t nl; (nl = w.buffer.find('\n')) != std::string::npos;) {
          const std::string line = w.buffer.substr(0, nl);
          w.buffer.erase(0, nl + 1);
          if (line == "ready") {
            w.ready = true;
            startFailures = 0;
            continue;
          }
          if (line.rfind("error ", 0) == 0) {
            const int job = w.job;
            stop(w, true);
            if (job >= 0) queue.push_front(job);
            if (++startFailures > kStartFailuresAllowed) return fail(line.substr(6));
            break;
          }
          const auto reply = parseReplyLine(line);
          if (!reply || w.job < 0 || reply->trial != jobs[size_t(w.job)].trial) {
            const int job = w.job;
            stop(w, true);
            if (job >= 0) finish(job, {std::nullopt, "the worker process answered out of turn: " + line});
            break;
          }
          finish(w.job, {reply->measure, reply->why});
          w.job = -1;
        }
      }
    }
    return out;
  }

 private:
  Result<void> spawn(Worker* w) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0) return fail(std::string("cannot start a worker: ") + std::strerror(errno));
    if (::pipe2(out, O_CLOEXEC) != 0) {
      ::close(in[0]), ::close(in[1]);
      return fail(std::string("cannot start a worker: ") + std::strerror(errno));
    }
    std::vector<std::string> args = {command_.program, "--quiet", "--module", command_.modulePath, kWorkerCommand};
    for (std::string& a : workerArguments(setup_)) args.push_back(std::move(a));
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    pid_t pid = -1;
    int rc = 0;
    {
      HoldStops hold;  // spawned and registered together, or a stop would miss it
      rc = ::posix_spawn(&pid, command_.program.c_str(), &actions, nullptr, argv.data(), environ);
      if (rc == 0) registerChild(long(pid));
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    if (rc != 0) {
      ::close(in[1]), ::close(out[0]);
      return fail("cannot start a worker (" + command_.program + "): " + std::strerror(rc));
    }
    w->pid = pid;
    w->toFd = in[1];
    w->fromFd = out[0];
    return {};
  }

  // Blocking: for the start, before any work is handed out.
  bool readLine(Worker& w, std::string* line) {
    for (;;) {
      if (const size_t nl = w.buffer.find('\n'); nl != std::string::npos) {
        *line = w.buffer.substr(0, nl);
        w.buffer.erase(0, nl + 1);
        return true;
      }
      char chunk[4096];
      const ssize_t n = ::read(w.fromFd, chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      w.buffer.append(chunk, size_t(n));
    }
  }

  static bool writeAll(int fd, const std::string& text) {
    size_t at = 0;
    while (at < text.size()) {
      const ssize_t n = ::write(fd, text.data() + at, text.size() - at);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      at += size_t(n);
    }
    return true;
  }

  // Closes its pipes and waits for it; how it ended.
  std::string reap(Worker& w) {
    if (w.pid <= 0) return "the worker process ended";
    if (w.toFd >= 0) ::close(w.toFd);
    if (w.fromFd >= 0) ::close(w.fromFd);
    w.toFd = w.fromFd = -1;
    int status = 0;
    std::string how = "the worker process ended";
    {
      HoldStops hold;
      while (::waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
      }
      unregisterChild(long(w.pid));
    }
    how = endedHow(status);
    w.pid = -1;
    w.job = -1;
    w.ready = false;
    return how;
  }

  // Ends a worker: kill it first when it may be busy.
  void stop(Worker& w, bool kill) {
    if (w.pid <= 0) return;
    if (kill) ::kill(w.pid, SIGKILL);
    (void)reap(w);
  }

  WorkerCommand command_;
  TrialSetup setup_;
  std::vector<Worker> workers_;
};

}  // namespace

Result<std::unique_ptr<WorkerPool>> WorkerPool::start(const WorkerCommand& command, const TrialSetup& setup, int count) {
  // A worker that dies makes writes to its pipe fail instead of ending the tuner.
  std::signal(SIGPIPE, SIG_IGN);
  auto pool = std::make_unique<PosixPool>(command, setup);
  if (auto ok = pool->spawnAll(count < 1 ? 1 : count); !ok) return fail(ok.error());
  return std::unique_ptr<WorkerPool>(std::move(pool));
}

}  // namespace kwhost::tune
