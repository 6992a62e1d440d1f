// FUZZ_CHECK: stops a fuzz target with a message when a property it checks
// does not hold, so that libFuzzer and the replay driver both report it.
#ifndef MORVELLIN_FUZZ_FUZZ_CHECK_H_
#define MORVELLIN_FUZZ_FUZZ_CHECK_H_

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                       \
  do {                                                                              \
    if (!(condition)) {                                                             \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                 \
    }                                                                               \
  } while (false)

#endif  // MORVELLIN_FUZZ_FUZZ_CHECK_H_
