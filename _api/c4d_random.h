// The SDK's pseudo-random generator: a 31-bit linear congruential sequence.
#ifndef KW_C4D_RANDOM_H
#define KW_C4D_RANDOM_H

#include "c4d_types.h"

class Random {
 public:
  Random() : seed_(100), iset_(0), gset_(0.0f) {}
  void Init(ULONG seed) {
    seed_ = seed;
    iset_ = 0;
  }
  // Uniform in [0, 1]; the float conversion can round the largest seeds to 1.
  Real Get01();
  // Uniform in [-1, 1].
  Real Get11();

 private:
  ULONG Step();
  ULONG seed_;
  LONG iset_;   // used by the Gaussian variants only
  [[maybe_unused]] Real gset_;  // used by the Gaussian variants only
};

#endif
