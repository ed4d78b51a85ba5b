// A one-line progress bar on standard error for long work: percentage,
// bar, rate and time left. Silent when standard error is not a terminal
// unless forced, so scripted runs stay clean.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace qvtool {

class ProgressBar {
 public:
  explicit ProgressBar(std::string label, bool force = false);
  ~ProgressBar();
  // Update redraws at most every 100 ms; `done` and `total` in bytes or items.
  void Update(std::uint64_t done, std::uint64_t total);
  // Finish draws the final state and ends the line.
  void Finish();

 private:
  std::string label_;
  bool enabled_;
  bool finished_ = false;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point last_draw_{};
  std::uint64_t done_ = 0, total_ = 0;
  void Draw();
};

}  // namespace qvtool
