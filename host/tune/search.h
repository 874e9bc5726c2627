// The search of a tune, in the unit cube of the varied parameters: first a
// Latin hypercube sample (each parameter's range cut into as many strata as
// there are samples, one sample in each), then CMA-ES (Hansen's covariance
// matrix adaptation evolution strategy, the field's usual derivative-free
// method for a handful of parameters and a noisy, stepped cost) started at
// the best point so far, restarted there when its steps become smaller than
// the parameters' rounding.
//
// It proposes points a batch at a time and learns a batch's results only
// when all of them are in, in the batch's order: the points it proposes
// depend on the seed, the number of trials and the results, never on which
// worker finished first. Its random numbers are its own (splitmix64 and
// Box-Muller), the same with every standard library.
#ifndef KWHOST_TUNE_SEARCH_H
#define KWHOST_TUNE_SEARCH_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kwhost::tune {

using Point = std::vector<double>;  // one coordinate in [0, 1] per varied parameter

// A trial's outcome as the search ranks it: failed runs last, then runs not
// accepted (by how far they end from the target), then accepted runs by
// cost, ties by how far they end.
struct Score {
  bool ran = false;
  bool accepted = false;
  int64_t cost = 0;
  double endDistance = 0;
};
// a ranks before b.
bool better(const Score& a, const Score& b);

class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  uint64_t next();
  double uniform();  // [0, 1)
  double normal();

 private:
  uint64_t state_;
};

class Search {
 public:
  // start: the given scene's point, tried first; trials: the whole budget,
  // that first trial included.
  Search(Point start, int trials, uint64_t seed);
  // The next points to try; empty when the budget is spent.
  std::vector<Point> nextBatch();
  // The scores of the last batch's points, in its order.
  void tell(const std::vector<Score>& scores);

  int proposed() const { return proposed_; }

 private:
  struct Tried {
    Point u;
    Score score;
  };
  std::vector<Point> latinHypercube(int count);
  std::vector<Point> cmaBatch();
  void cmaUpdate(const std::vector<Score>& scores);
  void cmaRestart();
  void decompose();
  const Tried& best() const;

  size_t n_;
  int budget_;
  int proposed_ = 0;
  Rng rng_;
  std::vector<Tried> tried_;
  std::vector<Point> pending_;
  bool sampled_ = false;  // the Latin hypercube has been proposed

  // CMA-ES state (n_ x n_ matrices stored by rows).
  bool cmaStarted_ = false;
  int lambda_ = 0, mu_ = 0;
  std::vector<double> weights_;
  double mueff_ = 0, cc_ = 0, cs_ = 0, c1_ = 0, cmu_ = 0, damps_ = 0, chiN_ = 0;
  Point mean_;
  double sigma_ = 0;
  std::vector<double> pc_, ps_, C_, B_, D_;
  int generation_ = 0;
};

}  // namespace kwhost::tune

#endif
