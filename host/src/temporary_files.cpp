// SPDX-License-Identifier: Apache-2.0
#include "inkdot/host/temporary_files.h"

#include <pthread.h>
#include <signal.h>

#include <map>
#include <mutex>
#include <cstdlib>
#include <thread>

#include "inkdot/host/errors.h"

namespace inkdot::host {

namespace {

struct Registry {
  std::mutex mutex;
  std::map<std::filesystem::path, TemporaryKind> entries;
  bool stopping = false;
};

Registry &TheRegistry() {
  static Registry *registry = new Registry;  // outlives every static destructor
  return *registry;
}

// The stopping signals the process was not told to ignore: under nohup,
// SIGHUP stays ignored, and an ignored SIGPIPE or SIGXFSZ already turns
// into a failed write.
sigset_t StoppingSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ}) {
    struct sigaction current {};
    if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
    sigaddset(&set, signal);
  }
  return set;
}

void RemoveAll(Registry &registry) {
  for (const auto &[path, kind] : registry.entries) {
    std::error_code ignored;
    if (kind == TemporaryKind::kTree) {
      std::filesystem::remove_all(path, ignored);
    } else {
      std::filesystem::remove(path, ignored);  // a folder only when empty
    }
  }
}

[[noreturn]] void WaitAndStop(sigset_t set) {
  int signal = 0;
  while (sigwait(&set, &signal) != 0) {
  }
  Registry &registry = TheRegistry();
  {
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.stopping = true;
    // Files first, then the folders that held them.
    std::map<std::filesystem::path, TemporaryKind> folders;
    for (auto it = registry.entries.begin(); it != registry.entries.end();) {
      if (it->second == TemporaryKind::kEmptyFolder) {
        folders.insert(*it);
        it = registry.entries.erase(it);
      } else {
        ++it;
      }
    }
    RemoveAll(registry);
    registry.entries = std::move(folders);
    RemoveAll(registry);
  }
  // End by the same signal, as if it had never been caught.
  ::signal(signal, SIG_DFL);
  sigset_t one;
  sigemptyset(&one);
  sigaddset(&one, signal);
  pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
  ::raise(signal);
  std::_Exit(128 + signal);  // a signal whose default is to be ignored
}

}  // namespace

void RegisterTemporary(const std::filesystem::path &path, TemporaryKind kind) {
  Registry &registry = TheRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  if (registry.stopping) throw Error("stopping: no new files are made");
  registry.entries[path] = kind;
}

void ForgetTemporary(const std::filesystem::path &path) {
  Registry &registry = TheRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  registry.entries.erase(path);
}

void RemoveTemporariesOnSignals() {
  const sigset_t set = StoppingSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  std::thread(WaitAndStop, set).detach();
}

}  // namespace inkdot::host
