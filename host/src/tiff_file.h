/* SPDX-License-Identifier: Apache-2.0 */
// Internal: a libtiff handle whose errors are collected per handle (never
// printed), so that several threads can read and write TIFF files at once.
#pragma once

#include <tiffio.h>

#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

namespace inkdot::host::detail {

class TiffFile {
 public:
  TiffFile(const std::filesystem::path &path, const char *mode) {
    TIFFOpenOptions *options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, &TiffFile::OnError, this);
    TIFFOpenOptionsSetWarningHandlerExtR(options, &TiffFile::OnWarning, this);
    tiff_ = TIFFOpenExt(path.c_str(), mode, options);
    TIFFOpenOptionsFree(options);
  }
  ~TiffFile() {
    if (tiff_) TIFFClose(tiff_);
  }
  TiffFile(const TiffFile &) = delete;
  TiffFile &operator=(const TiffFile &) = delete;

  TIFF *get() const { return tiff_; }
  // Closes the file, flushing what is left; false when that failed.
  bool Close() {
    if (!tiff_) return false;
    TIFFClose(tiff_);
    tiff_ = nullptr;
    return errors_.empty();
  }
  const std::string &errors() const { return errors_; }
  std::string LastError(const char *fallback) const {
    return errors_.empty() ? fallback : errors_;
  }

 private:
  static int OnError(TIFF *, void *self, const char *module, const char *format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    auto *file = static_cast<TiffFile *>(self);
    if (!file->errors_.empty()) file->errors_ += "; ";
    file->errors_ += module ? std::string(module) + ": " + text : std::string(text);
    return 1;
  }
  static int OnWarning(TIFF *, void *, const char *, const char *, va_list) { return 1; }

  TIFF *tiff_ = nullptr;
  std::string errors_;
};

}  // namespace inkdot::host::detail
