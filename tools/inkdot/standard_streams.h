/* SPDX-License-Identifier: Apache-2.0 */
// Standard input and output in place of files, as "-". Standard input is
// read once, whole, into a private temporary folder, since the TIFF reader
// seeks and every reader sniffs the format first; it is never reopened.
// "-o -" has the single output written into that folder and then copied to
// standard output. The folder goes when the object does.
#pragma once

#include <filesystem>
#include <string>

namespace inkdot::cli {

inline bool IsStandardStream(const std::filesystem::path &path) { return path == "-"; }

class StandardStreams {
 public:
  StandardStreams() = default;
  StandardStreams(const StandardStreams &) = delete;
  StandardStreams &operator=(const StandardStreams &) = delete;
  ~StandardStreams();

  // `path`, or for "-" a copy of standard input named `name` (taken once:
  // a second "-" is refused).
  std::filesystem::path Input(const std::filesystem::path &path, const std::string &name);
  // A place for an output that goes to standard output: a file `name`, or a
  // folder when `name` ends in '/'.
  std::filesystem::path Output(const std::string &name);
  // Copies a finished output file to standard output.
  static void CopyToStdout(const std::filesystem::path &file);
  // `message` with the private folder's paths put as the user gave them.
  std::string Reword(const std::string &message) const;

 private:
  const std::filesystem::path &Folder();
  std::filesystem::path folder_;
  std::filesystem::path input_;
};

}  // namespace inkdot::cli
