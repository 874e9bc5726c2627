#include "tune/search.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace kwhost::tune {

namespace {

constexpr double kSampleShare = 0.3;    // of the budget spent on the Latin hypercube
constexpr double kStartSigma = 0.15;    // CMA-ES's first step, in unit-cube widths
constexpr double kSmallestStep = 1e-3;  // below this the rounded values stop changing: restart
constexpr double kPi = 3.14159265358979323846;

// Folds x back into [0, 1] as a mirror would.
double reflect(double x) {
  x = std::fmod(std::fabs(x), 2.0);
  return x > 1.0 ? 2.0 - x : x;
}

// Eigenvalues d and eigenvectors (columns of b) of the symmetric n x n
// matrix a, by cyclic Jacobi rotations; a is destroyed.
void jacobi(std::vector<double> a, size_t n, std::vector<double>* d, std::vector<double>* b) {
  b->assign(n * n, 0.0);
  for (size_t i = 0; i < n; ++i) (*b)[i * n + i] = 1.0;
  for (int sweep = 0; sweep < 50; ++sweep) {
    double off = 0;
    for (size_t p = 0; p < n; ++p)
      for (size_t q = p + 1; q < n; ++q) off += a[p * n + q] * a[p * n + q];
    if (off < 1e-30) break;
    for (size_t p = 0; p < n; ++p)
      for (size_t q = p + 1; q < n; ++q) {
        const double apq = a[p * n + q];
        if (std::fabs(apq) < 1e-300) continue;
        const double theta = (a[q * n + q] - a[p * n + p]) / (2 * apq);
        const double t = (theta >= 0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1));
        const double c = 1 / std::sqrt(t * t + 1), s = t * c;
        for (size_t k = 0; k < n; ++k) {
          const double akp = a[k * n + p], akq = a[k * n + q];
          a[k * n + p] = c * akp - s * akq;
          a[k * n + q] = s * akp + c * akq;
        }
        for (size_t k = 0; k < n; ++k) {
          const double apk = a[p * n + k], aqk = a[q * n + k];
          a[p * n + k] = c * apk - s * aqk;
          a[q * n + k] = s * apk + c * aqk;
        }
        for (size_t k = 0; k < n; ++k) {
          const double bkp = (*b)[k * n + p], bkq = (*b)[k * n + q];
          (*b)[k * n + p] = c * bkp - s * bkq;
          (*b)[k * n + q] = s * bkp + c * bkq;
        }
      }
  }
  d->resize(n);
  for (size_t i = 0; i < n; ++i) (*d)[i] = a[i * n + i];
}

}  // namespace

bool better(const Score& a, const Score& b) {
  if (a.ran != b.ran) return a.ran;
  if (!a.ran) return false;
  if (a.accepted != b.accepted) return a.accepted;
  if (a.accepted && a.cost != b.cost) return a.cost < b.cost;
  return a.endDistance < b.endDistance;
}

uint64_t Rng::next() {
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

double Rng::uniform() { return double(next() >> 11) * (1.0 / 9007199254740992.0); }

double Rng::normal() {
  const double u1 = 1.0 - uniform();  // (0, 1]
  const double u2 = uniform();
  return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * kPi * u2);
}

Search::Search(Point start, int trials, uint64_t seed) : n_(start.size()), budget_(trials), rng_(seed) {
  pending_.push_back(std::move(start));
}

std::vector<Point> Search::latinHypercube(int count) {
  std::vector<Point> pts(static_cast<size_t>(count), Point(n_));
  for (size_t j = 0; j < n_; ++j) {
    std::vector<int> strata(static_cast<size_t>(count));
    std::iota(strata.begin(), strata.end(), 0);
    for (size_t i = strata.size(); i > 1; --i) std::swap(strata[i - 1], strata[size_t(rng_.next() % i)]);
    for (size_t i = 0; i < size_t(count); ++i) pts[i][j] = (strata[i] + rng_.uniform()) / count;
  }
  return pts;
}

std::vector<Point> Search::nextBatch() {
  const int left = budget_ - proposed_;
  if (left <= 0) return {};
  if (proposed_ == 0) {
    // The given point alone first: when it cannot be bettered, nothing else runs.
    pending_.resize(1);
  } else if (!sampled_) {
    sampled_ = true;
    const int want = std::max(int(n_) + 1, int(kSampleShare * (budget_ - 1)));
    pending_ = latinHypercube(std::min(want, left));
  } else {
    pending_ = cmaBatch();
    if (int(pending_.size()) > left) pending_.resize(size_t(left));
  }
  proposed_ += int(pending_.size());
  return pending_;
}

void Search::tell(const std::vector<Score>& scores) {
  const bool cmaBatch = cmaStarted_ && generation_ > 0;
  for (size_t i = 0; i < pending_.size() && i < scores.size(); ++i) tried_.push_back({pending_[i], scores[i]});
  if (cmaBatch) cmaUpdate(scores);
}

const Search::Tried& Search::best() const {
  size_t b = 0;
  for (size_t i = 1; i < tried_.size(); ++i)
    if (better(tried_[i].score, tried_[b].score)) b = i;
  return tried_[b];
}

