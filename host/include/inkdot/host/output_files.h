// All-or-nothing output: files are written under temporary names beside
// their final names and renamed only when every one of them is complete.
// Whatever has not been committed is removed when the set is destroyed, so
// a failure leaves no partial file behind.
#pragma once

#include <filesystem>
#include <mutex>
#include <vector>

namespace inkdot::host {

class OutputFiles {
 public:
  OutputFiles() = default;
  OutputFiles(const OutputFiles &) = delete;
  OutputFiles &operator=(const OutputFiles &) = delete;
  ~OutputFiles();

  // Returns the temporary path to write `finalPath` to. Thread-safe.
  std::filesystem::path Add(const std::filesystem::path &finalPath);
  // Renames every temporary file to its final name. Throws Error on failure
  // (files already renamed stay).
  void Commit();

 private:
  struct Entry {
    std::filesystem::path temporary;
    std::filesystem::path final;
  };
  std::mutex mutex_;
  std::vector<Entry> entries_;
  bool committed_ = false;
};

}  // namespace inkdot::host
