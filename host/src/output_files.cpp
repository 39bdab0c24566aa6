// SPDX-License-Identifier: Apache-2.0
#include "inkdot/host/output_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>

#include "inkdot/host/errors.h"
#include "inkdot/host/system_errors.h"
#include "inkdot/host/temporary_files.h"

namespace inkdot::host {

namespace {

// Symbolic links followed before a target is called a loop, as the kernel
// counts them.
constexpr int kMaxLinks = 40;

[[noreturn]] void Refuse(const std::filesystem::path &path, const std::string &problem) {
  throw SettingError(path.string() + ": " + problem);
}

}  // namespace

std::filesystem::path MakeTemporaryFile(const std::filesystem::path &folder,
                                        const std::filesystem::path &shownAs) {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937_64 random{std::random_device{}() ^
                                      (static_cast<uint64_t>(::getpid()) << 32)};
  const std::filesystem::path where = folder.empty() ? "." : folder;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = ".inkdot-";
    for (int i = 0; i < 6; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
    const std::filesystem::path path = where / name;
    RegisterTemporary(path, TemporaryKind::kFile);
    // Read and write for everyone the umask allows, as a new file gets.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      return path;
    }
    const int error = errno;
    ForgetTemporary(path);
    if (error != EEXIST) {
      throw Error(shownAs.string() + ": cannot create the file: " + PlainReason(error));
    }
  }
  throw Error(shownAs.string() + ": cannot create the file: no unused temporary name");
}

OutputFiles::~OutputFiles() {
  if (committed_) return;
  for (const Entry &entry : entries_) {
    std::error_code ignored;
    std::filesystem::remove(entry.temporary, ignored);
    ForgetTemporary(entry.temporary);
  }
}

void OutputFiles::Protect(const std::filesystem::path &input) {
  struct stat info {};
  if (::stat(input.c_str(), &info) != 0) return;
  std::lock_guard<std::mutex> lock(mutex_);
  inputs_.emplace(info.st_dev, info.st_ino);
}

std::filesystem::path OutputFiles::Resolve(const std::filesystem::path &finalPath) const {
  std::filesystem::path path = finalPath;
  for (int links = 0;; ++links) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
      if (errno == ENOENT) return path;  // a new file
      Refuse(finalPath, "cannot write the file: " + PlainReason(errno));
    }
    if (!S_ISLNK(info.st_mode)) {
      if (S_ISDIR(info.st_mode)) Refuse(finalPath, "cannot write the file: is a directory");
      if (!S_ISREG(info.st_mode)) {
        Refuse(finalPath, "cannot write the file: it is a device, pipe or socket, not a regular "
                          "file");
      }
      return path;
    }
    if (links == kMaxLinks) Refuse(finalPath, "cannot write the file: " + PlainReason(ELOOP));
    std::error_code error;
    const std::filesystem::path target = std::filesystem::read_symlink(path, error);
    if (error) Refuse(finalPath, "cannot write the file: " + PlainReason(error));
    path = target.is_absolute() ? target : path.parent_path() / target;
  }
}

std::filesystem::path OutputFiles::Add(const std::filesystem::path &finalPath) {
  if (finalPath.empty()) throw SettingError("an output file name is empty");
  const std::filesystem::path target = Resolve(finalPath);
  struct stat info {};
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (::stat(target.c_str(), &info) == 0 && inputs_.count({info.st_dev, info.st_ino})) {
      Refuse(finalPath, "is an input of this run; writing there would replace it");
    }
    for (const Entry &entry : entries_) {
      if (entry.final == target) Refuse(finalPath, "is written twice in this run");
    }
  }
  const std::filesystem::path temporary = MakeTemporaryFile(target.parent_path(), finalPath);
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.push_back({temporary, target});
  return temporary;
}

void OutputFiles::Commit() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const Entry &entry : entries_) {
    std::error_code error;
    std::filesystem::rename(entry.temporary, entry.final, error);
    if (error) {
      throw Error(entry.final.string() + ": cannot put the finished file in place: " +
                  PlainReason(error));
    }
    ForgetTemporary(entry.temporary);
  }
  committed_ = true;
}

}  // namespace inkdot::host
