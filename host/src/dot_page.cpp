// SPDX-License-Identifier: Apache-2.0
#include "inkdot/host/dot_page.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "inkdot/host/errors.h"
#include "inkdot/host/system_errors.h"
#include "inkdot/host/temporary_files.h"
#include "image_readers.h"
#include "strip_encoder.h"
#include "tiff_directory.h"
#include "tiff_file.h"

namespace inkdot::host {

using detail::ImageFailure;

namespace {

// Each image's description carries the ink's display colour so that planes
// can be previewed without their profile.
constexpr char kDescriptionPrefix[] = "inkdot dot plane; ink colour ";

// Why writing the file failed, in plain words: the system's reason (errno
// is cleared before each write).
std::string WriteFailure(int error) {
  return "writing the TIFF failed: " +
         (error != 0 ? PlainReason(error) : std::string("the data could not be written"));
}

}  // namespace

void DotPage::Allocate() {
  planes.assign(inks.size(), std::vector<uint8_t>(rowBytes() * height, 0));
}

void DotPage::ForEachRow(const std::function<void(uint32_t, const uint8_t *)> &take) const {
  const size_t bytes = rowBytes();
  std::vector<uint8_t> rows(bytes * planes.size());
  for (uint32_t y = 0; y < height; ++y) {
    for (size_t k = 0; k < planes.size(); ++k) {
      std::memcpy(rows.data() + k * bytes, planes[k].data() + y * bytes, bytes);
    }
    take(y, rows.data());
  }
}

namespace {

// Rows in each strip: about 64 KiB a strip, what readers expect to hold.
uint32_t RowsPerStrip(const DotPage &page) {
  return static_cast<uint32_t>(std::max<size_t>(1, 65536 / std::max<size_t>(1, page.rowBytes())));
}

// Plane k's image directory, its strips at `offsets`.
detail::TiffDirectory PlaneDirectory(const DotPage &page, uint16_t plane,
                                     PlaneCompression compression,
                                     std::span<const uint32_t> offsets,
                                     std::span<const uint32_t> sizes) {
  const Ink &ink = page.inks[plane];
  char description[64];
  std::snprintf(description, sizeof description, "%s#%02X%02X%02X", kDescriptionPrefix,
                ink.colour[0], ink.colour[1], ink.colour[2]);
  detail::TiffDirectory d;
  d.Long(TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
  d.Long(TIFFTAG_IMAGEWIDTH, page.width);
  d.Long(TIFFTAG_IMAGELENGTH, page.height);
  d.Short(TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(page.bitsPerPixel));
  d.Short(TIFFTAG_COMPRESSION, detail::TiffCompressionTag(compression));
  // A set bit is ink on paper: 0 is white.
  d.Short(TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  d.Ascii(TIFFTAG_IMAGEDESCRIPTION, description);
  d.Longs(TIFFTAG_STRIPOFFSETS, offsets);
  d.Short(TIFFTAG_SAMPLESPERPIXEL, 1);
  d.Long(TIFFTAG_ROWSPERSTRIP, RowsPerStrip(page));
  d.Longs(TIFFTAG_STRIPBYTECOUNTS, sizes);
  d.Rational(TIFFTAG_XRESOLUTION, page.xDpi, 1);
  d.Rational(TIFFTAG_YRESOLUTION, page.yDpi, 1);
  d.Short(TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  d.Ascii(TIFFTAG_PAGENAME, ink.name);
  d.Short(TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  const uint16_t pageNumber[] = {plane, static_cast<uint16_t>(page.inks.size())};
  d.Shorts(TIFFTAG_PAGENUMBER, pageNumber);
  d.Ascii(TIFFTAG_SOFTWARE, "inkdot");
  return d;
}

// Classic TIFF offsets are 32 bits.
constexpr uint64_t kMaxTiffBytes = 0xFFFFFFFFu;

}  // namespace

// One plane's strips, each encoded whole as its last row arrives and
// written straight into the page's file. The file holds strip 0 of every
// plane, then strip 1 of every plane, and so on, whichever thread finishes
// first: the same page gives the same file.
struct DotPageWriter::Part {
  std::vector<uint8_t> strip;  // rows of the strip being filled
  uint32_t rows = 0;           // how many of them are filled
  uint32_t encoded = 0;        // strips encoded so far
  detail::StripEncoder encoder;
  std::vector<uint32_t> offsets, sizes;  // of the strips in the file, in order

  Part(PlaneCompression compression, const DotPage &layout)
      : strip(layout.rowBytes() * RowsPerStrip(layout)),
        encoder(compression, layout.rowBytes(), RowsPerStrip(layout)) {}
};

DotPageWriter::DotPageWriter(const DotPage &layout, const std::filesystem::path &path,
                             PlaneCompression compression, const std::filesystem::path &shownAs)
    : layout_(layout.Shape()),
      compression_(compression),
      path_(path),
      partPath_(path.string() + ".part"),
      shownAs_(shownAs.empty() ? path : shownAs) {
  // The page is written beside `path` and renamed into place when it is
  // whole, so that a failed page leaves `path` as it was.
  RegisterTemporary(partPath_, TemporaryKind::kFile);
  errno = 0;
  file_ = std::fopen(partPath_.c_str(), "wb");
  if (!file_) {
    const int error = errno;
    ForgetTemporary(partPath_);
    ImageFailure(shownAs_, "cannot create the TIFF: " +
                               (error != 0 ? PlainReason(error) : std::string("open failed")));
  }
  // The header is written last, when the first directory's place is known.
  const std::array<uint8_t, 8> header{};
  WriteAtEnd(header.data(), header.size());
  for (uint16_t k = 0; k < layout_.inks.size(); ++k) {
    parts_.push_back(std::make_unique<Part>(compression_, layout_));
  }
}

DotPageWriter::~DotPageWriter() {
  if (!file_) return;  // finished, or never made
  std::fclose(file_);
  DiscardPart();
}

void DotPageWriter::DiscardPart() {
  std::error_code ignored;
  std::filesystem::remove(partPath_, ignored);
  ForgetTemporary(partPath_);
}

uint32_t DotPageWriter::WriteAtEnd(const uint8_t *bytes, size_t size) {
  if (end_ + size > kMaxTiffBytes) {
    ImageFailure(shownAs_, "writing the TIFF failed: the planes take more than the 4 GiB a TIFF "
                           "can hold; choose a smaller page or a compression");
  }
  errno = 0;
  if (std::fwrite(bytes, 1, size, file_) != size) ImageFailure(shownAs_, WriteFailure(errno));
  const auto at = static_cast<uint32_t>(end_);
  end_ += size;
  return at;
}

void DotPageWriter::TakeRow(uint32_t y, const uint8_t *planes, size_t planeStride) {
  for (size_t k = 0; k < parts_.size(); ++k) TakePlaneRow(k, y, planes + k * planeStride);
}

void DotPageWriter::TakePlaneRow(size_t k, uint32_t y, const uint8_t *row) {
  Part &part = *parts_[k];
  const size_t bytes = layout_.rowBytes();
  std::memcpy(part.strip.data() + part.rows * bytes, row, bytes);
  if (++part.rows * bytes < part.strip.size() && y + 1 < layout_.height) return;
  const std::span<const uint8_t> encoded = part.encoder.Encode(part.strip.data(), part.rows);
  part.rows = 0;
  const uint64_t order = uint64_t{part.encoded++} * parts_.size() + k;
  std::lock_guard<std::mutex> lock(fileMutex_);
  if (order != nextStrip_) {
    // An earlier strip of another plane is still being encoded.
    waiting_.emplace(order, std::vector<uint8_t>(encoded.begin(), encoded.end()));
    return;
  }
  WriteStrip(k, encoded);
  for (auto next = waiting_.begin(); next != waiting_.end() && next->first == nextStrip_;
       next = waiting_.erase(next)) {
    WriteStrip(next->first % parts_.size(), next->second);
  }
}

void DotPageWriter::WriteStrip(size_t k, std::span<const uint8_t> encoded) {
  Part &part = *parts_[k];
  part.offsets.push_back(WriteAtEnd(encoded.data(), encoded.size()));
  part.sizes.push_back(static_cast<uint32_t>(encoded.size()));
  ++nextStrip_;
}

void DotPageWriter::Finish() {
  const uint32_t rowsPerStrip = RowsPerStrip(layout_);
  std::vector<detail::TiffDirectory> directories;
  for (uint16_t k = 0; k < parts_.size(); ++k) {
    const Part &part = *parts_[k];
    if (part.sizes.size() != (layout_.height + rowsPerStrip - 1) / rowsPerStrip) {
      ImageFailure(shownAs_, "writing the TIFF failed: plane " + std::to_string(k) +
                                 " did not receive every row");
    }
    directories.push_back(PlaneDirectory(layout_, k, compression_, part.offsets, part.sizes));
  }
  // The directories follow the strips, each on a word boundary, chained in
  // plane order.
  if (end_ % 2 != 0) {
    const uint8_t pad = 0;
    WriteAtEnd(&pad, 1);
  }
  std::vector<uint32_t> at;
  uint64_t next = end_;
  for (const auto &directory : directories) {
    at.push_back(static_cast<uint32_t>(next));
    next += directory.Size();
  }
  for (size_t k = 0; k < directories.size(); ++k) {
    const std::vector<uint8_t> bytes =
        directories[k].Bytes(at[k], k + 1 < directories.size() ? at[k + 1] : 0);
    WriteAtEnd(bytes.data(), bytes.size());
  }
  const std::array<uint8_t, 8> header = detail::TiffHeader(at.empty() ? 0 : at[0]);
  errno = 0;
  if (std::fseek(file_, 0, SEEK_SET) != 0 ||
      std::fwrite(header.data(), 1, header.size(), file_) != header.size()) {
    ImageFailure(shownAs_, WriteFailure(errno));
  }
  errno = 0;
  const bool closed = std::fclose(file_) == 0;
  const int error = errno;
  file_ = nullptr;
  std::error_code renamed;
  if (closed) std::filesystem::rename(partPath_, path_, renamed);
  if (!closed || renamed) {
    DiscardPart();
    ImageFailure(shownAs_, WriteFailure(closed ? renamed.value() : error));
  }
  ForgetTemporary(partPath_);
}

void WriteDotPageTiff(const DotPage &page, const std::filesystem::path &path) {
  DotPageWriter writer(page, path);
  page.ForEachRow([&](uint32_t y, const uint8_t *rows) { writer.TakeRow(y, rows, page.rowBytes()); });
  writer.Finish();
}

DotPage ReadDotPageTiff(const std::filesystem::path &path, uint64_t memoryBudget) {
  detail::TiffFile tiff(path, "r");
  if (!tiff.get()) ImageFailure(path, "cannot read the TIFF: " + tiff.LastError("open failed"));
  TIFF *t = tiff.get();
  const uint64_t planeCount = TIFFNumberOfDirectories(t);
  DotPage page;
  uint32_t index = 0;
  do {
    uint32_t width = 0, height = 0;
    uint16_t bits = 0, samples = 1, photometric = 0;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric);
    const char *description = nullptr;
    const char *name = nullptr;
    TIFFGetField(t, TIFFTAG_IMAGEDESCRIPTION, &description);
    TIFFGetField(t, TIFFTAG_PAGENAME, &name);
    const std::string where = "image " + std::to_string(index + 1);
    if ((bits != 1 && bits != 2) || samples != 1 || photometric != PHOTOMETRIC_MINISWHITE) {
      ImageFailure(path, where + " is not a dot plane (1 or 2 bits, one sample, 0 = white)");
    }
    Ink ink;
    ink.name = name ? name : "ink " + std::to_string(index);
    ink.colour = {0, 0, 0};
    const size_t prefix = sizeof kDescriptionPrefix - 1;
    if (!description || std::strncmp(description, kDescriptionPrefix, prefix) != 0 ||
        !ParseHexColour(description + prefix, &ink.colour)) {
      ImageFailure(path, where + " carries no ink colour; it was not written by inkdot print");
    }
    if (index == 0) {
      page.width = width;
      page.height = height;
      page.bitsPerPixel = bits;
      float x = 0, y = 0;
      TIFFGetField(t, TIFFTAG_XRESOLUTION, &x);
      TIFFGetField(t, TIFFTAG_YRESOLUTION, &y);
      page.xDpi = static_cast<uint32_t>(std::lround(x));
      page.yDpi = static_cast<uint32_t>(std::lround(y));
      if (page.xDpi == 0 || page.yDpi == 0) ImageFailure(path, "the dot planes carry no resolution");
    } else if (width != page.width || height != page.height || bits != page.bitsPerPixel) {
      ImageFailure(path, where + " differs in size or depth from the first plane");
    }
    if (TIFFScanlineSize(t) != static_cast<tmsize_t>(page.rowBytes())) {
      ImageFailure(path, where + " has an unexpected row size");
    }
    // Checked before the plane is allocated: a header of a few bytes may
    // claim any size.
    if (index == 0 && (width > kMaxPageSide || height > kMaxPageSide ||
                       static_cast<uint64_t>(width) * height > kMaxPageDots)) {
      ImageFailure(path, "the dot planes are " + std::to_string(width) + " x " + std::to_string(height) +
                     " dots; the limit is " + std::to_string(kMaxPageSide) + " dots a side and " +
                     std::to_string(kMaxPageDots) + " dots in all");
    }
    // Every plane is held at once: all of them must fit the budget.
    const uint64_t planeBytes = static_cast<uint64_t>(page.rowBytes()) * height;
    if (index == 0 && planeBytes * planeCount > memoryBudget) {
      ImageFailure(path, "its " + std::to_string(planeCount) + " dot planes of " + std::to_string(width) +
                     " x " + std::to_string(height) + " dots need " +
                     MebibyteText(planeBytes * planeCount) + ", above the memory budget of " +
                     MebibyteText(memoryBudget));
    }
    std::vector<uint8_t> plane(page.rowBytes() * height);
    for (uint32_t row = 0; row < height; ++row) {
      if (TIFFReadScanline(t, plane.data() + row * page.rowBytes(), row, 0) < 0) {
        ImageFailure(path, "corrupt or truncated TIFF in " + where + " at row " + std::to_string(row));
      }
    }
    page.inks.push_back(std::move(ink));
    page.planes.push_back(std::move(plane));
    ++index;
  } while (TIFFReadDirectory(t));
  return page;
}

}  // namespace inkdot::host
