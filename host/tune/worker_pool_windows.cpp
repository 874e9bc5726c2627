// Windows: no worker processes; the trials run one after another in this
// process, each on a document built afresh, as a worker would run them.
#include "tune/worker_pool.h"

namespace kwhost::tune {

namespace {

class InProcessPool final : public WorkerPool {
 public:
  explicit InProcessPool(TrialRunner runner) : runner_(std::move(runner)) {}
  Result<std::vector<TrialOutcome>> run(const std::vector<TrialJob>& jobs, const std::function<void()>& done) override {
    std::vector<TrialOutcome> out;
    for (const TrialJob& job : jobs) {
      auto m = runner_.run(job.values);
      out.push_back(m ? TrialOutcome{m.value(), ""} : TrialOutcome{std::nullopt, m.error()});
      if (done) done();
    }
    return out;
  }

 private:
  TrialRunner runner_;
};

}  // namespace

Result<std::unique_ptr<WorkerPool>> WorkerPool::start(const WorkerCommand&, const TrialSetup& setup, int) {
  auto runner = TrialRunner::open(setup);
  if (!runner) return fail(runner.error());
  return std::unique_ptr<WorkerPool>(std::make_unique<InProcessPool>(std::move(runner.value())));
}

}  // namespace kwhost::tune
