#include "inkdot/host/output_files.h"

#include <unistd.h>

#include "inkdot/host/errors.h"

namespace inkdot::host {

OutputFiles::~OutputFiles() {
  if (committed_) return;
  for (const Entry &entry : entries_) {
    std::error_code ignored;
    std::filesystem::remove(entry.temporary, ignored);
  }
}

std::filesystem::path OutputFiles::Add(const std::filesystem::path &finalPath) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::filesystem::path temporary = finalPath.parent_path() /
                                    ("." + finalPath.filename().string() + ".partial-" +
                                     std::to_string(::getpid()));
  entries_.push_back({temporary, finalPath});
  return temporary;
}

void OutputFiles::Commit() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const Entry &entry : entries_) {
    std::error_code error;
    std::filesystem::rename(entry.temporary, entry.final, error);
    if (error) {
      throw Error(entry.final.string() + ": cannot put the finished file in place: " +
                  error.message());
    }
  }
  committed_ = true;
}

}  // namespace inkdot::host
