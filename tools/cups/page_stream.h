/* SPDX-License-Identifier: Apache-2.0 */
// The driver's device data: a stream of finished pages, each one the same
// dot-planes TIFF that `inkdot print` writes (one image per ink), so that
// every page describes itself (size, depth, resolution, ink names).
//
//   stream  = "INKDOTPS" version(u8 = 1) page* end
//   page    = "PAGE" number(u32, from 1) length(u64) TIFF bytes
//   end     = "DONE" pages(u32)
//
// Numbers are big-endian. A page record is written only once its TIFF is
// complete, and the end record only after the last page, so a stream cut
// short (a cancelled or failed job) is told apart from a finished one.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <vector>

namespace inkdot::cups {

class PageStreamWriter {
 public:
  // Writes the stream header to `out`. Throws host::Error on a write error.
  explicit PageStreamWriter(std::FILE *out);
  // Appends the TIFF at `tiff` as the next page.
  void AddPage(const std::filesystem::path &tiff);
  // Writes the end record and flushes.
  void Finish();
  uint32_t pages() const { return pages_; }

 private:
  void Write(const void *data, size_t size);
  std::FILE *out_;
  uint32_t pages_ = 0;
};

// Splits a whole stream into its pages' TIFF bytes. Throws host::Error when
// the stream is not one, or is cut short before its end record.
std::vector<std::vector<uint8_t>> ReadPageStream(const std::vector<uint8_t> &stream);

}  // namespace inkdot::cups
