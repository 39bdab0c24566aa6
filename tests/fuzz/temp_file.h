/* SPDX-License-Identifier: Apache-2.0 */
// A file of the fuzzer's bytes for readers that take a path: one per
// process, rewritten for every input, removed at exit.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace inkdot::fuzz {

class TempFile {
 public:
  explicit TempFile(const std::string &name) {
    const char *dir = std::getenv("TMPDIR");
    path_ = std::filesystem::path(dir != nullptr ? dir : "/tmp") /
            ("inkdot-fuzz-" + std::to_string(getpid()) + "-" + name);
  }
  ~TempFile() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path &path() const { return path_; }

  // Writes `bytes` to the file `name` below the path, which then is a folder,
  // or to the path itself when `name` is empty.
  void Write(const uint8_t *bytes, size_t size, const std::string &name = {}) const {
    std::filesystem::path file = path_;
    if (!name.empty()) {
      std::filesystem::create_directories(path_);
      file /= name;
    }
    FILE *f = std::fopen(file.c_str(), "wb");
    if (f == nullptr) std::abort();
    if (size != 0 && std::fwrite(bytes, 1, size, f) != size) std::abort();
    std::fclose(f);
  }

 private:
  std::filesystem::path path_;
};

}  // namespace inkdot::fuzz
