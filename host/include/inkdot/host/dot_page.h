/* SPDX-License-Identifier: Apache-2.0 */
// Dot planes of one page: one plane per ink, 1 bit per pixel (single-size
// dots) or 2 bits (none, small, medium, large), rows packed most significant
// bits first. Written as one TIFF per page with one image per ink.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "inkdot/host/limits.h"
#include "inkdot/host/plane_sink.h"
#include "inkdot/host/profile.h"

namespace inkdot::host {

struct DotPage {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t bitsPerPixel = 1;  // 1 or 2
  uint32_t xDpi = 0;
  uint32_t yDpi = 0;
  std::vector<Ink> inks;                    // one per plane
  std::vector<std::vector<uint8_t>> planes;  // height × rowBytes() each

  size_t rowBytes() const { return (static_cast<size_t>(width) * bitsPerPixel + 7) / 8; }
  // Allocates zeroed planes for the inks, size and depth already set.
  void Allocate();
  // The size, depth, resolution and inks, without the planes.
  DotPage Shape() const { return {width, height, bitsPerPixel, xDpi, yDpi, inks, {}}; }
  // Calls `take` for every row y, top to bottom, with row y of plane k at
  // rows + k * rowBytes(), the layout the plane writers take.
  void ForEachRow(const std::function<void(uint32_t y, const uint8_t *rows)> &take) const;
  // The dot code (0..1 or 0..3) of pixel (x, y) in plane `plane`.
  uint8_t Code(size_t plane, uint32_t x, uint32_t y) const {
    const uint8_t byte = planes[plane][y * rowBytes() + x * bitsPerPixel / 8];
    const uint32_t shift = 8 - bitsPerPixel - (x * bitsPerPixel) % 8;
    return static_cast<uint8_t>((byte >> shift) & ((1u << bitsPerPixel) - 1));
  }
};

// How the planes' TIFF strips are compressed: deflate at its fastest level
// (the default: a page's time matters more than a few per cent of its size
// on its way to the printer), deflate at a middle level (files a few per
// cent smaller, the deflate taking half as long again), PackBits (runs of
// equal bytes: about half the size of none, for very little time) or not at
// all. Every TIFF reader takes all four; the decoded planes are the same.
enum class PlaneCompression { kDeflate, kFast, kNone, kPackBits };

// What file the planes go to: one TIFF per page holding every ink, or a
// netpbm file per ink (PBM for 1-bit planes, PGM with maxval 3 for 2-bit).
enum class PlaneFormat { kTiff, kNetpbm };

// Writes the page as a TIFF: one image per ink, named after the ink, with
// its display colour in the description, resolution tags set. Throws
// ImageError on failure.
void WriteDotPageTiff(const DotPage &page, const std::filesystem::path &path);

// Writes the same TIFF as WriteDotPageTiff from rows as they are made,
// without holding the page: each plane's strips are compressed whole as
// their rows arrive and written into the file (`path` with ".part" added),
// strip 0 of every plane, then strip 1, and so on, whatever thread wrote
// them; Finish adds one image directory per ink and renames the file to
// `path`.
class DotPageWriter : public PlaneSink {
 public:
  // `layout` gives the size, depth, resolution and inks; its planes are not
  // read. Messages name `shownAs` (`path` when empty): the file the user
  // asked for when `path` is a temporary one. Throws ImageError when the
  // file cannot be made.
  DotPageWriter(const DotPage &layout, const std::filesystem::path &path,
                PlaneCompression compression = PlaneCompression::kFast,
                const std::filesystem::path &shownAs = {});
  // Removes the unfinished file of a page that was not finished; `path`
  // is left as it was.
  ~DotPageWriter() override;
  DotPageWriter(const DotPageWriter &) = delete;
  DotPageWriter &operator=(const DotPageWriter &) = delete;

  // Row y of every plane, plane k at planes + k * planeStride; rows come in
  // order, every one of them.
  void TakeRow(uint32_t y, const uint8_t *planes, size_t planeStride) override;
  // Row y of plane k alone. Different planes may be written from different
  // threads at once; each plane's rows come in order.
  bool TakesPlaneRows() const override { return true; }
  void TakePlaneRow(size_t k, uint32_t y, const uint8_t *row) override;
  void Finish() override;

 private:
  struct Part;
  // Appends `size` bytes to the file (under fileMutex_ once the writing
  // threads run); returns where they went.
  uint32_t WriteAtEnd(const uint8_t *bytes, size_t size);
  // Appends the next strip in the file's order, plane k's (under fileMutex_).
  void WriteStrip(size_t k, std::span<const uint8_t> encoded);
  // Removes the unfinished file.
  void DiscardPart();
  DotPage layout_;
  PlaneCompression compression_;
  std::filesystem::path path_;
  std::filesystem::path partPath_;  // the file being written, renamed to path_ when whole
  std::filesystem::path shownAs_;
  std::vector<std::unique_ptr<Part>> parts_;
  std::FILE *file_ = nullptr;
  std::mutex fileMutex_;
  uint64_t end_ = 0;  // bytes written so far
  // Strips in the file's order (strip s of plane k is s * planes + k):
  // the next to write, and those encoded before their turn.
  uint64_t nextStrip_ = 0;
  std::map<uint64_t, std::vector<uint8_t>> waiting_;
};

// Reads a file written by WriteDotPageTiff. Throws ImageError for anything
// else, and for planes that together take more than `memoryBudget` bytes or
// a page beyond the device page limits.
DotPage ReadDotPageTiff(const std::filesystem::path &path,
                        uint64_t memoryBudget = kDefaultMemoryBudget);

}  // namespace inkdot::host
