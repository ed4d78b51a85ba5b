#include "progress.h"

#include <unistd.h>

#include <cstdio>

namespace qvtool {

ProgressBar::ProgressBar(std::string label, bool force)
    : label_(std::move(label)), enabled_(force || ::isatty(STDERR_FILENO)), start_(std::chrono::steady_clock::now()) {}

ProgressBar::~ProgressBar() { Finish(); }

void ProgressBar::Update(std::uint64_t done, std::uint64_t total) {
  done_ = done;
  total_ = total;
  const auto now = std::chrono::steady_clock::now();
  if (now - last_draw_ < std::chrono::milliseconds(100)) return;
  last_draw_ = now;
  Draw();
}

void ProgressBar::Finish() {
  if (finished_) return;
  finished_ = true;
  if (!enabled_) return;
  Draw();
  std::fputc('\n', stderr);
}

void ProgressBar::Draw() {
  if (!enabled_) return;
  const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  const double frac = total_ ? static_cast<double>(done_) / static_cast<double>(total_) : 1.0;
  const double rate = secs > 0 ? static_cast<double>(done_) / secs : 0;
  const double left = rate > 0 && total_ > done_ ? static_cast<double>(total_ - done_) / rate : 0;
  constexpr int kWidth = 30;
  const int fill = static_cast<int>(frac * kWidth);
  char bar[kWidth + 1];
  for (int i = 0; i < kWidth; ++i) bar[i] = i < fill ? '#' : '.';
  bar[kWidth] = 0;
  std::fprintf(stderr, "\r%s [%s] %5.1f%% %8.1f MiB/s  %4.0fs left ", label_.c_str(), bar, frac * 100.0,
               rate / (1024.0 * 1024.0), left);
  std::fflush(stderr);
}

}  // namespace qvtool
