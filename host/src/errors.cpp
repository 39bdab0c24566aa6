// SPDX-License-Identifier: Apache-2.0
#include "inkdot/host/errors.h"

#include "inkdot/host/result_string.h"

namespace inkdot::host {

namespace {

std::string ValidationMessage(const std::string &file, int32_t resourceId,
                              const std::string &field, uint64_t offset,
                              const std::string &problem) {
  return file + " (resource " + std::to_string(resourceId) + "): " + field + " at byte " +
         std::to_string(offset) + ": " + problem;
}

std::string EngineMessage(const std::string &operation, uint32_t code,
                          const std::string &context) {
  std::string message = operation;
  if (!context.empty()) message += " (" + context + ")";
  return message + " failed with " + std::to_string(code) + ": " + inkdot_result_string(code);
}

}  // namespace

ValidationError::ValidationError(std::string file, int32_t resourceId, std::string field,
                                 uint64_t offset, const std::string &problem)
    : Error(ValidationMessage(file, resourceId, field, offset, problem)),
      file_(std::move(file)),
      resourceId_(resourceId),
      field_(std::move(field)),
      offset_(offset) {}

EngineError::EngineError(const std::string &operation, uint32_t code, const std::string &context)
    : Error(EngineMessage(operation, code, context)), code_(code) {}

}  // namespace inkdot::host
