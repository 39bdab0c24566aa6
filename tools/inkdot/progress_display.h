/* SPDX-License-Identifier: Apache-2.0 */
// A progress bar on standard error, drawn only when standard error is a
// terminal: pages and rows done and the time left.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "inkdot/host/print_job.h"

namespace inkdot::cli {

class ProgressDisplay {
 public:
  // Draws nothing unless `enabled` and standard error is a terminal.
  ProgressDisplay(const host::PrintProgress &progress, bool enabled);
  ~ProgressDisplay();

 private:
  void Draw();

  const host::PrintProgress &progress_;
  std::chrono::steady_clock::time_point start_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;
  std::thread thread_;
};

}  // namespace inkdot::cli