void Search::cmaRestart() {
  const double n = double(n_);
  lambda_ = 4 + int(std::floor(3 * std::log(n)));
  mu_ = lambda_ / 2;
  weights_.resize(size_t(mu_));
  for (int i = 0; i < mu_; ++i) weights_[size_t(i)] = std::log(mu_ + 0.5) - std::log(i + 1.0);
  const double sum = std::accumulate(weights_.begin(), weights_.end(), 0.0);
  double sq = 0;
  for (double& w : weights_) w /= sum, sq += w * w;
  mueff_ = 1 / sq;
  cc_ = (4 + mueff_ / n) / (n + 4 + 2 * mueff_ / n);
  cs_ = (mueff_ + 2) / (n + mueff_ + 5);
  c1_ = 2 / ((n + 1.3) * (n + 1.3) + mueff_);
  cmu_ = std::min(1 - c1_, 2 * (mueff_ - 2 + 1 / mueff_) / ((n + 2) * (n + 2) + mueff_));
  damps_ = 1 + 2 * std::max(0.0, std::sqrt((mueff_ - 1) / (n + 1)) - 1) + cs_;
  chiN_ = std::sqrt(n) * (1 - 1 / (4 * n) + 1 / (21 * n * n));
  mean_ = best().u;
  sigma_ = kStartSigma;
  pc_.assign(n_, 0.0);
  ps_.assign(n_, 0.0);
  C_.assign(n_ * n_, 0.0);
  for (size_t i = 0; i < n_; ++i) C_[i * n_ + i] = 1.0;
  decompose();
  cmaStarted_ = true;
  generation_ = 0;
}

void Search::decompose() {
  std::vector<double> d;
  jacobi(C_, n_, &d, &B_);
  D_.resize(n_);
  for (size_t i = 0; i < n_; ++i) D_[i] = std::sqrt(std::max(d[i], 1e-20));
}

std::vector<Point> Search::cmaBatch() {
  if (!cmaStarted_) cmaRestart();
  const double widest = *std::max_element(D_.begin(), D_.end());
  if (sigma_ * widest < kSmallestStep) cmaRestart();
  ++generation_;
  std::vector<Point> batch(static_cast<size_t>(lambda_), Point(n_));
  for (Point& x : batch) {
    std::vector<double> z(n_);
    for (double& v : z) v = rng_.normal();
    for (size_t i = 0; i < n_; ++i) {
      double y = 0;
      for (size_t k = 0; k < n_; ++k) y += B_[i * n_ + k] * D_[k] * z[k];
      x[i] = reflect(mean_[i] + sigma_ * y);
    }
  }
  return batch;
}

void Search::cmaUpdate(const std::vector<Score>& scores) {
  const size_t count = std::min(pending_.size(), scores.size());
  if (count < size_t(mu_)) return;  // a batch cut short by the budget: the search ends anyway
  std::vector<size_t> order(count);
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return better(scores[a], scores[b]); });

  const Point old = mean_;
  std::vector<double> yw(n_, 0.0);
  std::vector<std::vector<double>> ys(static_cast<size_t>(mu_), std::vector<double>(n_));
  for (int k = 0; k < mu_; ++k)
    for (size_t i = 0; i < n_; ++i) {
      ys[size_t(k)][i] = (pending_[order[size_t(k)]][i] - old[i]) / sigma_;
      yw[i] += weights_[size_t(k)] * ys[size_t(k)][i];
    }
  for (size_t i = 0; i < n_; ++i) mean_[i] = std::clamp(old[i] + sigma_ * yw[i], 0.0, 1.0);

  // C^(-1/2) yw = B D^-1 B^T yw.
  std::vector<double> bt(n_, 0.0), inv(n_, 0.0);
  for (size_t k = 0; k < n_; ++k) {
    for (size_t i = 0; i < n_; ++i) bt[k] += B_[i * n_ + k] * yw[i];
    bt[k] /= D_[k];
  }
  for (size_t i = 0; i < n_; ++i)
    for (size_t k = 0; k < n_; ++k) inv[i] += B_[i * n_ + k] * bt[k];
  const double csn = std::sqrt(cs_ * (2 - cs_) * mueff_);
  double psNorm = 0;
  for (size_t i = 0; i < n_; ++i) ps_[i] = (1 - cs_) * ps_[i] + csn * inv[i], psNorm += ps_[i] * ps_[i];
  psNorm = std::sqrt(psNorm);
  const double n = double(n_);
  const bool hsig =
      psNorm / std::sqrt(1 - std::pow(1 - cs_, 2.0 * generation_)) / chiN_ < 1.4 + 2 / (n + 1);
  const double ccn = std::sqrt(cc_ * (2 - cc_) * mueff_);
  for (size_t i = 0; i < n_; ++i) pc_[i] = (1 - cc_) * pc_[i] + (hsig ? ccn * yw[i] : 0.0);
  for (size_t i = 0; i < n_; ++i)
    for (size_t j = 0; j < n_; ++j) {
      double rankMu = 0;
      for (int k = 0; k < mu_; ++k) rankMu += weights_[size_t(k)] * ys[size_t(k)][i] * ys[size_t(k)][j];
      double& c = C_[i * n_ + j];
      c = (1 - c1_ - cmu_) * c + c1_ * (pc_[i] * pc_[j] + (hsig ? 0.0 : cc_ * (2 - cc_) * c)) + cmu_ * rankMu;
    }
  sigma_ *= std::exp((cs_ / damps_) * (psNorm / chiN_ - 1));
  sigma_ = std::min(sigma_, 1.0);
  decompose();
}

}  // namespace kwhost::tune
