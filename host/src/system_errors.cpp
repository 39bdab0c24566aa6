// SPDX-License-Identifier: Apache-2.0
#include "inkdot/host/system_errors.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "inkdot/host/errors.h"

namespace inkdot::host {

std::string PlainReason(int errorNumber) {
  switch (errorNumber) {
    case ENOENT: return "no such file or folder";
    case ENOTDIR: return "a part of the path is not a folder";
    case EDQUOT: return "disk quota exceeded";
    default: break;
  }
  // The C library's wording ("Permission denied", "No space left on
  // device", "Is a directory", "File too large"), in lower case.
  std::string text = std::strerror(errorNumber);
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

std::string PlainReason(const std::error_code &error) {
  if (error.category() == std::generic_category() || error.category() == std::system_category()) {
    return PlainReason(error.value());
  }
  return error.message();
}

namespace {

struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

[[noreturn]] void Fail(const std::filesystem::path &path, const std::string &problem) {
  throw Error(path.string() + ": " + problem);
}

}  // namespace

std::vector<uint8_t> ReadCappedFile(const std::filesystem::path &path, uint64_t maxBytes,
                                    const std::string &what) {
  Descriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  if (file.fd < 0) Fail(path, "cannot open the file: " + PlainReason(errno));
  struct stat info {};
  if (::fstat(file.fd, &info) != 0) Fail(path, "cannot read the file: " + PlainReason(errno));
  if (S_ISDIR(info.st_mode)) Fail(path, "cannot read the file: is a directory");
  const std::string tooLarge = "larger than the " + std::to_string(maxBytes) + " bytes " + what +
                               " can hold";
  if (S_ISREG(info.st_mode) && static_cast<uint64_t>(info.st_size) > maxBytes) {
    Fail(path, tooLarge + " (" + std::to_string(info.st_size) + " bytes)");
  }
  // Devices and pipes have no size: one byte past the cap is enough to
  // know the file is too large.
  std::vector<uint8_t> bytes;
  uint8_t block[65536];
  for (;;) {
    const uint64_t room = maxBytes + 1 - bytes.size();
    const ssize_t got = ::read(file.fd, block, static_cast<size_t>(std::min<uint64_t>(room, sizeof block)));
    if (got < 0) {
      if (errno == EINTR) continue;
      Fail(path, "cannot read the file: " + PlainReason(errno));
    }
    if (got == 0) break;
    bytes.insert(bytes.end(), block, block + got);
    if (bytes.size() > maxBytes) Fail(path, tooLarge);
  }
  return bytes;
}

}  // namespace inkdot::host
