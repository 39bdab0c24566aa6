// SPDX-License-Identifier: Apache-2.0
#include "netpbm_planes.h"

#include <cerrno>
#include <cctype>

#include "inkdot/host/errors.h"
#include "inkdot/host/system_errors.h"
#include "image_readers.h"

namespace inkdot::host::detail {

namespace {

std::string Failure(const char *what, int error) {
  return std::string(what) + " failed: " +
         (error != 0 ? PlainReason(error) : std::string("unknown reason"));
}

}  // namespace

std::string NetpbmPlaneName(const std::string &stem, const std::string &ink,
                            uint32_t bitsPerPixel) {
  std::string name = stem + "-";
  for (const char c : ink) {
    const bool plain = std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
    name += plain ? c : '_';
  }
  return name + (bitsPerPixel == 1 ? ".pbm" : ".pgm");
}

NetpbmPlanesWriter::NetpbmPlanesWriter(const DotPage &layout,
                                       const std::vector<std::filesystem::path> &paths,
                                       const std::vector<std::filesystem::path> &shownAs)
    : layout_(layout.Shape()), planes_(layout_.inks.size()) {
  const std::string header =
      (layout_.bitsPerPixel == 1 ? "P4\n" : "P5\n") + std::to_string(layout_.width) + " " +
      std::to_string(layout_.height) + (layout_.bitsPerPixel == 1 ? "\n" : "\n3\n");
  for (size_t k = 0; k < planes_.size(); ++k) {
    Plane &plane = planes_[k];
    plane.shownAs = shownAs[k];
    errno = 0;
    plane.file = std::fopen(paths[k].c_str(), "wb");
    if (!plane.file) ImageFailure(plane.shownAs, Failure("opening the plane file", errno));
    if (layout_.bitsPerPixel != 1) plane.pixels.resize(layout_.width);
    Write(plane, header.data(), header.size());
  }
}

NetpbmPlanesWriter::~NetpbmPlanesWriter() {
  for (Plane &plane : planes_) {
    if (plane.file) std::fclose(plane.file);
  }
}

void NetpbmPlanesWriter::Write(Plane &plane, const void *bytes, size_t size) {
  errno = 0;
  if (std::fwrite(bytes, 1, size, plane.file) != size) {
    ImageFailure(plane.shownAs, Failure("writing the plane", errno));
  }
}

void NetpbmPlanesWriter::TakeRow(uint32_t y, const uint8_t *planes, size_t planeStride) {
  for (size_t k = 0; k < planes_.size(); ++k) TakePlaneRow(k, y, planes + k * planeStride);
}

void NetpbmPlanesWriter::TakePlaneRow(size_t k, uint32_t y, const uint8_t *row) {
  static_cast<void>(y);
  Plane &plane = planes_[k];
  if (layout_.bitsPerPixel == 1) {
    Write(plane, row, layout_.rowBytes());
    return;
  }
  for (uint32_t x = 0; x < layout_.width; ++x) {
    const uint32_t code = (row[x / 4] >> (6 - 2 * (x % 4))) & 3u;
    plane.pixels[x] = static_cast<uint8_t>(3 - code);
  }
  Write(plane, plane.pixels.data(), plane.pixels.size());
}

void NetpbmPlanesWriter::Finish() {
  for (Plane &plane : planes_) {
    errno = 0;
    const bool closed = std::fclose(plane.file) == 0;
    plane.file = nullptr;
    if (!closed) ImageFailure(plane.shownAs, Failure("writing the plane", errno));
  }
}

}  // namespace inkdot::host::detail
