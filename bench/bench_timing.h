// Timing of the ratio runs the list benchmarks print: the best wall and
// thread CPU time of a piece of work over several rounds, which is robust on
// a busy machine.
#pragma once

#include <ctime>

#include <algorithm>

inline double Now(clockid_t clock) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// Best (wall, cpu) milliseconds of `fn` over the rounds it was run.
struct Best {
  double wall = 1e300, cpu = 1e300;
  template <class Fn>
  void Run(Fn&& fn) {
    const double w0 = Now(CLOCK_MONOTONIC), c0 = Now(CLOCK_THREAD_CPUTIME_ID);
    fn();
    wall = std::min(wall, Now(CLOCK_MONOTONIC) - w0);
    cpu = std::min(cpu, Now(CLOCK_THREAD_CPUTIME_ID) - c0);
  }
};
