/* SPDX-License-Identifier: Apache-2.0 */
// The refusal of a resource that does not follow its format: which field,
// at which byte offset, and what is wrong with it. The caller knows which
// file and resource id the bytes came from and adds them.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace inkdot::formats {

class FormatError : public std::runtime_error {
 public:
  FormatError(std::string field, uint64_t offset, std::string problem);

  const std::string &field() const { return field_; }
  uint64_t offset() const { return offset_; }
  const std::string &problem() const { return problem_; }

 private:
  std::string field_;
  uint64_t offset_;
  std::string problem_;
};

}  // namespace inkdot::formats
