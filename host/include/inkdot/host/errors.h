/* SPDX-License-Identifier: Apache-2.0 */
// Exceptions of the host SDK. Every failure a user can cause (a bad file, a
// refused setting, an engine result) arrives as one of these, with a message
// that names what is wrong.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace inkdot::host {

// Base of every host failure.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A resource file that does not follow its format.
class ValidationError : public Error {
 public:
  ValidationError(std::string file, int32_t resourceId, std::string field, uint64_t offset,
                  const std::string &problem);

  const std::string &file() const { return file_; }
  int32_t resourceId() const { return resourceId_; }
  const std::string &field() const { return field_; }
  uint64_t offset() const { return offset_; }

 private:
  std::string file_;
  int32_t resourceId_;
  std::string field_;
  uint64_t offset_;
};

// An image that cannot be read.
class ImageError : public Error {
 public:
  using Error::Error;
};

// A non-zero result of an engine operation.
class EngineError : public Error {
 public:
  EngineError(const std::string &operation, uint32_t code, const std::string &context = {});
  uint32_t code() const { return code_; }

 private:
  uint32_t code_;
};

// A user setting outside what the host accepts.
class SettingError : public Error {
 public:
  using Error::Error;
};

}  // namespace inkdot::host
