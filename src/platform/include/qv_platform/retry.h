// The one form of "N tries, M ms apart" used by every retry of the library.
// Pauses go through the file seam's sleep (qvp::Ops().sleep_ms), so a test
// that puts its own table in force runs every retry without real sleeps and
// can count the time that would have been slept.
#pragma once

#include <type_traits>

#include "qv_platform/fileio.h"

namespace qvp {

// What one try reports: done (stop, success), again (pause and try once
// more while tries remain) or stop (give up at once, no further pause).
enum class TryResult { kDone, kAgain, kStop };

struct RetryRule {
  int tries = 3;              // at least one try is always made
  unsigned interval_ms = 0;   // the pause after a try that asked for another
  // false: pauses only between tries (N tries, N-1 pauses); true: a pause
  // also follows the last failed try, as the waits that poll for something
  // to appear do (N tries, N pauses).
  bool pause_after_last = false;
};

// Retry calls attempt(n) for n = 1.. until it reports done or stop, or the
// rule's tries are used up; true only when a try reported done. `attempt`
// may return bool (true: done, false: again) or a TryResult.
template <class Attempt>
bool Retry(const RetryRule& rule, Attempt&& attempt) {
  const int tries = rule.tries > 0 ? rule.tries : 1;
  for (int n = 1;; ++n) {
    TryResult r;
    if constexpr (std::is_same_v<decltype(attempt(n)), bool>)
      r = attempt(n) ? TryResult::kDone : TryResult::kAgain;
    else
      r = attempt(n);
    if (r == TryResult::kDone) return true;
    if (r == TryResult::kStop) return false;
    const bool last = n >= tries;
    if ((!last || rule.pause_after_last) && rule.interval_ms > 0) Ops().sleep_ms(rule.interval_ms);
    if (last) return false;
  }
}

}  // namespace qvp
