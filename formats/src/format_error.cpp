// SPDX-License-Identifier: Apache-2.0
#include "inkdot/formats/format_error.h"

#include <utility>

namespace inkdot::formats {

FormatError::FormatError(std::string field, uint64_t offset, std::string problem)
    : std::runtime_error(field + " at byte " + std::to_string(offset) + ": " + problem),
      field_(std::move(field)),
      offset_(offset),
      problem_(std::move(problem)) {}

}  // namespace inkdot::formats
