/* SPDX-License-Identifier: Apache-2.0 */
// All-or-nothing output: files are written under temporary names beside
// their final names and renamed only when every one of them is complete.
// Whatever has not been committed is removed when the set is destroyed (or
// the process is stopped by a signal), so a failure leaves no partial file
// behind.
//
// An output never destroys anything: a target that is an input of the same
// run (the same device and inode, whatever its name), a folder, a device or
// any other non-regular file is refused before anything is written. A
// target that is a symbolic link is written through: the new file replaces
// the link's final target atomically, in the target's folder, and the link
// itself stays, as editors and `sed -i` do.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

namespace inkdot::host {

class OutputFiles {
 public:
  OutputFiles() = default;
  OutputFiles(const OutputFiles &) = delete;
  OutputFiles &operator=(const OutputFiles &) = delete;
  ~OutputFiles();

  // Marks an input of the run: no output may replace it. Missing files are
  // skipped (reading them fails on its own). Thread-safe.
  void Protect(const std::filesystem::path &input);
  // Checks `finalPath` as a target and makes an empty temporary file for it
  // beside its final place, under a short name whatever the target's
  // length. Returns the temporary's path. Throws SettingError naming
  // `finalPath` when it may not be written. Thread-safe.
  std::filesystem::path Add(const std::filesystem::path &finalPath);
  // Renames every temporary file to its final name. Throws Error on failure
  // (files already renamed stay).
  void Commit();

 private:
  struct Entry {
    std::filesystem::path temporary;
    std::filesystem::path final;  // symbolic links resolved
    // Standard output ("-") plugs in here: an entry that streams its
    // finished temporary to the standard output at Commit and then removes
    // it, instead of renaming it.
  };
  std::filesystem::path Resolve(const std::filesystem::path &finalPath) const;
  std::mutex mutex_;
  std::set<std::pair<dev_t, ino_t>> inputs_;
  std::vector<Entry> entries_;
  bool committed_ = false;
};

// Makes an empty file with a short, unused name (".inkdot-" and six
// characters) in `folder`, registered for removal on a stopping signal.
// Throws Error naming `shownAs` when the folder cannot take it.
std::filesystem::path MakeTemporaryFile(const std::filesystem::path &folder,
                                        const std::filesystem::path &shownAs);

}  // namespace inkdot::host
