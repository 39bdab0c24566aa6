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
  // Appended piece by piece: "." + string makes GCC 12 at -O3 warn of an
  // overlapping copy that cannot happen.
  std::string name = ".";
  name += finalPath.filename().string();
  name += ".partial-";
  name += std::to_string(::getpid());
  std::filesystem::path temporary = finalPath.parent_path() / name;
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
