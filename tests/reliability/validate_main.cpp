// The validator as a program of its own, for the tests and for runs under
// wine before the command-line program wires `kestrelwood validate`:
//   kw_validate MODULE [STRICTNESS] [CHECK...]
#include <cstdlib>
#include <iostream>

#include "validate/validator.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: kw_validate MODULE [STRICTNESS] [CHECK...]\n";
    return 2;
  }
  kwhost::validate::ValidatorOptions o;
  o.modulePath = argv[1];
  if (argc > 2) o.strictness = std::atoi(argv[2]);
  for (int i = 3; i < argc; ++i) o.only.push_back(argv[i]);
  return kwhost::validate::runValidator(o, std::cout, std::cerr);
}
