// SPDX-License-Identifier: Apache-2.0
#include "inkdot/host/dot_page.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "inkdot/host/errors.h"
#include "inkdot/host/system_errors.h"
#include "inkdot/host/temporary_files.h"
#include "image_readers.h"
#include "strip_encoder.h"
#include "tiff_file.h"

namespace inkdot::host {

using detail::ImageFailure;

namespace {

// Each image's description carries the ink's display colour so that planes
// can be previewed without their profile.
constexpr char kDescriptionPrefix[] = "inkdot dot plane; ink colour ";

// Why a write through libtiff failed, in plain words: the system's reason
// when there is one (errno is cleared before each write), else libtiff's.
// Libtiff's text may name the temporary file, so it is never shown.
std::string WriteFailure(int error) {
  return "writing the TIFF failed: " +
         (error != 0 ? PlainReason(error) : std::string("the TIFF library refused the data"));
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

void SetPlaneTags(TIFF *t, const DotPage &page, uint16_t plane, PlaneCompression compression) {
  const uint16_t count = static_cast<uint16_t>(page.inks.size());
  const Ink &ink = page.inks[plane];
  char description[64];
  std::snprintf(description, sizeof description, "%s#%02X%02X%02X", kDescriptionPrefix,
                ink.colour[0], ink.colour[1], ink.colour[2]);
  TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, page.width);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, page.height);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(page.bitsPerPixel));
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, static_cast<uint16_t>(1));
  // A set bit is ink on paper: 0 is white.
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_COMPRESSION, detail::TiffCompressionTag(compression));
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, RowsPerStrip(page));
  TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  TIFFSetField(t, TIFFTAG_XRESOLUTION, static_cast<float>(page.xDpi));
  TIFFSetField(t, TIFFTAG_YRESOLUTION, static_cast<float>(page.yDpi));
  TIFFSetField(t, TIFFTAG_PAGENAME, ink.name.c_str());
  TIFFSetField(t, TIFFTAG_IMAGEDESCRIPTION, description);
  TIFFSetField(t, TIFFTAG_SOFTWARE, "inkdot");
  TIFFSetField(t, TIFFTAG_PAGENUMBER, plane, count);
}

}  // namespace

// One plane's strips, each encoded whole as its last row arrives and
// appended to a part file of the plane's own; Finish copies them into the
// page's TIFF as they are.
struct DotPageWriter::Part {
  std::filesystem::path path;
  std::FILE *file = nullptr;
  int openError = 0;           // errno of opening it, before anything else sets errno
  std::vector<uint8_t> strip;  // rows of the strip being filled
  uint32_t rows = 0;           // how many of them are filled
  detail::StripEncoder encoder;
  std::vector<size_t> stripSizes;  // encoded, in order

  Part(std::filesystem::path where, PlaneCompression compression, const DotPage &layout)
      : path(Registered(std::move(where))),
        file(std::fopen(path.c_str(), "w+b")),
        openError(errno),
        strip(layout.rowBytes() * RowsPerStrip(layout)),
        encoder(compression, layout.rowBytes(), RowsPerStrip(layout)) {}
  ~Part() { CloseFile(); }
  bool CloseFile() {
    const bool closed = file && std::fclose(file) == 0;
    file = nullptr;
    return closed;
  }

  // Recorded for removal on a stopping signal before the file is made;
  // errno cleared so that a failure to make it tells its own reason.
  static std::filesystem::path Registered(std::filesystem::path where) {
    RegisterTemporary(where, TemporaryKind::kFile);
    errno = 0;
    return where;
  }
};

DotPageWriter::DotPageWriter(const DotPage &layout, const std::filesystem::path &path,
                             PlaneCompression compression, const std::filesystem::path &shownAs)
    : layout_(layout.Shape()),
      compression_(compression),
      path_(path),
      shownAs_(shownAs.empty() ? path : shownAs) {
  for (uint16_t k = 0; k < layout_.inks.size(); ++k) {
    auto part = std::make_unique<Part>(path.string() + ".part" + std::to_string(k), compression_,
                                       layout_);
    if (!part->file) {
      const int error = part->openError;
      ForgetTemporary(part->path);
      ImageFailure(shownAs_, "cannot create the TIFF: " +
                         (error != 0 ? PlainReason(error) : std::string("open failed")));
    }
    parts_.push_back(std::move(part));
  }
}

DotPageWriter::~DotPageWriter() {
  for (auto &part : parts_) {
    part->CloseFile();
    std::error_code ignored;
    std::filesystem::remove(part->path, ignored);
    ForgetTemporary(part->path);
  }
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
  errno = 0;
  if (std::fwrite(encoded.data(), 1, encoded.size(), part.file) != encoded.size()) {
    ImageFailure(shownAs_, WriteFailure(errno));
  }
  part.stripSizes.push_back(encoded.size());
  part.rows = 0;
}

void DotPageWriter::Finish() {
  errno = 0;
  detail::TiffFile tiff(path_, "w");
  if (!tiff.get()) ImageFailure(shownAs_, WriteFailure(errno));
  TIFF *t = tiff.get();
  std::vector<uint8_t> strip;
  for (uint16_t k = 0; k < parts_.size(); ++k) {
    Part &part = *parts_[k];
    errno = 0;
    if (std::fflush(part.file) != 0 || std::fseek(part.file, 0, SEEK_SET) != 0) {
      ImageFailure(shownAs_, WriteFailure(errno));
    }
    SetPlaneTags(t, layout_, k, compression_);
    const uint32_t rowsPerStrip = RowsPerStrip(layout_);
    if (part.stripSizes.size() != (layout_.height + rowsPerStrip - 1) / rowsPerStrip) {
      ImageFailure(shownAs_, "writing the TIFF failed: plane " + std::to_string(k) +
                         " did not receive every row");
    }
    for (uint32_t s = 0; s < part.stripSizes.size(); ++s) {
      const size_t size = part.stripSizes[s];
      strip.resize(std::max<size_t>(size, 1));
      errno = 0;
      if (std::fread(strip.data(), 1, size, part.file) != size) {
        ImageFailure(shownAs_, "reading back a plane failed: " +
                           (errno != 0 ? PlainReason(errno) : std::string("the part file is short")));
      }
      errno = 0;
      if (TIFFWriteRawStrip(t, s, strip.data(), static_cast<tmsize_t>(size)) !=
          static_cast<tmsize_t>(size)) {
        ImageFailure(shownAs_, WriteFailure(errno));
      }
    }
    errno = 0;
    if (!TIFFWriteDirectory(t)) ImageFailure(shownAs_, WriteFailure(errno));
    part.CloseFile();
    std::error_code ignored;
    std::filesystem::remove(part.path, ignored);
  }
  errno = 0;
  if (!tiff.Close()) ImageFailure(shownAs_, WriteFailure(errno));
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
