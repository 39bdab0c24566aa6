/* SPDX-License-Identifier: Apache-2.0 */
// Internal: the few EXIF facts the image readers use, from the body of an
// APP1 marker ("Exif\0\0" and a TIFF structure). Malformed or truncated
// data gives what was read before the fault, never an error: metadata
// must not stop a print that the pixels allow.
#pragma once

#include <cstddef>
#include <cstdint>

namespace inkdot::host::detail {

struct ExifFacts {
  uint32_t orientation = 0;  // 1..8 as stored; 0 when absent
  double xDpi = 0;           // 0 when absent or unusable
  double yDpi = 0;
};

ExifFacts ReadExif(const uint8_t *data, size_t size);

}  // namespace inkdot::host::detail
