// SPDX-License-Identifier: Apache-2.0
#include "standard_streams.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

#include "inkdot/host/errors.h"
#include "inkdot/host/temporary_files.h"

namespace inkdot::cli {

StandardStreams::~StandardStreams() {
  std::error_code ignored;
  if (!folder_.empty()) {
    std::filesystem::remove_all(folder_, ignored);
    host::ForgetTemporary(folder_);
  }
}

const std::filesystem::path &StandardStreams::Folder() {
  if (folder_.empty()) {
    std::string pattern = (std::filesystem::temp_directory_path() / "inkdot-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
      throw host::Error(std::string("cannot make a temporary folder: ") + std::strerror(errno));
    }
    folder_ = pattern;
    // A stopping signal removes the folder with the run's other temporaries.
    host::RegisterTemporary(folder_, host::TemporaryKind::kTree);
  }
  return folder_;
}

std::filesystem::path StandardStreams::Input(const std::filesystem::path &path,
                                             const std::string &name) {
  if (!IsStandardStream(path)) return path;
  if (!input_.empty()) throw host::SettingError("standard input (-) can be read only once");
  input_ = Folder() / name;
  std::ofstream out(input_, std::ios::binary);
  std::vector<char> buffer(1 << 16);
  for (;;) {
    const ssize_t got = read(STDIN_FILENO, buffer.data(), buffer.size());
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      throw host::ImageError(std::string("standard input: cannot read: ") + std::strerror(errno));
    }
    out.write(buffer.data(), got);
  }
  out.close();
  if (!out) throw host::Error("cannot keep a copy of standard input in " + folder_.string());
  return input_;
}

std::filesystem::path StandardStreams::Output(const std::string &name) {
  return Folder() / name;
}

void StandardStreams::CopyToStdout(const std::filesystem::path &file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<char> buffer(1 << 16);
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const size_t got = static_cast<size_t>(in.gcount());
    if (got && std::fwrite(buffer.data(), 1, got, stdout) != got) break;
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    throw host::Error(std::string("cannot write to standard output: ") + std::strerror(errno));
  }
}

std::string StandardStreams::Reword(const std::string &message) const {
  if (input_.empty()) return message;
  std::string result = message;
  const std::string from = input_.string();
  for (size_t at = result.find(from); at != std::string::npos; at = result.find(from, at)) {
    result.replace(at, from.size(), "standard input");
  }
  return result;
}

}  // namespace inkdot::cli
