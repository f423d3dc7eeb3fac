// Small helpers shared by the fuzz targets.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <string>

// Stops the run with a message: libFuzzer saves the input that got here.
#define QNL_FUZZ_CHECK(condition)                                                         \
  do {                                                                                    \
    if (!(condition)) {                                                                   \
      std::fprintf(stderr, "check failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
      std::abort();                                                                       \
    }                                                                                     \
  } while (0)

namespace qnl::fuzz {

// A piece of the input up to `max` bytes, as bytes.
inline std::string take(FuzzedDataProvider& data, size_t max) {
  return data.ConsumeRandomLengthString(max);
}

}  // namespace qnl::fuzz
