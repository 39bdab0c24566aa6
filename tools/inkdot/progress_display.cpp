// SPDX-License-Identifier: Apache-2.0
#include "progress_display.h"

#include <unistd.h>

#include <cstdio>

namespace inkdot::cli {

namespace {
constexpr int kBarWidth = 30;
constexpr auto kInterval = std::chrono::milliseconds(200);
}  // namespace

ProgressDisplay::ProgressDisplay(const host::PrintProgress &progress, bool enabled)
    : progress_(progress), start_(std::chrono::steady_clock::now()) {
  if (!enabled || !::isatty(STDERR_FILENO)) return;
  thread_ = std::thread([this] {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!wake_.wait_for(lock, kInterval, [this] { return done_; })) Draw();
    std::fprintf(stderr, "\r%*s\r", kBarWidth + 50, "");
  });
}

ProgressDisplay::~ProgressDisplay() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void ProgressDisplay::Draw() {
  const uint32_t total = progress_.pagesTotal;
  if (total == 0) return;
  const double fraction =
      std::min(1.0, static_cast<double>(progress_.pageMillionths) / 1e6 / total);
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  char bar[kBarWidth + 1];
  const int filled = static_cast<int>(fraction * kBarWidth);
  for (int i = 0; i < kBarWidth; ++i) bar[i] = i < filled ? '#' : '-';
  bar[kBarWidth] = '\0';
  if (fraction > 0.01) {
    const double left = elapsed / fraction - elapsed;
    std::fprintf(stderr, "\r[%s] %3d%%  pages %u/%u  %.0f s left ", bar,
                 static_cast<int>(fraction * 100), progress_.pagesDone.load(), total, left);
  } else {
    std::fprintf(stderr, "\r[%s] %3d%%  pages %u/%u ", bar, static_cast<int>(fraction * 100),
                 progress_.pagesDone.load(), total);
  }
  std::fflush(stderr);
}

}  // namespace inkdot::cli
