/* SPDX-License-Identifier: Apache-2.0 */
// What the host takes on from one input, checked before anything is
// allocated, so that a few bytes of header or a stray option can never ask
// for gigabytes or hours of work. Every figure here is documented in the
// README ("Limits").
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace inkdot::host {

// The memory one input may take at once: whole-image decoding (interlaced
// PNG, tiled TIFF), dot planes read back for a preview. A caller may raise
// it (inkdot's --memory-limit).
inline constexpr uint64_t kDefaultMemoryBudget = 256ull << 20;

// Device pages: at most this many dots a side and in all (a 2^17-dot side
// is 91 inches at 1440 dpi; 2^31 dots hold an A0 page at 1440 x 720 dpi).
inline constexpr uint64_t kMaxPageSide = 1ull << 17;
inline constexpr uint64_t kMaxPageDots = 1ull << 31;

// The image resolutions a user may give (--input-dpi).
inline constexpr double kMinInputDpi = 1;
inline constexpr double kMaxInputDpi = 100000;

// The largest file read whole: a profile manifest, one resource.
inline constexpr uint64_t kMaxManifestBytes = 1ull << 20;
inline constexpr uint64_t kMaxResourceBytes = 16ull << 20;

// Checks `dpi` as a user-given image resolution: finite and within
// kMinInputDpi..kMaxInputDpi. Throws SettingError naming `what`.
void CheckInputDpi(double dpi, const std::string &what);

// The device size of a page of `width` x `height` image pixels at
// `xDpi` x `yDpi` (0: one pixel per dot), printed at `xResolution` x
// `yResolution`. Throws SettingError naming `image`, the page size asked
// for and the limit when the page breaks kMaxPageSide or kMaxPageDots.
struct PageSize {
  uint32_t width = 0;
  uint32_t height = 0;
};
PageSize DevicePageSize(const std::filesystem::path &image, uint32_t width, uint32_t height,
                        double xDpi, double yDpi, uint32_t xResolution, uint32_t yResolution);

// Refuses a preview of about `width` x `height` pixels (three bytes each,
// held whole until it is written) above `memoryBudget`, naming `preview`.
void CheckPreviewSize(const std::filesystem::path &preview, double width, double height,
                      uint64_t memoryBudget);

// "256 MiB", for messages.
std::string MebibyteText(uint64_t bytes);

}  // namespace inkdot::host
